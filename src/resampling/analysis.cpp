#include "resampling/analysis.h"

namespace ramovia {

Analysis::Analysis(char decimalSeparator)
    : Enzym(std::make_unique<TEnzym>()), DecimalSeparator(decimalSeparator) {}

}  // namespace ramovia
