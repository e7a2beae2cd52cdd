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

#include "about_box.h"
#include "main_form.h"
#include "test_nasobny.h"
#include "tree_drawing.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

void WaitIdle(const TfrmNasobnyTest* w) {
  while (w->IsBusy()) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
  QApplication::processEvents();
}

bool Save(QWidget* w, const QString& path) {
  QApplication::processEvents();
  const bool ok = w->grab().save(path);
  std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
               path.toLocal8Bit().constData());
  return ok;
}

}  // namespace

int WriteScreenshots(const QString& dir, const QStringList& files) {
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "Cannot create the folder %s\n", dir.toLocal8Bit().constData());
    return 1;
  }
  QStringList messages;
  SetMessageHandler([&](QWidget*, const QString& text) { messages.push_back(text); });
  TMainForm frame;
  frame.resize(900, 620);
  frame.show();
  bool ok = true;
  for (const QString& file : files) {
    messages.clear();
    if (!frame.OpenFile(file)) {
      std::fprintf(stderr, "%s: %s\n", file.toLocal8Bit().constData(),
                   messages.join(' ').toLocal8Bit().constData());
      ok = false;
      continue;
    }
    TfrmNasobnyTest* w = frame.AnalysisWindows().back();
    w->parentWidget()->showMaximized();
    w->ComboBox1Change(0);  // A - Nei and Li / Dice
    WaitIdle(w);
    w->RadioButton2Click();  // neighbor-joining
    WaitIdle(w);
    w->rdgMethodClick(0);  // bootstrapping
    w->findChild<QSpinBox*>("editRepeat")->setValue(100);
    w->btnRunClick();
    WaitIdle(w);
    if (auto* trees = w->findChild<QListWidget*>("lboxTrees"); trees && trees->count() > 0) {
      trees->setCurrentRow(0);
      w->lboxTreesClick();
    }
    if (!messages.isEmpty())
      std::fprintf(stderr, "%s: %s\n", file.toLocal8Bit().constData(),
                   messages.join(' ').toLocal8Bit().constData());
    const QString base = QFileInfo(file).completeBaseName();
    QTabWidget* pages = w->Pages();
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      ok &= Save(w->parentWidget(), QDir(dir).filePath(QString("%1-page%2.png").arg(base).arg(i + 1)));
    }
    // The reference tree page as the window first opens, and the whole drawing.
    w->parentWidget()->showNormal();
    w->parentWidget()->resize(723, 488);
    pages->setCurrentIndex(pages->indexOf(w->findChild<QWidget*>("TabSheet2")));
    ok &= Save(w->parentWidget(), QDir(dir).filePath(QString("%1-reftree-initial.png").arg(base)));
    {
      const QString path = QDir(dir).filePath(QString("%1-reftree-drawing.png").arg(base));
      QFile f(path);
      const bool written = f.open(QIODevice::WriteOnly) &&
                           f.write(TreeDrawingPng(w->RefTreeDrawing()->Drawing())) > 0;
      std::fprintf(written ? stdout : stderr, "%s %s\n", written ? "wrote" : "could not write",
                   path.toLocal8Bit().constData());
      ok &= written;
    }
    pages->setCurrentIndex(0);
    w->parentWidget()->showMaximized();
  }
  frame.MdiArea()->tileSubWindows();
  ok &= Save(&frame, QDir(dir).filePath("frame.png"));
  TformAboutBox about(&frame);
  about.show();
  ok &= Save(&about, QDir(dir).filePath("about.png"));
  SetMessageHandler({});
  return ok ? 0 : 1;
}

}  // namespace ramovia::ui
