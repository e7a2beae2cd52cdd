#include "model/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ramovia {

namespace {
std::atomic<uint64_t> g_limit{0};
}

namespace {

uint64_t freeMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t value = 0;
  std::string unit;
  while (meminfo >> key >> value >> unit)
    if (key == "MemAvailable:") return value * 1024;
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long size = sysconf(_SC_PAGESIZE);
  if (pages > 0 && size > 0) return static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
  return UINT64_MAX;
}

// A field of /proc/self/status in bytes ("VmSize:", "VmData:"); 0 when missing.
uint64_t statusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::strtoull(line.c_str() + field.size(), nullptr, 10) * 1024;
  return 0;
}

uint64_t roomUnder(int resource, const std::string& usedField) {
  struct rlimit rl {};
  if (::getrlimit(resource, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  const uint64_t used = statusBytes(usedField);
  return rl.rlim_cur > used ? rl.rlim_cur - used : 0;
}

uint64_t readNumber(const std::string& path) {
  std::ifstream f(path);
  std::string text;
  if (!(f >> text) || text == "max") return UINT64_MAX;
  return std::strtoull(text.c_str(), nullptr, 10);
}

// What the memory cgroup (v2 memory.max, v1 memory.limit_in_bytes) of this process still allows,
// the cgroup's ancestors included.
uint64_t roomInCgroup() {
  std::ifstream cgroups("/proc/self/cgroup");
  std::string line;
  uint64_t room = UINT64_MAX;
  while (std::getline(cgroups, line)) {
    const auto first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string path = line.substr(second + 1);
    std::string root, limitFile, usageFile;
    if (controllers.empty()) {
      root = "/sys/fs/cgroup";
      limitFile = "/memory.max";
      usageFile = "/memory.current";
    } else if (controllers == "memory" || controllers.find("memory,") != std::string::npos ||
               controllers.find(",memory") != std::string::npos) {
      root = "/sys/fs/cgroup/memory";
      limitFile = "/memory.limit_in_bytes";
      usageFile = "/memory.usage_in_bytes";
    } else {
      continue;
    }
    for (;;) {
      const std::string dir = root + (path == "/" ? std::string() : path);
      const uint64_t limit = readNumber(dir + limitFile);
      if (limit != UINT64_MAX) {
        const uint64_t used = readNumber(dir + usageFile);
        if (used != UINT64_MAX) room = std::min(room, limit > used ? limit - used : 0);
      }
      if (path.empty() || path == "/") break;
      const auto slash = path.find_last_of('/');
      path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
  }
  return room;
}

}  // namespace

uint64_t availableMemory() {
  if (const uint64_t limit = g_limit; limit != 0) return limit;
  return std::min({freeMemory(), roomUnder(RLIMIT_AS, "VmSize:"), roomUnder(RLIMIT_DATA, "VmData:"),
                   roomInCgroup()});
}

void setMemoryLimit(uint64_t bytes) { g_limit = bytes; }

std::string formatBytes(uint64_t bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1024.0 && u < 5) {
    v /= 1024.0;
    ++u;
  }
  char buf[32];
  if (u == 0)
    std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
  else
    std::snprintf(buf, sizeof buf, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
  return buf;
}

void requireMemory(uint64_t bytes, const std::string& what) {
  const uint64_t available = availableMemory();
  if (bytes > available)
    throw MemoryError(what + " needs about " + formatBytes(bytes) + " of memory, but only " +
                      formatBytes(available) + " is available.");
}

uint64_t matrixBytes(uint64_t n) { return 3 * (n + 1) * (n + 1) * sizeof(double); }

}  // namespace ramovia
