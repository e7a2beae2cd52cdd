// What the window tests share: waiting for a computation, catching messages, temporary files.
#pragma once

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <string>

#include "../core/sample_tables.h"
#include "analysis_window.h"
#include "ui_support.h"

namespace ramovia::ui::testing {

inline void waitIdle(const AnalysisWindow* w) {
  for (int i = 0; i < 60000 && w->isBusy(); ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  QApplication::processEvents();
}

// Collects the messages that would have gone to message boxes.
struct Messages {
  QStringList list;
  Messages() {
    setMessageHandler([this](QWidget*, const QString& text) { list.push_back(text); });
  }
  ~Messages() { setMessageHandler({}); }
};

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const std::string& text) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(text.data(), static_cast<qint64>(text.size()));
  return path;
}

using ramovia::testing::kDiceTable;
inline const std::string& kDice = kDiceTable;

}  // namespace ramovia::ui::testing
