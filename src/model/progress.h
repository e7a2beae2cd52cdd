// What a long computation reports while it runs: a progress bar, and the points at which a
// desktop program lets pending window messages run (where a cancel request can arrive).
#pragma once

#include <atomic>
#include <stdexcept>

namespace ramovia {

// A computation that saw its stop flag set ends with this; what it had computed is dropped.
class ComputationStopped : public std::runtime_error {
 public:
  ComputationStopped() : std::runtime_error("The computation was stopped.") {}
};

inline void throwIfStopped(const std::atomic<bool>* stop) {
  if (stop != nullptr && stop->load(std::memory_order_relaxed)) throw ComputationStopped();
}

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void setRange(int /*minimum*/, int /*maximum*/) {}
  virtual void setPosition(int /*position*/) {}
  // Pending messages run here; true when a cancel request arrived meanwhile.
  virtual bool processMessages() { return false; }
  // An interrupt (Ctrl+C, SIGTERM) asked for: a run may end after any replicate, not only at its
  // checkpoints. Polling it changes nothing.
  virtual bool stopRequested() { return false; }
  // Set once an interrupt asks for it: the matrices and trees being computed then end with
  // ComputationStopped at their next row or join, on any thread. Null: they always finish.
  virtual const std::atomic<bool>* stopFlag() { return nullptr; }
};

// Polled once per row of a matrix: ends it when the flag is set.
class StopWatch : public ProgressSink {
 public:
  explicit StopWatch(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
  void watch(const std::atomic<bool>* stop) { stop_ = stop; }
  void setPosition(int) override { throwIfStopped(stop_); }
  const std::atomic<bool>* stopFlag() override { return stop_; }

 private:
  const std::atomic<bool>* stop_;
};

}  // namespace ramovia
