// Functions that count bits get a version for processors with the POPCNT instruction, chosen
// when the program starts; the others use the portable one.
#pragma once

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define RAMOVIA_POPCNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define RAMOVIA_POPCNT_CLONES
#endif
