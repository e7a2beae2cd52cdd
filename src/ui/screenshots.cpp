#include "screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QThread>
#include <cstdio>

#include "about_dialog.h"
#include "main_window.h"
#include "analysis_window.h"
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

bool save(QWidget* w, const QString& path) {
  QApplication::processEvents();
  const bool ok = w->grab().save(path);
  std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
               path.toLocal8Bit().constData());
  return ok;
}

}  // namespace

int writeScreenshots(const QString& dir, const QStringList& files) {
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "Cannot create the folder %s\n", dir.toLocal8Bit().constData());
    return 1;
  }
  QStringList messages;
  setMessageHandler([&](QWidget*, const QString& text) { messages.push_back(text); });
  MainWindow frame;
  frame.resize(900, 620);
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
    w->parentWidget()->showMaximized();
    w->chooseCoefficient(0);  // A - Nei and Li / Dice
    waitIdle(w);
    w->chooseNeighborJoining();  // neighbor-joining
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
    const QString base = QFileInfo(file).completeBaseName();
    QTabWidget* pages = w->pages();
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      ok &= save(w->parentWidget(), QDir(dir).filePath(QString("%1-page%2.png").arg(base).arg(i + 1)));
    }
    // The reference tree page as the window first opens, and the whole drawing.
    w->parentWidget()->showNormal();
    w->parentWidget()->resize(723, 488);
    pages->setCurrentIndex(pages->indexOf(w->findChild<QWidget*>("referenceTreePage")));
    ok &= save(w->parentWidget(), QDir(dir).filePath(QString("%1-reftree-initial.png").arg(base)));
    {
      const QString path = QDir(dir).filePath(QString("%1-reftree-drawing.png").arg(base));
      QFile f(path);
      const bool written = f.open(QIODevice::WriteOnly) &&
                           f.write(treeDrawingPng(w->referenceTreeDrawing()->drawing())) > 0;
      std::fprintf(written ? stdout : stderr, "%s %s\n", written ? "wrote" : "could not write",
                   path.toLocal8Bit().constData());
      ok &= written;
    }
    pages->setCurrentIndex(0);
    w->parentWidget()->showMaximized();
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
