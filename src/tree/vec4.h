// Four doubles as one vector for the tree builders' loops (GCC vector extensions). Only adds,
// subtractions, multiplications and divisions lane by lane: every lane is the same double as
// the scalar operation.
#pragma once

#include <cstring>

namespace ramovia::vec4 {

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
using V4 = double __attribute__((vector_size(32)));

// Always inlined, also unoptimised: a vector crossing a call between code built for AVX2 and
// code built without would be passed differently on the two sides.
#define RAMOVIA_VEC_INLINE inline __attribute__((always_inline))
RAMOVIA_VEC_INLINE V4 Load(const double* p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
RAMOVIA_VEC_INLINE void Store(double* p, V4 v) { std::memcpy(p, &v, sizeof v); }
RAMOVIA_VEC_INLINE V4 Splat(double x) { return V4{x, x, x, x}; }

// Eight doubles, for the kernels built for AVX-512F.
using V8 = double __attribute__((vector_size(64)));
RAMOVIA_VEC_INLINE V8 Load8(const double* p) {
  V8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
RAMOVIA_VEC_INLINE V8 Splat8(double x) { return V8{x, x, x, x, x, x, x, x}; }

// Whether this processor runs the AVX2 versions of the kernels.
inline bool hasAvx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

// Whether this processor runs the AVX-512F versions.
inline bool hasAvx512() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  static const bool has = __builtin_cpu_supports("avx512f");
  return has;
#else
  return false;
#endif
}

}  // namespace ramovia::vec4
