// Storage for the big arrays (matrices, score lists): from a few megabytes on, it is aligned to
// 2 MB and offered to the kernel for large pages. A matrix of 20,000 taxa would otherwise span
// 800,000 small pages, and its column walks would miss the address cache at every row.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ramovia {

namespace large_pages {
inline constexpr std::size_t kPage = std::size_t{1} << 21;
inline constexpr std::size_t kFrom = std::size_t{4} << 20;

// Whole large pages, at least bytes of them; freed with std::free.
inline void* allocatePages(std::size_t bytes) {
  const std::size_t rounded = (bytes + kPage - 1) / kPage * kPage;
  void* p = std::aligned_alloc(kPage, rounded);
  if (p == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  madvise(p, rounded, MADV_HUGEPAGE);  // a refusal only costs speed
#endif
  return p;
}

inline void* allocate(std::size_t bytes) {
  return bytes < kFrom ? ::operator new(bytes) : allocatePages(bytes);
}

inline void release(void* p, std::size_t bytes) noexcept {
  if (bytes < kFrom)
    ::operator delete(p);
  else
    std::free(p);
}
}  // namespace large_pages

template <class T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) noexcept {}  // NOLINT: allocators convert
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(large_pages::allocate(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { large_pages::release(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const LargePageAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

}  // namespace ramovia
