// The program's single pseudo-random draw. One seed for the whole program, 0 at start.
#pragma once

#include <cstdint>

namespace ramovia {

uint32_t RandomIndex(int32_t n);
uint32_t GetRandomSeed();
void SetRandomSeed(uint32_t seed);

}  // namespace ramovia
