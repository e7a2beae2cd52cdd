// A window's long computation on a worker thread: its progress moves a bar (and is signalled, for
// the status bar), and a cancel request reaches it exactly where the computation lets messages
// run.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "model/progress.h"

class QProgressBar;
class QThread;

namespace ramovia::ui {

class JobRunner : public QObject {
  Q_OBJECT
 public:
  explicit JobRunner(QObject* parent = nullptr);
  // Waits for a computation still running (it uses its window's data).
  ~JobRunner() override;

  bool busy() const { return worker_ != nullptr; }
  // Runs `work` on a worker thread, its progress shown on `bar`; finished() follows on this
  // thread once it has ended, however it ended.
  void start(QProgressBar* bar, std::function<void(ProgressSink*)> work);
  // The computation stops at its next check for a request.
  void cancel() { cancelRequested_ = true; }
  // How the last computation ended.
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

 signals:
  void finished();
  // The computation's progress, on this thread: its position within its range.
  void progressed(int position, int minimum, int maximum);

 private:
  class Progress;
  void onWorkerFinished();
  void onRange(int minimum, int maximum);
  void onPosition(int position);

  QThread* worker_ = nullptr;
  QProgressBar* bar_ = nullptr;
  std::unique_ptr<Progress> progress_;
  std::atomic<bool> cancelRequested_{false};
  std::string error_;
  bool failed_ = false;
};

}  // namespace ramovia::ui
