#include "analysis/reference_matrix.h"

#include "analysis/draws.h"
#include "distance/divergence.h"
#include "distance/frequency.h"
#include "distance/pair_table.h"
#include "distance/presence.h"
#include "model/memory.h"
#include "model/samples.h"

namespace ramovia {

void computeReferenceMatrix(const Dataset& data, Coefficient c, TreeMethod method,
                            const std::vector<int32_t>& taxa, Random& random, SquareMatrix& out,
                            ProgressSink* progress) {
  const bool storeDistances = method == TreeMethod::NeighborJoining;
  std::vector<uint8_t> seen;
  switch (familyOf(c)) {
    case CoefficientFamily::Presence: {
      const PairTableIndex index = PairTableIndex::build(data);
      SampleExpansion sample;
      sample.assign(index, taxa, allPositions(data.markerCount()));
      computeSimilarityMatrix(sample, c, storeDistances, false, data.siteLength, out, progress);
      return;
    }
    case CoefficientFamily::AlleleFrequency: {
      std::vector<MarkerSample> samples(data.blocks.size());
      for (std::size_t b = 0; b < data.blocks.size(); ++b) {
        const auto n = static_cast<int32_t>(data.blocks[b].markers.size());
        drawMarkerSample(random, n, n, true, samples[b], seen);
      }
      const FrequencyIndex index = FrequencyIndex::build(data);
      FrequencySample sample;
      sample.assign(index, samples, taxa);
      computeFrequencyDistances(sample, c, out, progress);
      return;
    }
    case CoefficientFamily::Divergence:
      break;
  }
  const std::size_t blocks = data.blocks.size();
  if (progress) {
    progress->setRange(0, static_cast<int>(blocks));
    progress->setPosition(0);
  }
  std::vector<SquareMatrix> values(blocks);
  std::vector<TaxonSubset> columns(blocks);
  std::vector<BlockMatrix> inputs;
  MarkerSample drawn;
  for (std::size_t b = 0; b < blocks; ++b) {
    const Block& block = data.blocks[b];
    const auto n = static_cast<int32_t>(block.markers.size());
    drawMarkerSample(random, n, n, true, drawn, seen);
    columns[b] = allPositions(static_cast<int32_t>(block.taxa.size()));
    const PairTableIndex index = PairTableIndex::build(data, block);
    SampleExpansion sample;
    sample.assign(index, columns[b], allPositions(n));
    computeSimilarityMatrix(sample, Coefficient::NucleotideDivergence, storeDistances, false,
                            block.siteLength, values[b]);
    inputs.push_back({&block, &values[b], columns[b]});
    if (progress) {
      progress->setPosition(static_cast<int>(b));
      progress->processMessages();
    }
  }
  MergeScratch scratch;
  mergeBlockMatrices(data.taxonCount(), inputs, taxa, storeDistances, out, scratch);
}

uint64_t referenceMatrixBytes(const Dataset& data, Coefficient c) {
  uint64_t need = matrixBytes(static_cast<uint64_t>(data.taxonCount()));
  if (familyOf(c) == CoefficientFamily::Divergence)
    for (const Block& b : data.blocks) need += matrixBytes(static_cast<uint64_t>(b.taxa.size()));
  return need;
}

}  // namespace ramovia
