// The random draws of a computation: the order of the taxa, the taxa left out, the markers
// counted. Each takes the generator it draws from.
#pragma once

#include <cstdint>
#include <vector>

#include "model/random.h"
#include "model/samples.h"

namespace ramovia {

// Moves one taxon to the end of the order: its position is drawn from 0 .. bound - 1, the number
// of taxa taking part at the time (which may be fewer than the order holds).
void shuffleTaxa(Random& random, std::vector<int32_t>& order, int32_t bound);

// The order less n taxa drawn at random: n times, one of those left is removed. Leaving out n of
// n or more removes every taxon, makes one more draw and throws ListIndexError.
TaxonSubset leaveOutTaxa(Random& random, const std::vector<int32_t>& order, int32_t n);

// `count` draws among `markers` positions (at most `markers` of them when distinct, when a drawn
// position already in the sample is drawn again). `seen` is scratch, kept to avoid reallocating.
void drawMarkerSample(Random& random, int32_t markers, int32_t count, bool distinct,
                      MarkerSample& out, std::vector<uint8_t>& seen);

}  // namespace ramovia
