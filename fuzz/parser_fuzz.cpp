// Arbitrary bytes as an input table: reading may refuse an empty text, never anything else, and
// what it builds must hang together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "resampling/analysis.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckConsistent(const ramovia::Analysis& a) {
  const ramovia::TEnzym& all = *a.Enzym;
  std::unordered_set<std::string> names;
  for (const auto& d : all.Druhy) Check(names.insert(d->Name.str()).second);
  Check(all.Fragmenty.size() == all.RedukovaneFragmenty->Fragmenty.size());
  std::unordered_set<int32_t> nums;
  for (const auto& f : all.Fragmenty) Check(f->Num >= 1 && nums.insert(f->Num).second);
  int32_t lastId = -1;
  for (const auto& block : a.Loci) {
    Check(block->EnzymId > lastId);
    lastId = block->EnzymId;
    for (const auto& d : block->Druhy) {
      Check(d->Tag == 0 && all.GetDruhStr(d->Name) >= 1);
      for (const auto& f : d->Fragmenty) Check(f->EnzymId == block->EnzymId && nums.count(f->Num));
    }
  }
}

void ReadWith(std::string_view text, char separator) {
  ramovia::Analysis a(separator);
  (void)ramovia::Analysis::IsFreq(text, separator);
  try {
    a.GetFromText(text);
  } catch (const ramovia::ListIndexError&) {
    Check(a.Loci.empty() && a.Enzym->Druhy.empty() && a.Enzym->Fragmenty.empty());
    return;
  }
  CheckConsistent(a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ReadWith(text, '.');
  ReadWith(text, ',');
  return 0;
}
