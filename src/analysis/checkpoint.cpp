#include "analysis/checkpoint.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace ramovia {

namespace {

constexpr std::string_view kMagic = "ramovia checkpoint 1\n";

std::atomic<bool> g_requested{false};

template <class T>
void put(std::string& out, T value) {
  char b[sizeof(T)];
  std::memcpy(b, &value, sizeof(T));
  out.append(b, sizeof(T));
}

void putText(std::string& out, const std::string& s) {
  put<uint64_t>(out, s.size());
  out += s;
}

void putInts(std::string& out, const std::vector<int32_t>& v) {
  put<uint64_t>(out, v.size());
  for (const int32_t x : v) put(out, x);
}

struct Reader {
  std::string_view bytes;
  std::size_t pos = 0;

  [[noreturn]] static void damaged() { throw CheckpointError("damaged"); }
  template <class T>
  T get() {
    if (bytes.size() - pos < sizeof(T)) damaged();
    T value;
    std::memcpy(&value, bytes.data() + pos, sizeof(T));
    pos += sizeof(T);
    return value;
  }
  // A count of items of at least `itemBytes` each that the rest of the bytes can hold.
  std::size_t count(std::size_t itemBytes) {
    const auto n = get<uint64_t>();
    if (n > (bytes.size() - pos) / std::max<std::size_t>(itemBytes, 1)) damaged();
    return static_cast<std::size_t>(n);
  }
  std::string text() {
    const std::size_t n = count(1);
    std::string s(bytes.substr(pos, n));
    pos += n;
    return s;
  }
  std::vector<int32_t> ints() {
    std::vector<int32_t> v(count(sizeof(int32_t)));
    for (int32_t& x : v) x = get<int32_t>();
    return v;
  }
};

void checkTaxa(const Tree& tree, std::size_t taxa) {
  for (const TreeNode& n : tree.nodes)
    if (n.isLeaf() && (n.taxon < 0 || static_cast<std::size_t>(n.taxon) >= taxa)) Reader::damaged();
}

// The positions must be a permutation of 0..n-1.
void checkPermutation(const std::vector<int32_t>& v, std::size_t n) {
  if (v.size() != n) Reader::damaged();
  std::vector<uint8_t> seen(n, 0);
  for (const int32_t x : v) {
    if (x < 0 || static_cast<std::size_t>(x) >= n || seen[static_cast<std::size_t>(x)]) Reader::damaged();
    seen[static_cast<std::size_t>(x)] = 1;
  }
}

std::string settingsText(const std::vector<std::pair<std::string, std::string>>& settings) {
  std::string s;
  for (const auto& [key, value] : settings) s += key + "=" + value + "\n";
  return s;
}

}  // namespace

uint64_t digestOf(std::string_view bytes) {
  // FNV-1a, 64 bits.
  uint64_t h = 14695981039346656037ull;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

void appendTree(std::string& out, const Tree& tree) {
  put<uint64_t>(out, tree.nodes.size());
  for (const TreeNode& n : tree.nodes) {
    put(out, n.left);
    put(out, n.right);
    put(out, n.taxon);
    put(out, n.length);
  }
}

Tree readTree(std::string_view bytes, std::size_t& pos) {
  Reader r{bytes, pos};
  Tree tree;
  const std::size_t n = r.count(3 * sizeof(int32_t) + sizeof(double));
  tree.nodes.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    TreeNode& node = tree.nodes[k];
    node.left = r.get<int32_t>();
    node.right = r.get<int32_t>();
    node.taxon = r.get<int32_t>();
    node.length = r.get<double>();
    const auto i = static_cast<int32_t>(k);
    if (node.left < 0) {
      if (node.right >= 0 || node.taxon < 0) Reader::damaged();
      node.left = node.right = -1;
      node.leaves = 1;
    } else {
      // Children stand before their parent, each under one parent.
      if (node.left >= i || node.right < 0 || node.right >= i || node.left == node.right ||
          node.taxon != -1)
        Reader::damaged();
      node.leaves = tree.nodes[static_cast<std::size_t>(node.left)].leaves +
                    tree.nodes[static_cast<std::size_t>(node.right)].leaves;
    }
  }
  if (n > 0 && static_cast<std::size_t>(tree.nodes.back().leaves) * 2 - 1 != n) Reader::damaged();
  pos = r.pos;
  return tree;
}

std::string encodeCheckpoint(const CheckpointIdentity& identity, const RunSnapshot& s) {
  std::string out(kMagic);
  put(out, identity.inputDigest);
  put(out, identity.inputBytes);
  putText(out, settingsText(identity.settings));
  put(out, s.taken);
  put(out, s.startSeed);
  put(out, s.seed);
  putInts(out, s.order);
  put(out, s.subsetSize);
  put<uint8_t>(out, s.subsetUsed);
  put<uint8_t>(out, s.cancelPending);
  put(out, s.referenceHits);
  put<uint64_t>(out, s.trees.size());
  for (const TreeList::Entry& e : s.trees) {
    appendTree(out, e.tree);
    put(out, e.count);
    putInts(out, e.order);
    for (const double d : e.lengthSums) put(out, d);
  }
  put<uint64_t>(out, s.replicates.size());
  for (const Tree& t : s.replicates) appendTree(out, t);
  put(out, digestOf(out));
  return out;
}

RunSnapshot decodeCheckpoint(std::string_view bytes, const CheckpointIdentity& expected,
                             const std::string& path) {
  const std::string where = "The checkpoint " + path;
  if (bytes.size() < kMagic.size() + sizeof(uint64_t) || bytes.substr(0, kMagic.size()) != kMagic)
    throw CheckpointError(where + " is not a checkpoint of this program.");
  const std::string_view body = bytes.substr(0, bytes.size() - sizeof(uint64_t));
  uint64_t stored;
  std::memcpy(&stored, bytes.data() + body.size(), sizeof stored);
  if (stored != digestOf(body))
    throw CheckpointError(where + " is damaged (its digest does not match); remove it to start afresh.");

  Reader r{body, kMagic.size()};
  RunSnapshot s;
  try {
    const auto digest = r.get<uint64_t>();
    const auto size = r.get<uint64_t>();
    if (digest != expected.inputDigest || size != expected.inputBytes)
      throw CheckpointError(where + " was made from other data: the table differs (" +
                            std::to_string(size) + " bytes there, " +
                            std::to_string(expected.inputBytes) + " here).");
    const std::string settings = r.text();
    if (settings != settingsText(expected.settings)) {
      // Name every setting that differs.
      std::vector<std::pair<std::string, std::string>> theirs;
      for (std::size_t a = 0; a < settings.size();) {
        std::size_t e = settings.find('\n', a);
        if (e == std::string::npos) e = settings.size();
        const std::string line = settings.substr(a, e - a);
        const std::size_t eq = line.find('=');
        theirs.emplace_back(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
        a = e + 1;
      }
      std::string diff;
      for (const auto& [key, value] : expected.settings) {
        std::string there = "(none)";
        for (const auto& [k, v] : theirs)
          if (k == key) there = v;
        if (there != value) {
          if (!diff.empty()) diff += "; ";
          diff += key + " " + there + " there, " + value + " here";
        }
      }
      if (diff.empty()) diff = "the settings differ";
      throw CheckpointError(where + " was made with other settings: " + diff + ".");
    }
    s.taken = r.get<int32_t>();
    s.startSeed = r.get<uint32_t>();
    s.seed = r.get<uint32_t>();
    s.order = r.ints();
    const std::size_t taxa = s.order.size();
    checkPermutation(s.order, taxa);
    s.subsetSize = r.get<int32_t>();
    s.subsetUsed = r.get<uint8_t>() != 0;
    s.cancelPending = r.get<uint8_t>() != 0;
    s.referenceHits = r.get<int32_t>();
    if (s.taken < 0 || s.subsetSize < 0 || static_cast<std::size_t>(s.subsetSize) > taxa ||
        s.referenceHits < 0 || s.referenceHits > s.taken)
      Reader::damaged();
    s.trees.resize(r.count(1));
    int64_t counted = 0;
    for (TreeList::Entry& e : s.trees) {
      e.tree = readTree(body, r.pos);
      checkTaxa(e.tree, taxa);
      e.count = r.get<int32_t>();
      if (e.count <= 0) Reader::damaged();
      counted += e.count;
      e.order = r.ints();
      checkPermutation(e.order, e.tree.nodes.size());
      e.lengthSums.resize(e.order.size());
      for (double& d : e.lengthSums) d = r.get<double>();
    }
    if (counted != s.taken) Reader::damaged();
    s.replicates.resize(r.count(1));
    for (Tree& t : s.replicates) {
      t = readTree(body, r.pos);
      checkTaxa(t, taxa);
    }
    if (r.pos != body.size()) Reader::damaged();
  } catch (const CheckpointError& e) {
    if (std::string_view(e.what()) != "damaged") throw;
    throw CheckpointError(where + " is damaged (its contents do not hold together); remove it to start afresh.");
  }
  for (std::size_t k = 0; k < s.trees.size(); ++k) s.trees[k].first = static_cast<int32_t>(k);
  return s;
}

uint64_t checkpointBytes(int64_t taxa, int64_t replicates, bool keepReplicateTrees) {
  const auto nodes = static_cast<uint64_t>(std::max<int64_t>(2 * taxa - 1, 1));
  const auto r = static_cast<uint64_t>(std::max<int64_t>(replicates, 0));
  // A list entry: its nodes, canonical order and length sums; a kept tree: its nodes.
  uint64_t bytes = r * nodes * (20 + 4 + 8) + 4 * static_cast<uint64_t>(taxa) + 4096;
  if (keepReplicateTrees) bytes += r * nodes * 20;
  return bytes;
}

void writeCheckpointFile(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".partial";
  const auto fail = [&](int error) {
    ::unlink(temp.c_str());
    throw CheckpointError("Cannot write the checkpoint " + path + ": " + std::strerror(error));
  };
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail(errno);
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  int error = 0;
  while (left > 0 && error == 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    p += w;
    left -= static_cast<std::size_t>(w);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) fail(error);
}

std::string readCheckpointFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw CheckpointError("The checkpoint " + path + " is a folder; name a file.");
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) return {};
    throw CheckpointError("Cannot read the checkpoint " + path + ": " + std::strerror(errno));
  }
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) throw CheckpointError("Cannot read the checkpoint " + path);
  if (bytes.empty()) throw CheckpointError("The checkpoint " + path + " is empty; remove it to start afresh.");
  return bytes;
}

void requestCheckpoint() { g_requested.store(true, std::memory_order_relaxed); }
bool takeCheckpointRequest() { return g_requested.exchange(false, std::memory_order_relaxed); }

}  // namespace ramovia
