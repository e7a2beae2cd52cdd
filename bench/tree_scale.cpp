// One tree of many taxa from a generated distance matrix, timed once, for scripts/bench (which
// reads the peak memory from /usr/bin/time). Usage:
//   ramovia_tree_scale nj|upgma TAXA [--phylip FILE] [--compare]
// --phylip writes the matrix for other programs; --compare also builds the tree with the
// all-pairs search and fails unless both trees are the same bit for bit.
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tree/builders.h"

using namespace ramovia;

namespace {

// Path lengths of a random tree plus noise: distances as neighbor-joining meets them.
void fillMatrix(SquareMatrix& K, int n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> real(0.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(n)), b(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    a[static_cast<std::size_t>(i)] = real(gen);
    b[static_cast<std::size_t>(i)] = real(gen) * 0.3;
  }
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) {
      const double d = std::abs(a[static_cast<std::size_t>(i - 1)] - a[static_cast<std::size_t>(j - 1)]) +
                       b[static_cast<std::size_t>(i - 1)] + b[static_cast<std::size_t>(j - 1)] +
                       real(gen) * 0.05;
      K(i, j) = K(j, i) = d;
    }
}

std::string shape(const Tree& t) {
  std::string s;
  for (const TreeNode& node : t.nodes) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d %d %d %a;", node.left, node.right, node.taxon, node.length);
    s += buf;
  }
  return s;
}

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s nj|upgma TAXA [--phylip FILE] [--compare]\n", argv[0]);
    return 2;
  }
  const bool nj = std::strcmp(argv[1], "nj") == 0;
  const int n = std::stoi(argv[2]);
  const char* phylip = nullptr;
  bool compare = false;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--phylip") == 0 && i + 1 < argc) phylip = argv[++i];
    if (std::strcmp(argv[i], "--compare") == 0) compare = true;
  }
  std::vector<Name> names;
  std::vector<const Name*> pointers;
  std::vector<int32_t> taxa;
  for (int i = 0; i < n; ++i) names.emplace_back("T" + std::to_string(i + 1));
  for (int i = 0; i < n; ++i) {
    pointers.push_back(&names[static_cast<std::size_t>(i)]);
    taxa.push_back(i);
  }
  const RowTaxa rows{taxa, pointers};
  SquareMatrix K(n);
  fillMatrix(K, n, 17);
  if (phylip != nullptr) {
    FILE* f = std::fopen(phylip, "w");
    if (f == nullptr) return 1;
    std::fprintf(f, "%d\n", n);
    for (int i = 1; i <= n; ++i) {
      std::fprintf(f, "T%d", i);
      for (int j = 1; j <= n; ++j) std::fprintf(f, " %.6g", K(i, j));  // the peer reads single precision anyway
      std::fputc('\n', f);
    }
    std::fclose(f);
  }
  TreeWorkspace ws;
  std::string reference;
  if (compare) {
    const auto t0 = std::chrono::steady_clock::now();
    const Tree all = nj ? tree_detail::buildNeighborJoiningWith(K, n, rows, ws, 1 << 30)
                        : tree_detail::buildUpgmaWith(K, n, rows, true, ws, 1 << 30);
    std::printf("all-pairs search: %.2f s\n", seconds(t0));
    reference = shape(all);
    ws = TreeWorkspace{};
  }
  const auto t0 = std::chrono::steady_clock::now();
  const std::clock_t c0 = std::clock();
  const Tree t = nj ? buildNeighborJoiningInPlace(K, n, rows, ws) : buildUpgma(K, n, rows, true, ws);
  // The processor time too: on a busy machine the wall time says little.
  std::printf("%s of %d taxa: %.2f s (processor %.2f s)\n", nj ? "neighbor-joining" : "UPGMA", n,
              seconds(t0), static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
  std::printf("matrix: %.0f MB\n", static_cast<double>(n + 1) * (n + 1) * 8 / 1e6);
  if (compare && shape(t) != reference) {
    std::printf("the trees differ\n");
    return 1;
  }
  if (compare) std::printf("same tree, same lengths\n");
  return 0;
}
