#include "resampling/replicate_runner.h"

#include <atomic>

namespace ramovia {

namespace {
std::atomic<int> g_threads{0};
}

void SetReplicateThreads(int threads) { g_threads = threads < 0 ? 0 : threads; }

int ReplicateThreads() {
  const int t = g_threads;
  if (t > 0) return t;
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : static_cast<int>(hw);
}

}  // namespace ramovia
