#include "model/memory.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace ramovia {

namespace {
std::atomic<uint64_t> g_limit{0};
}

uint64_t availableMemory() {
  if (const uint64_t limit = g_limit; limit != 0) return limit;
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
