#include "job_runner.h"

#include <QProgressBar>
#include <QThread>

namespace ramovia::ui {

class JobRunner::Progress : public ProgressSink {
 public:
  Progress(QProgressBar* bar, std::atomic<bool>& cancel) : bar_(bar), cancel_(cancel) {}
  void setRange(int minimum, int maximum) override {
    QProgressBar* bar = bar_;
    QMetaObject::invokeMethod(
        bar, [bar, minimum, maximum] { bar->setRange(minimum, maximum); }, Qt::QueuedConnection);
  }
  void setPosition(int position) override {
    QProgressBar* bar = bar_;
    QMetaObject::invokeMethod(
        bar, [bar, position] { bar->setValue(position); }, Qt::QueuedConnection);
  }
  bool processMessages() override { return cancel_.exchange(false); }

 private:
  QProgressBar* bar_;
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
  progress_ = std::make_unique<Progress>(bar, cancelRequested_);
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

void JobRunner::onWorkerFinished() {
  if (!worker_) return;
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  progress_.reset();
  emit finished();
}

}  // namespace ramovia::ui
