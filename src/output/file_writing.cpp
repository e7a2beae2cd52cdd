#include "output/file_writing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "output/exports.h"

namespace ramovia {

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void fail(const std::string& path, int error) {
  throw ExportError("Cannot write " + path + ": " + std::strerror(error));
}

int writeAll(int fd, const std::string& content) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += w;
    left -= static_cast<std::size_t>(w);
  }
  return 0;
}

// The same file as far as the disk tells: for paths that do not exist yet, the same folder and
// name once links are followed.
struct Identity {
  bool exists = false;
  bool regular = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string where;
  bool operator==(const Identity& o) const {
    return exists == o.exists && (exists ? dev == o.dev && ino == o.ino : where == o.where);
  }
};

Identity identityOf(const std::string& path) {
  Identity id;
  const std::string target = resolveOutputPath(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    id.exists = true;
    id.regular = S_ISREG(st.st_mode);
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    return id;
  }
  const std::string folder = folderOf(target);
  char buf[PATH_MAX];
  if (::realpath(folder.empty() ? "." : folder.c_str(), buf))
    id.where = std::string(buf) + "/" + baseOf(target);
  else
    id.where = target;
  return id;
}

struct Staged {
  const FileToWrite* file;
  std::string target;
  std::string temp;  // empty: written directly
  int fd = -1;
};

void discard(std::vector<Staged>& staged) {
  for (Staged& s : staged) {
    if (s.fd >= 0) ::close(s.fd);
    if (!s.temp.empty()) ::unlink(s.temp.c_str());
  }
}

}  // namespace

std::string resolveOutputPath(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0) return current;
    link.resize(static_cast<std::size_t>(n));
    current = !link.empty() && link[0] == '/' ? link : folderOf(current) + link;
  }
  return current;  // a loop: opening it reports it
}

void checkOutputPaths(const std::string& input, std::span<const std::string> outputs) {
  std::optional<Identity> in;
  if (!input.empty() && input != "-") {
    in = identityOf(input);
    if (!in->exists || !in->regular) in.reset();
  }
  std::vector<std::pair<std::string, Identity>> seen;
  for (const std::string& out : outputs) {
    const Identity id = identityOf(out);
    if (id.exists && !id.regular) continue;
    if (in && id == *in)
      throw ExportError("The output file " + out + " is the input table " + input +
                        "; nothing was written.");
    for (const auto& [earlier, other] : seen)
      if (id == other)
        throw ExportError("The outputs " + earlier + " and " + out +
                          " are the same file; nothing was written.");
    seen.emplace_back(out, id);
  }
}

void writeFilesTogether(std::span<const FileToWrite> files) {
  std::vector<Staged> staged;
  staged.reserve(files.size());
  try {
    for (const FileToWrite& f : files) {
      if (f.path.empty()) throw ExportError("No file name given.");
      Staged s{&f, resolveOutputPath(f.path), {}, -1};
      if (baseOf(s.target).empty()) fail(f.path, EISDIR);
      struct stat st {};
      const bool exists = ::stat(s.target.c_str(), &st) == 0;
      if (exists && S_ISDIR(st.st_mode)) fail(f.path, EISDIR);
      if (exists && !S_ISREG(st.st_mode)) {
        staged.push_back(std::move(s));
        continue;
      }
      if (exists) {
        // A file the user may not write is not replaced behind its back.
        const int probe = ::open(s.target.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) fail(f.path, errno);
        ::close(probe);
      }
      std::string temp = folderOf(s.target) + "." + baseOf(s.target) + ".XXXXXX";
      s.fd = ::mkstemp(temp.data());
      if (s.fd < 0) fail(f.path, errno);
      s.temp = temp;
      staged.push_back(std::move(s));
      Staged& t = staged.back();
      int error = writeAll(t.fd, f.content);
      if (error == 0 && ::fchmod(t.fd, exists ? (st.st_mode & 07777) : 0644) != 0) error = errno;
      if (error == 0 && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)!::fchown(t.fd, st.st_uid, st.st_gid);  // allowed or not, the content is written
      if (error == 0 && ::fsync(t.fd) != 0) error = errno;
      const int closed = ::close(t.fd);
      t.fd = -1;
      if (error == 0 && closed != 0) error = errno;
      if (error != 0) fail(f.path, error);
    }
    for (Staged& s : staged) {
      if (!s.temp.empty()) continue;
      s.fd = ::open(s.target.c_str(), O_WRONLY | O_CLOEXEC);
      if (s.fd < 0) fail(s.file->path, errno);
      const int error = writeAll(s.fd, s.file->content);
      const int closed = ::close(s.fd);
      s.fd = -1;
      if (error != 0) fail(s.file->path, error);
      if (closed != 0) fail(s.file->path, errno);
    }
    for (Staged& s : staged) {
      if (s.temp.empty()) continue;
      if (::rename(s.temp.c_str(), s.target.c_str()) != 0) fail(s.file->path, errno);
      s.temp.clear();
    }
  } catch (...) {
    discard(staged);
    throw;
  }
}

}  // namespace ramovia
