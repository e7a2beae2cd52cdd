// Memory a computation will need, checked before it is taken: a table or a matrix too large for
// the machine is refused with a message naming the size, instead of failing halfway.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace ramovia {

class MemoryError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What the process can still take: the least of the machine's free memory (MemAvailable), the
// room left under RLIMIT_AS and RLIMIT_DATA, and under the memory cgroup's limit; or the limit
// set for tests.
uint64_t availableMemory();
// 0 removes the limit.
void setMemoryLimit(uint64_t bytes);
// "1.5 GB", "320 MB", "12 KB".
std::string formatBytes(uint64_t bytes);
// Throws MemoryError "<what> needs about X of memory, but only Y is available." when bytes exceed
// what is available.
void requireMemory(uint64_t bytes, const std::string& what);

// Bytes of the matrices of a computation over n taxa (the matrix and the builders' two).
uint64_t matrixBytes(uint64_t n);

}  // namespace ramovia
