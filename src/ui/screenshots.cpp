#include "screenshots.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "about_dialog.h"
#include "analysis_window.h"
#include "main_window.h"
#include "tree_drawing.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

void waitIdle(const AnalysisWindow* w) {
  while (w->isBusy()) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
  QApplication::processEvents();
}

bool report(bool ok, const QString& path) {
  std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
               path.toLocal8Bit().constData());
  return ok;
}

bool save(QWidget* w, const QString& path) {
  QApplication::processEvents();
  return report(w->grab().save(path), path);
}

QPalette darkPalette() {
  QPalette p;
  const QColor window(45, 45, 48), base(30, 30, 32), text(225, 225, 228), dim(128, 128, 132);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, dim);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Link, QColor(138, 180, 248));
  p.setColor(QPalette::Highlight, QColor(38, 79, 120));
  p.setColor(QPalette::HighlightedText, Qt::white);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, dim);
  return p;
}

}  // namespace

int writeScreenshots(const QString& dir, const QStringList& arguments) {
  QStringList files = arguments;
  const bool dark = files.removeAll("--dark") > 0;
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "Cannot create the folder %s\n", dir.toLocal8Bit().constData());
    return 1;
  }
  // The pictures show a first start: settings of their own, never the user's.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  if (dark) QApplication::setPalette(darkPalette());
  QStringList messages;
  setMessageHandler([&](QWidget*, const QString& text) { messages.push_back(text); });
  MainWindow frame;
  frame.resize(960, 660);
  frame.show();
  bool ok = true;
  for (const QString& file : files) {
    messages.clear();
    if (!frame.openFile(file)) {
      std::fprintf(stderr, "%s: %s\n", file.toLocal8Bit().constData(),
                   messages.join(' ').toLocal8Bit().constData());
      ok = false;
      continue;
    }
    AnalysisWindow* w = frame.analysisWindows().back();
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    frame.mdiArea()->setActiveSubWindow(sub);
    // As it opens: the first window fills the workspace, the others cascade.
    const QString base = QFileInfo(file).completeBaseName();
    ok &= save(&frame, QDir(dir).filePath(QString("%1-opened.png").arg(base)));
    w->chooseCoefficient(0);  // A - Nei and Li / Dice
    waitIdle(w);
    w->chooseNeighborJoining();
    waitIdle(w);
    w->chooseResampling(0);  // bootstrapping
    w->findChild<QSpinBox*>("replicates")->setValue(100);
    w->run();
    waitIdle(w);
    if (auto* trees = w->findChild<QListWidget*>("treeList"); trees && trees->count() > 0) {
      trees->setCurrentRow(0);
      w->showListedTree();
    }
    if (!messages.isEmpty())
      std::fprintf(stderr, "%s: %s\n", file.toLocal8Bit().constData(),
                   messages.join(' ').toLocal8Bit().constData());
    sub->showMaximized();
    QTabWidget* pages = w->pages();
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      ok &= save(&frame, QDir(dir).filePath(QString("%1-page%2.png").arg(base).arg(i + 1)));
    }
    const QString drawing = QDir(dir).filePath(QString("%1-reftree-drawing.png").arg(base));
    QFile f(drawing);
    ok &= report(f.open(QIODevice::WriteOnly) &&
                     f.write(treeDrawingPng(w->referenceTreeDrawing()->drawing())) > 0,
                 drawing);
    pages->setCurrentIndex(0);
    sub->showNormal();
  }
  frame.mdiArea()->tileSubWindows();
  ok &= save(&frame, QDir(dir).filePath("frame.png"));
  AboutDialog about(&frame);
  about.show();
  ok &= save(&about, QDir(dir).filePath("about.png"));
  setMessageHandler({});
  return ok ? 0 : 1;
}

}  // namespace ramovia::ui
