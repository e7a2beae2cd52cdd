// The pseudo-random generator: a linear congruential sequence whose whole state is one 32-bit
// seed. Each computation owns one, so analyses running side by side draw independently.
#pragma once

#include <cstdint>

namespace ramovia {

class Random {
 public:
  explicit Random(uint32_t seed = 0) : seed_(seed) {}

  // The next draw, scaled to 0 .. n - 1 (n is taken as unsigned; 0 always gives 0).
  uint32_t index(int32_t n) {
    seed_ = seed_ * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(static_cast<uint32_t>(n)) * seed_) >> 32);
  }
  uint32_t seed() const { return seed_; }
  void setSeed(uint32_t seed) { seed_ = seed; }

 private:
  uint32_t seed_;
};

}  // namespace ramovia
