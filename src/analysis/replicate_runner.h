// Replicates computed side by side with the results taken in replicate order.
//
// A resampling run draws every replicate's random choices on the run thread (they are cheap and
// depend only on the generator and the sizes), computes the replicates' matrices and trees on a
// pool of workers, each with its own workspace, and hands the trees over in replicate order. The
// run thread is one of the workers: while the next tree to take is not ready it computes the next
// replicate nobody has started, instead of sleeping beside a full pool (on two cores, three busy
// threads and a wake-up per replicate cost more than the draws and takes). The
// run thread may draw a few replicates ahead; when a run stops early (a cancel request seen at a
// checkpoint), the caller puts back the state that the last taken replicate left, which each job
// records when it is drawn. So the results, and the state after the run, are the same for any
// number of threads.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ramovia {

// Worker threads for a setting: 0 (the default) uses every core.
int workerThreads(int requested);

// Runs replicates 1..count. Job holds one replicate's inputs (filled by draw on the run thread),
// Workspace the scratch of one worker and Result what compute makes of a job. take(i, job,
// result) runs on the run thread in replicate order and returns false to stop; then the
// replicates drawn ahead are dropped and restore(job) is called with the job of the replicate the
// run ended at, to put back the state its draws left.
// Returns the number of replicates taken. An exception from draw or compute reaches the caller at
// the point where the single-threaded loop would have met it: after every earlier replicate was
// taken, with the state restored to that replicate's draws.
template <class Job, class Workspace, class Result>
class ReplicateRunner {
 public:
  using Draw = std::function<void(int, Job&)>;
  using Compute = std::function<Result(Job&, Workspace&)>;
  using Take = std::function<bool(int, Job&, Result)>;
  using Restore = std::function<void(Job&)>;

  explicit ReplicateRunner(int threads) : threads_(std::max(1, threads)) {}

  int run(int count, const Draw& draw, const Compute& compute, const Take& take,
          const Restore& restore) {
    if (threads_ == 1 || count <= 1) return runInline(count, draw, compute, take);
    return runPooled(count, threads_, draw, compute, take, restore);
  }

 private:
  struct Slot {
    Job job;
    Result result;
    std::exception_ptr error;
    bool ready = false;
  };

  int runInline(int count, const Draw& draw, const Compute& compute, const Take& take) {
    if (workspaces_.empty()) workspaces_.resize(1);
    if (slots_.empty()) slots_.resize(1);
    Job& job = slots_[0].job;
    for (int i = 1; i <= count; ++i) {
      draw(i, job);
      Result result = compute(job, workspaces_[0]);
      if (!take(i, job, std::move(result))) return i;
    }
    return count;
  }

  int runPooled(int count, int threads, const Draw& draw, const Compute& compute,
                const Take& take, const Restore& restore) {
    const int window = threads * 4;
    if (static_cast<int>(workspaces_.size()) < threads) workspaces_.resize(threads);
    if (static_cast<int>(slots_.size()) < window) slots_.resize(static_cast<std::size_t>(window));
    std::mutex m;
    std::condition_variable workAvailable, workDone;
    int queued = 0;      // replicates drawn and queued
    int claimed = 0;     // replicates a worker has started
    bool stopping = false;
    auto slotOf = [&](int i) -> Slot& { return slots_[static_cast<std::size_t>((i - 1) % window)]; };

    // Starts the next replicate nobody has started and marks it ready; called and left locked.
    auto computeNext = [&](std::unique_lock<std::mutex>& lock, Workspace& ws) {
      Slot& s = slotOf(++claimed);
      lock.unlock();
      try {
        s.result = compute(s.job, ws);
      } catch (...) {
        s.error = std::current_exception();
      }
      lock.lock();
      s.ready = true;
    };
    Workspace& mine = workspaces_[static_cast<std::size_t>(threads - 1)];
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 0; t + 1 < threads; ++t) {
      pool.emplace_back([&, t] {
        Workspace& ws = workspaces_[static_cast<std::size_t>(t)];
        std::unique_lock lock(m);
        for (;;) {
          workAvailable.wait(lock, [&] { return stopping || claimed < queued; });
          if (claimed >= queued) return;  // stopping with nothing left to start
          computeNext(lock, ws);
          workDone.notify_all();
        }
      });
    }

    auto finish = [&] {
      {
        std::lock_guard lock(m);
        stopping = true;
        queued = claimed;  // nothing more starts
      }
      workAvailable.notify_all();
      for (auto& th : pool) th.join();
      for (auto& s : slots_) {
        s.result = Result{};
        s.error = nullptr;
        s.ready = false;
      }
    };

    int drawn = 0;
    int taken = 0;
    bool stopped = false;
    std::exception_ptr drawError;
    try {
      while (taken < count) {
        // Draw ahead while the window has room.
        while (!drawError && drawn < count && drawn - taken < window) {
          Slot& s = slotOf(drawn + 1);
          try {
            draw(drawn + 1, s.job);
          } catch (...) {
            drawError = std::current_exception();
            break;
          }
          {
            std::lock_guard lock(m);
            s.ready = false;
            s.result = Result{};
            s.error = nullptr;
            ++drawn;
            queued = drawn;
          }
          workAvailable.notify_one();
        }
        if (taken == drawn) break;  // a draw failed before this replicate
        Slot& s = slotOf(taken + 1);
        {
          std::unique_lock lock(m);
          if (!s.ready && claimed < queued) {
            computeNext(lock, mine);
            continue;  // draw ahead again before waiting or taking
          }
          workDone.wait(lock, [&] { return s.ready; });
        }
        if (s.error) {
          if (drawn > taken + 1) restore(s.job);
          std::rethrow_exception(s.error);
        }
        ++taken;
        if (!take(taken, s.job, std::move(s.result))) {
          stopped = true;
          if (drawn > taken || drawError) restore(s.job);
          break;
        }
      }
    } catch (...) {
      finish();
      throw;
    }
    finish();
    if (drawError && !stopped) std::rethrow_exception(drawError);
    return taken;
  }

  int threads_;
  std::vector<Workspace> workspaces_;
  std::vector<Slot> slots_;
};

}  // namespace ramovia
