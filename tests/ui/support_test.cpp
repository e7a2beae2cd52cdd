// The support chooser of the reference tree page and the consensus page.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>

#include "main_window.h"
#include "tree_drawing.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::Messages;
using testing::waitIdle;

int supportLabels(const TreeDrawingView* view) {
  int n = 0;
  for (const auto& t : view->drawing().texts) n += t.role == DrawnText::Role::Support;
  return n;
}

TEST(SupportPages, TheChooserSwitchesTheDrawingAndTheConsensusFollowsARun) {
  Messages messages;
  MainWindow frame;
  frame.show();
  ASSERT_TRUE(frame.openFile(RAMOVIA_EXAMPLES "/rapd.txt"));
  AnalysisWindow* w = frame.analysisWindows().back();
  w->chooseCoefficient(0);
  waitIdle(w);
  w->chooseNeighborJoining();
  waitIdle(w);
  QTabWidget* pages = w->pages();
  const int consensus = pages->indexOf(w->findChild<QWidget*>("consensusPage"));
  EXPECT_FALSE(pages->isTabVisible(consensus));
  w->chooseResampling(0);
  w->findChild<QSpinBox*>("replicates")->setValue(50);
  w->run();
  waitIdle(w);
  ASSERT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  EXPECT_TRUE(pages->isTabVisible(consensus));
  EXPECT_FALSE(w->consensusDrawing()->isEmpty());
  EXPECT_TRUE(w->findChild<QLabel*>("unrootedCount")->text().startsWith("Distinct unrooted"));
  auto* box = w->findChild<QComboBox*>("supportBox");
  // Neighbor-joining shows the splits' support first: the root has none.
  EXPECT_EQ(box->currentIndex(), 1);
  const int splits = supportLabels(w->referenceTreeDrawing());
  box->setCurrentIndex(0);
  emit box->activated(0);
  EXPECT_EQ(supportLabels(w->referenceTreeDrawing()), splits + 2);
  EXPECT_TRUE(w->findChild<QLabel*>("supportLegend")->text().contains("rooted clade"));
}

}  // namespace
}  // namespace ramovia::ui
