// What a long computation reports while it runs: a progress bar and the points at which the
// desktop program would let pending window messages run (where a cancel request can arrive).
#pragma once

namespace ramovia {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetRange(int /*minimum*/, int /*maximum*/) {}
  virtual void SetPosition(int /*position*/) {}
  // Pending window messages run here; a cancel request made meanwhile is seen right after.
  virtual void ProcessMessages() {}
};

}  // namespace ramovia
