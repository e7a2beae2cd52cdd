// Analysis windows compute side by side: each owns its data, its generator and its worker.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>

#include "main_window.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::Messages;
using testing::waitIdle;

struct Shown {
  QStringList trees;
  QString statistics;
  bool operator==(const Shown&) const = default;
};

AnalysisWindow* prepared(MainWindow& frame, int coefficient, int replicates) {
  EXPECT_TRUE(frame.openFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  AnalysisWindow* w = frame.analysisWindows().back();
  w->chooseCoefficient(coefficient);
  waitIdle(w);
  w->chooseNeighborJoining();
  waitIdle(w);
  w->chooseResampling(0);
  w->findChild<QSpinBox*>("replicates")->setValue(replicates);
  return w;
}

Shown shown(AnalysisWindow* w) {
  Shown s;
  auto* list = w->findChild<QListWidget*>("treeList");
  for (int i = 0; i < list->count(); ++i) s.trees << list->item(i)->text();
  s.statistics = w->findChild<QPlainTextEdit*>("statistics")->toPlainText();
  return s;
}

TEST(Concurrency, TwoWindowsRunAtOnceAndEachGivesWhatItGivesAlone) {
  Messages messages;
  MainWindow frame;
  frame.show();
  // Alone, one after the other.
  AnalysisWindow* dice = prepared(frame, 0, 4000);
  dice->run();
  waitIdle(dice);
  const Shown diceAlone = shown(dice);
  AnalysisWindow* divergence = prepared(frame, 6, 1500);
  divergence->run();
  waitIdle(divergence);
  const Shown divergenceAlone = shown(divergence);
  ASSERT_FALSE(diceAlone.trees.isEmpty());
  ASSERT_FALSE(divergenceAlone.trees.isEmpty());

  // Fresh windows, started together.
  AnalysisWindow* a = prepared(frame, 0, 4000);
  AnalysisWindow* b = prepared(frame, 6, 1500);
  a->run();
  b->run();
  EXPECT_TRUE(a->isBusy());
  EXPECT_TRUE(b->isBusy());
  waitIdle(a);
  waitIdle(b);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  EXPECT_EQ(shown(a), diceAlone);
  EXPECT_EQ(shown(b), divergenceAlone);
}

}  // namespace
}  // namespace ramovia::ui
