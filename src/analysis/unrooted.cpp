#include "analysis/unrooted.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <unordered_map>

#include "analysis/replicate_runner.h"
#include "tree/clade_support.h"
#include "tree/splits.h"
#include "tree/transfer.h"

namespace ramovia {

namespace {

struct ViewScratch {
  TransferScratch transfer;
  std::vector<std::pair<uint64_t, int32_t>> byHash;
};

// What one listed tree says about each split of the reference tree.
struct EntryView {
  std::vector<uint8_t> covers, holds;
  std::vector<int32_t> distance, smallSide;
};

void viewOf(const Tree& tree, const SplitSet& own, const std::vector<uint64_t>& hashes,
            int32_t taxa, const Tree& reference, const SplitSet& referenceSplits,
            ViewScratch& scratch, EntryView& out) {
  const int words = own.words();
  std::vector<std::pair<uint64_t, int32_t>>& byHash = scratch.byHash;
  byHash.clear();
  for (int32_t k = 0; k < own.size(); ++k)
    byHash.emplace_back(hashes[static_cast<std::size_t>(k)], k);
  std::sort(byHash.begin(), byHash.end());
  const int32_t splits = referenceSplits.size();
  out.covers.assign(static_cast<std::size_t>(splits), 0);
  out.holds.assign(static_cast<std::size_t>(splits), 0);
  std::vector<uint64_t> restricted(static_cast<std::size_t>(words));
  for (int32_t k = 0; k < splits; ++k) {
    // Compared on the taxa both trees hold.
    if (bits::restrictSplit(referenceSplits.bits(k), referenceSplits.leaves(), own.leaves(), words,
                            restricted.data()) == 0)
      continue;
    out.covers[static_cast<std::size_t>(k)] = 1;
    const uint64_t h = bits::hash(restricted.data(), words);
    for (auto it = std::lower_bound(byHash.begin(), byHash.end(), std::make_pair(h, INT32_MIN));
         it != byHash.end() && it->first == h; ++it)
      if (std::equal(restricted.begin(), restricted.end(), own.bits(it->second))) {
        out.holds[static_cast<std::size_t>(k)] = 1;
        break;
      }
  }
  transferDistances(reference, referenceSplits, tree, taxa, scratch.transfer, out.distance,
                    out.smallSide);
}

// The summed branch lengths of a listed tree, by split and by leaf taxon (the two branches at
// the root are one).
void lengthsOf(const TreeList::Entry& e, const SplitSet& s, int32_t taxa,
               std::vector<double>& bySplit, std::vector<double>& byLeaf) {
  const Tree& t = e.tree;
  std::vector<double> byNode(t.nodes.size(), 0.0);
  for (std::size_t k = 0; k < e.order.size(); ++k)
    byNode[static_cast<std::size_t>(e.order[k])] = e.lengthSums[k];
  bySplit.assign(static_cast<std::size_t>(s.size()), 0.0);
  byLeaf.assign(static_cast<std::size_t>(taxa), 0.0);
  const int32_t root = t.root();
  const TreeNode& top = t[root];
  for (int32_t x = 0; x < root; ++x) {
    const TreeNode& n = t[x];
    double sum = byNode[static_cast<std::size_t>(x)];
    const bool atRoot = !top.isLeaf() && (x == top.left || x == top.right);
    if (n.isLeaf()) {
      if (atRoot)
        sum = sum + byNode[static_cast<std::size_t>(x == top.left ? top.right : top.left)];
      if (n.taxon >= 0 && n.taxon < taxa) byLeaf[static_cast<std::size_t>(n.taxon)] = sum;
      continue;
    }
    const int32_t k = s.splitOfNode(x);
    if (k < 0) continue;
    if (atRoot && x == top.right && !t[top.left].isLeaf()) continue;  // added with the left one
    if (atRoot && !t[top.left].isLeaf() && !t[top.right].isLeaf())
      sum =
          byNode[static_cast<std::size_t>(top.left)] + byNode[static_cast<std::size_t>(top.right)];
    bySplit[static_cast<std::size_t>(k)] = sum;
  }
}

// A listed tree made ready for the summary, on any thread.
struct Prepared {
  SplitSet splits;
  std::vector<uint64_t> hashes;
  std::vector<double> bySplit, byLeaf;
  uint64_t topology = 0;
};

}  // namespace

int32_t transferPercent(double distanceShareSum, int64_t covered) {
  if (covered == 0) return 0;
  const double support = 1.0 - distanceShareSum / static_cast<double>(covered);
  return static_cast<int32_t>(std::nearbyint(100.0 * support));
}

UnrootedSummary summarizeUnrooted(const TreeList& trees, int32_t taxa, const Tree* reference,
                                  int threads) {
  UnrootedSummary out;
  out.splits = SplitCounts(taxa);
  const auto& entries = trees.entries();
  const int words = bits::words(taxa);
  std::vector<uint64_t> all(static_cast<std::size_t>(words), 0);
  for (int32_t t = 0; t < taxa; ++t)
    all[static_cast<std::size_t>(t) / 64] |= uint64_t{1} << (t % 64);

  // Entries are prepared side by side a chunk at a time (bounded memory), then folded in list
  // order: the sums are the same for any number of threads.
  std::vector<EntryView> views;
  SplitSet referenceSplits;
  const bool withReference = reference && !reference->empty();
  if (withReference) {
    referenceSplits = SplitSet(*reference, taxa);
    views.resize(entries.size());
  }
  constexpr std::size_t chunk = 256;
  std::vector<Prepared> prepared(std::min(chunk, entries.size()));
  std::unordered_multimap<uint64_t, int32_t> groups;  // unrooted hash -> topology
  const int workers = workerThreads(threads);
  for (std::size_t begin = 0; begin < entries.size(); begin += chunk) {
    const std::size_t end = std::min(entries.size(), begin + chunk);
    std::atomic<std::size_t> next{begin};
    const auto work = [&] {
      ViewScratch scratch;
      for (std::size_t i = next++; i < end; i = next++) {
        const TreeList::Entry& e = entries[i];
        Prepared& p = prepared[i - begin];
        p.splits.assign(e.tree, taxa);
        p.hashes.resize(static_cast<std::size_t>(p.splits.size()));
        for (int32_t k = 0; k < p.splits.size(); ++k)
          p.hashes[static_cast<std::size_t>(k)] = bits::hash(p.splits.bits(k), words);
        p.topology = unrootedHash(p.splits);
        lengthsOf(e, p.splits, taxa, p.bySplit, p.byLeaf);
        if (withReference)
          viewOf(e.tree, p.splits, p.hashes, taxa, *reference, referenceSplits, scratch, views[i]);
      }
    };
    const int count = std::max(1, std::min<int>(workers, static_cast<int>(end - begin)));
    std::vector<std::thread> pool;
    for (int t = 1; t < count; ++t) pool.emplace_back(work);
    work();
    for (auto& th : pool) th.join();

    for (std::size_t i = begin; i < end; ++i) {
      const TreeList::Entry& e = entries[i];
      const Prepared& p = prepared[i - begin];
      const SplitSet& s = p.splits;
      if (!std::equal(all.begin(), all.end(), s.leaves())) out.everyTaxon = false;
      out.splits.add(s, p.hashes, e.count, p.bySplit, p.byLeaf, e.first);
      int32_t found = -1;
      const auto [lo, hi] = groups.equal_range(p.topology);
      for (auto it = lo; it != hi && found < 0; ++it) {
        const auto rep =
            static_cast<std::size_t>(out.topologies[static_cast<std::size_t>(it->second)].entry);
        if (rep >= begin ? sameUnrootedTopology(prepared[rep - begin].splits, s)
                         : sameUnrootedTopology(SplitSet(entries[rep].tree, taxa), s))
          found = it->second;
      }
      if (found < 0) {
        groups.emplace(p.topology, static_cast<int32_t>(out.topologies.size()));
        out.topologies.push_back({e.count, e.first, static_cast<int32_t>(i)});
      } else {
        UnrootedTopology& t = out.topologies[static_cast<std::size_t>(found)];
        t.count += e.count;
        if (e.first < t.first) {
          t.first = e.first;
          t.entry = static_cast<int32_t>(i);
        }
      }
    }
  }
  std::stable_sort(out.topologies.begin(), out.topologies.end(),
                   [](const UnrootedTopology& a, const UnrootedTopology& b) {
                     if (a.count != b.count) return a.count > b.count;
                     return a.first < b.first;
                   });
  if (!out.everyTaxon) out.splits = SplitCounts(taxa);

  if (withReference) {
    const int32_t splits = referenceSplits.size();
    std::vector<int64_t> holds(static_cast<std::size_t>(splits), 0), covered(holds);
    std::vector<double> shares(static_cast<std::size_t>(splits), 0.0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const EntryView& v = views[i];
      const int64_t count = entries[i].count;
      for (int32_t k = 0; k < splits; ++k) {
        const auto sk = static_cast<std::size_t>(k);
        if (v.covers[sk] == 0) continue;
        covered[sk] += count;
        holds[sk] += v.holds[sk] != 0 ? count : 0;
        if (v.smallSide[sk] >= 2)
          shares[sk] += static_cast<double>(count) * (static_cast<double>(v.distance[sk]) /
                                                      static_cast<double>(v.smallSide[sk] - 1));
      }
    }
    out.splitSupport.assign(reference->nodes.size(), -1);
    out.transferSupport.assign(reference->nodes.size(), -1);
    for (int32_t x = 0; x < static_cast<int32_t>(reference->nodes.size()); ++x) {
      const int32_t k = referenceSplits.splitOfNode(x);
      if (k < 0) continue;
      const auto sk = static_cast<std::size_t>(k);
      out.splitSupport[static_cast<std::size_t>(x)] = roundSupport(holds[sk], covered[sk]);
      out.transferSupport[static_cast<std::size_t>(x)] = transferPercent(shares[sk], covered[sk]);
    }
  }
  return out;
}

}  // namespace ramovia
