#include "job_runner.h"

#include <QProgressBar>
#include <QThread>

namespace ramovia::ui {

class JobRunner::Progress : public ProgressSink {
 public:
  Progress(JobRunner* runner, std::atomic<bool>& cancel) : runner_(runner), cancel_(cancel) {}
  void setRange(int minimum, int maximum) override {
    JobRunner* r = runner_;
    QMetaObject::invokeMethod(
        r, [r, minimum, maximum] { r->onRange(minimum, maximum); }, Qt::QueuedConnection);
  }
  void setPosition(int position) override {
    JobRunner* r = runner_;
    QMetaObject::invokeMethod(
        r, [r, position] { r->onPosition(position); }, Qt::QueuedConnection);
  }
  bool processMessages() override { return cancel_.exchange(false); }

 private:
  JobRunner* runner_;
  std::atomic<bool>& cancel_;
};

JobRunner::JobRunner(QObject* parent) : QObject(parent) {}

JobRunner::~JobRunner() {
  if (!worker_) return;
  cancelRequested_ = true;
  worker_->wait();
  delete worker_;
}

void JobRunner::start(QProgressBar* bar, std::function<void(ProgressSink*)> work) {
  error_.clear();
  failed_ = false;
  cancelRequested_ = false;
  bar_ = bar;
  progress_ = std::make_unique<Progress>(this, cancelRequested_);
  ProgressSink* sink = progress_.get();
  worker_ = QThread::create([this, work = std::move(work), sink] {
    try {
      work(sink);
    } catch (const std::exception& e) {
      error_ = e.what();
      failed_ = true;
    } catch (...) {
      error_ = "Unknown error";
      failed_ = true;
    }
  });
  connect(worker_, &QThread::finished, this, &JobRunner::onWorkerFinished, Qt::QueuedConnection);
  worker_->start();
}

void JobRunner::onRange(int minimum, int maximum) {
  if (bar_) bar_->setRange(minimum, maximum);
}

void JobRunner::onPosition(int position) {
  if (!bar_) return;
  bar_->setValue(position);
  emit progressed(position, bar_->minimum(), bar_->maximum());
}

void JobRunner::onWorkerFinished() {
  if (!worker_) return;
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  progress_.reset();
  emit finished();
}

}  // namespace ramovia::ui
