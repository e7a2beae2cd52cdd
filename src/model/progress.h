// What a long computation reports while it runs: a progress bar, and the points at which a
// desktop program lets pending window messages run (where a cancel request can arrive).
#pragma once

namespace ramovia {

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
};

}  // namespace ramovia
