// The analysis window driven as a user would: reading, the matrix page, the trees, a run.
#include <gtest/gtest.h>

#include <algorithm>

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QCheckBox>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QAction>
#include <QGroupBox>
#include <QTest>
#include <QMdiArea>

#include "grid_models.h"
#include "output/tree_text.h"
#include "main_window.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::kDice;
using testing::Messages;
using testing::waitIdle;

QString cellText(QTableView* view, int col, int row) {
  return view->model()->index(row, col).data().toString();
}

// One frame with one window; helpers to read its widgets by name.
struct WindowFixture : ::testing::Test {
  MainWindow frame;
  AnalysisWindow* w = nullptr;
  void SetUp() override {
    frame.show();
    w = frame.newAnalysis();
  }
  template <class T>
  T* get(const char* name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  QTableView* matrixGrid() { return get<QTableView>("matrixGrid"); }
  QString matrixRow(int row) {
    QStringList cells;
    for (int c = 0; c < matrixGrid()->model()->columnCount(); ++c) cells << cellText(matrixGrid(), c, row);
    return cells.join('|');
  }
  void pasteText(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
    w->paste();
  }
  void compute(int coefficient, bool nj) {
    w->chooseCoefficient(coefficient);
    waitIdle(w);
    nj ? w->chooseNeighborJoining() : w->chooseUpgma();
    waitIdle(w);
  }
  void focus(QWidget* widget) {
    QApplication::setActiveWindow(w->window());
    widget->setFocus();
    QApplication::processEvents();
  }
  int treeCountSum() {
    int sum = 0;
    auto* trees = get<QListWidget>("treeList");
    for (int i = 0; i < trees->count(); ++i) sum += trees->item(i)->text().section(':', 0, 0).toInt();
    return sum;
  }
};

TEST_F(WindowFixture, ControlsAsTheWindowIsCreated) {
  EXPECT_EQ(w->windowTitle(), "Multiple analyses");
  // The first window fills the workspace, where the description has 723 x 488.
  EXPECT_EQ(w->parentWidget()->geometry(),
            QRect(QPoint(0, 0), frame.mdiArea()->viewport()->size()));
  QTabWidget* pages = w->pages();
  ASSERT_EQ(pages->count(), 7);
  EXPECT_EQ(pages->tabText(0), "Data input");
  EXPECT_EQ(pages->tabText(1), "Distance/similarity matrix");
  EXPECT_EQ(pages->tabText(2), "Reference tree");
  EXPECT_EQ(pages->tabText(3), "Trees");
  EXPECT_EQ(pages->tabText(4), "Resampling methods");
  EXPECT_EQ(pages->tabText(5), "Consensus");
  EXPECT_EQ(pages->tabText(6), "Ordination");
  EXPECT_FALSE(pages->isTabVisible(4));
  EXPECT_FALSE(pages->isTabVisible(5));
  EXPECT_EQ(get<QComboBox>("coefficientBox")->count(), 16);
  EXPECT_EQ(get<QComboBox>("coefficientBox")->currentIndex(), -1);
  EXPECT_EQ(get<QComboBox>("coefficientBox")->itemText(10), "U - Reynolds ");
  // Before any computation the matrix grid is 5 x 5 empty cells, and so is its copy.
  EXPECT_EQ(matrixGrid()->model()->rowCount(), 5);
  w->copyMatrix();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("\t\t\t\t\t\r\n").repeated(5));
  for (const char* name : {"replicates", "taxaLeftOut", "fragmentsLeftOut"})
    EXPECT_FALSE(get<QSpinBox>(name)->isEnabled()) << name;
  EXPECT_FALSE(get<QPushButton>("runButton")->isEnabled());
  EXPECT_TRUE(get<QPushButton>("cancelButton")->isHidden());
  EXPECT_EQ(get<QSpinBox>("replicates")->maximum(), 10000);
  EXPECT_EQ(get<QSpinBox>("taxaLeftOut")->maximum(), 5);
  EXPECT_EQ(get<QSpinBox>("fragmentsLeftOut")->maximum(), 100);
  EXPECT_FALSE(get<QAction>("copyAction")->isEnabled());
  EXPECT_EQ(get<QGroupBox>("methodGroup")->findChildren<QRadioButton*>().size(), 5);
}

TEST_F(WindowFixture, PasteFillsTheInputGrid) {
  Messages messages;
  QApplication::clipboard()->clear();
  w->updateInputMenu();
  EXPECT_FALSE(get<QAction>("pasteAction")->isEnabled());
  QApplication::clipboard()->setText(QString::fromStdString(kDice));
  w->updateInputMenu();
  EXPECT_TRUE(get<QAction>("pasteAction")->isEnabled());
  w->paste();
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  auto* grid = get<QTableView>("inputGrid");
  auto* model = static_cast<InputGridModel*>(grid->model());
  EXPECT_EQ(model->columnCount(), 4);
  EXPECT_EQ(model->rowCount(), 1 + 9 + 2);
  EXPECT_EQ(cellText(grid, 1, 0), "a");
  EXPECT_EQ(cellText(grid, 3, 0), "c");
  EXPECT_EQ(cellText(grid, 0, 1), "E1");
  EXPECT_TRUE(model->isBlockHeader(model->index(1, 0)));
  EXPECT_FALSE(model->isBlockHeader(model->index(2, 0)));
  EXPECT_EQ(cellText(grid, 0, 2), "1/1");
  // Fragment 2 (a lacks it) is listed after the fragments that a shows.
  EXPECT_EQ(cellText(grid, 0, 8), "2/2");
  EXPECT_EQ(cellText(grid, 1, 8), "0");
  EXPECT_EQ(cellText(grid, 2, 8), "1");
  EXPECT_EQ(cellText(grid, 0, 9), "E2");
  EXPECT_EQ(cellText(grid, 1, 10), "1");
  EXPECT_EQ(cellText(grid, 3, 11), "n/a");
  EXPECT_EQ(grid->columnWidth(0), 116);
  EXPECT_EQ(grid->columnWidth(1), 64);
  EXPECT_EQ(grid->rowHeight(1), 18);
  // Ctrl+C of the input grid copies nothing.
  QApplication::clipboard()->setText("kept");
  focus(grid);
  grid->setCurrentIndex(model->index(2, 1));
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(grid, &copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "kept");
}

TEST_F(WindowFixture, PastingAnEmptyClipboardShowsTheListIndexError) {
  Messages messages;
  QApplication::clipboard()->setText("");
  w->paste();
  ASSERT_EQ(messages.list.size(), 2);
  EXPECT_EQ(messages.list[0], "The table is empty: there is no line with text in it.");
  EXPECT_EQ(messages.list[1], "List index out of bounds (0)");
  EXPECT_EQ(get<QTableView>("inputGrid")->model()->columnCount(), 1);
}

TEST_F(WindowFixture, TheWarningsOfTheCommandLineReachTheMessageArea) {
  Messages messages;
  // UTF-16 text: the plain words come before the reader's own failure.
  guarded(w, [&] { w->readTable(std::string("\xff\xfe\t\0a\0\n\0", 8)); });
  ASSERT_GE(messages.list.size(), 1);
  EXPECT_TRUE(messages.list[0].startsWith("The table is UTF-16 text")) << messages.list.join('|').toStdString();
  // One cell other than 0/1 makes a presence table frequency data; a presence coefficient then
  // gets the kind warning, and a frequency one does not.
  messages.list.clear();
  pasteText("\ta\tb\tc\nE\t4\n1\t1\t0\t0.5\n2\t0\t1\t1\n");
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_TRUE(messages.list[0].contains("Line 3, column 4")) << messages.list[0].toStdString();
  messages.list.clear();
  w->chooseCoefficient(0);
  waitIdle(w);
  ASSERT_EQ(messages.list.size(), 1) << messages.list.join('\n').toStdString();
  EXPECT_EQ(messages.list[0].toStdString(), coefficientKindWarning(Coefficient::Dice, true));
  messages.list.clear();
  const auto& all = allCoefficients();
  const auto prevosti = std::find_if(all.begin(), all.end(), [](const auto& d) { return d.id == Coefficient::Prevosti; });
  w->chooseCoefficient(static_cast<int>(prevosti - all.begin()));
  waitIdle(w);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
}

TEST_F(WindowFixture, DiceMatrixInEitherOrderOfChoice) {
  Messages messages;
  pasteText(kDice);
  // Coefficient first: nothing is computed until the method is chosen.
  w->chooseCoefficient(0);
  waitIdle(w);
  EXPECT_EQ(matrixGrid()->model()->rowCount(), 5);
  EXPECT_EQ(cellText(matrixGrid(), 1, 0), "");
  w->chooseUpgma();
  waitIdle(w);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  ASSERT_EQ(matrixGrid()->model()->rowCount(), 4);
  EXPECT_EQ(matrixRow(0), "|a|b|c");
  EXPECT_EQ(matrixRow(1), "a||0.50000|0.25000");
  EXPECT_EQ(matrixRow(2), "b|0.50000||1.00000");
  EXPECT_EQ(matrixRow(3), "c|0.25000|1.00000|");
  w->copyMatrix();
  EXPECT_EQ(QApplication::clipboard()->text(),
            "\ta\tb\tc\t\r\na\t\t0.50000\t0.25000\t\r\nb\t0.50000\t\t1.00000\t\r\n"
            "c\t0.25000\t1.00000\t\t\r\n");
  EXPECT_TRUE(w->pages()->isTabVisible(4));
  EXPECT_EQ(get<QListWidget>("referenceTreeList")->count(), 1);
  EXPECT_TRUE(get<QListWidget>("referenceTreeList")->item(0)->text().endsWith(';'));
  EXPECT_GT(get<QTreeWidget>("referenceTreeView")->topLevelItemCount(), 0);

  // Method first, in a second window.
  AnalysisWindow* second = frame.newAnalysis();
  QApplication::clipboard()->setText(QString::fromStdString(kDice));
  second->paste();
  second->chooseUpgma();
  waitIdle(second);
  auto* m2 = second->findChild<QTableView*>("matrixGrid");
  EXPECT_EQ(m2->model()->rowCount(), 5);
  second->chooseCoefficient(0);
  waitIdle(second);
  ASSERT_EQ(m2->model()->rowCount(), 4);
  EXPECT_EQ(cellText(m2, 2, 1), "0.50000");
  EXPECT_EQ(cellText(m2, 3, 2), "1.00000");
}

TEST_F(WindowFixture, NeighborJoiningTurnsSimilaritiesIntoDistances) {
  pasteText(kDice);
  compute(0, false);
  compute(0, true);
  EXPECT_EQ(matrixRow(1), "a||0.50000|0.75000");
  EXPECT_EQ(matrixRow(2), "b|0.50000||0.00000");
  EXPECT_EQ(matrixRow(3), "c|0.75000|0.00000|");
}

TEST_F(WindowFixture, EditedMatrixIsReadBackOnDoubleClick) {
  Messages messages;
  pasteText(kDice);
  compute(0, false);
  QAbstractItemModel* model = matrixGrid()->model();
  // Only cell (2, 1) is edited: value (2, 1) takes it, value (1, 2) keeps the other half.
  ASSERT_TRUE(model->flags(model->index(1, 2)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);
  ASSERT_TRUE(model->setData(model->index(1, 2), "0.9", Qt::EditRole));
  EXPECT_EQ(cellText(matrixGrid(), 2, 1), "0.9");
  w->rebuildFromMatrix();
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  const SquareMatrix read = w->presenter().matrix.readBack(3);
  EXPECT_DOUBLE_EQ(read(2, 1), 0.9);
  EXPECT_DOUBLE_EQ(read(1, 2), 0.5);
  // The tree of the edited matrix is shown on the reference tree page.
  const Tree* edited = w->session().editedTree();
  ASSERT_NE(edited, nullptr);
  ASSERT_EQ(get<QListWidget>("referenceTreeList")->count(), 1);
  EXPECT_EQ(get<QListWidget>("referenceTreeList")->item(0)->text(),
            QString::fromStdString(plainText(*edited, w->session().data().taxa) + ";"));
  EXPECT_GT(get<QTreeWidget>("referenceTreeView")->topLevelItemCount(), 0);

  ASSERT_TRUE(model->setData(model->index(3, 1), "abc", Qt::EditRole));
  w->rebuildFromMatrix();
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_EQ(messages.list[0], "'abc' is not a valid floating point value");
}

TEST_F(WindowFixture, MethodChoiceSetsTheControls) {
  pasteText(kDice);
  compute(0, false);
  auto* taxa = get<QSpinBox>("taxaLeftOut");
  auto* frags = get<QSpinBox>("fragmentsLeftOut");
  auto* different = get<QCheckBox>("differentFragments");
  w->chooseResampling(2);  // OTU based Jackknifing
  EXPECT_TRUE(taxa->isEnabled());
  EXPECT_FALSE(frags->isEnabled());
  EXPECT_TRUE(different->isChecked());
  EXPECT_TRUE(get<QPushButton>("runButton")->isEnabled());
  taxa->setValue(1);
  w->chooseResampling(4);  // Users keeps the taxon count and the check box
  EXPECT_EQ(taxa->value(), 1);
  EXPECT_TRUE(different->isEnabled());
  different->setChecked(false);
  w->chooseResampling(4);
  EXPECT_FALSE(different->isChecked());
  w->chooseResampling(0);  // Bootstrapping resets both
  EXPECT_EQ(taxa->value(), 0);
  EXPECT_FALSE(taxa->isEnabled());
  EXPECT_FALSE(different->isChecked());
  EXPECT_FALSE(different->isEnabled());
  w->chooseResampling(1);  // Jackknifing
  EXPECT_TRUE(frags->isEnabled());
  EXPECT_TRUE(different->isChecked());
}

TEST_F(WindowFixture, BootstrapRunShowsStatisticsAndTrees) {
  Messages messages;
  ASSERT_TRUE(frame.openFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  w = frame.analysisWindows().back();
  compute(0, true);
  w->chooseResampling(0);
  get<QSpinBox>("replicates")->setValue(100);
  w->run();
  EXPECT_TRUE(w->isBusy());
  EXPECT_FALSE(get<QPushButton>("runButton")->isEnabled());
  EXPECT_FALSE(get<QPushButton>("cancelButton")->isHidden());
  EXPECT_EQ(get<QLabel>("progressLabel")->text(), "Generating trees ...");
  waitIdle(w);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  EXPECT_TRUE(get<QPushButton>("runButton")->isEnabled());
  EXPECT_TRUE(get<QPushButton>("cancelButton")->isHidden());
  EXPECT_TRUE(get<QProgressBar>("runProgress")->isHidden());
  const QStringList memo = get<QPlainTextEdit>("statistics")->toPlainText().split('\n');
  ASSERT_GE(memo.size(), 6);
  EXPECT_TRUE(memo[0].startsWith("Different tree count : "));
  EXPECT_EQ(memo[0].mid(23).toInt(), get<QListWidget>("treeList")->count());
  EXPECT_TRUE(memo[1].startsWith("Ref. tree in list : "));
  EXPECT_EQ(memo[2], "Ref. tree : ");
  EXPECT_TRUE(memo[4].startsWith("Most freq. tree : "));
  EXPECT_EQ(treeCountSum(), 100);
  // The reference tree now carries the support of each clade.
  QTreeWidgetItem* root = get<QTreeWidget>("referenceTreeView")->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->text(0).endsWith(" %"));

  // A listed tree on the page "Trees", inner nodes as "-¬".
  get<QListWidget>("treeList")->setCurrentRow(0);
  w->showListedTree();
  QTreeWidgetItem* top = get<QTreeWidget>("treeView")->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->text(0), QString::fromUtf8("-\xC2\xAC"));
  EXPECT_TRUE(top->isExpanded());
}

TEST_F(WindowFixture, CopyTreeFromEachPage) {
  ASSERT_TRUE(frame.openFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  w = frame.analysisWindows().back();
  compute(0, false);
  w->chooseResampling(3);
  w->run();
  waitIdle(w);
  auto* refList = get<QListWidget>("referenceTreeList");
  auto* trees = get<QListWidget>("treeList");
  QApplication::clipboard()->setText("before");
  // Without focus on the tree widgets nothing is copied.
  focus(get<QTableView>("inputGrid"));
  w->copyTree();
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
  w->pages()->setCurrentIndex(2);
  focus(get<QTreeWidget>("referenceTreeView"));
  w->updateTreeMenu();
  EXPECT_TRUE(get<QAction>("copyTreeAction")->isEnabled());
  w->copyTree();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->presenter().referenceTreeCopyText()));
  EXPECT_TRUE(QApplication::clipboard()->text().endsWith(';'));
  ASSERT_GT(refList->count(), 0);

  w->pages()->setCurrentIndex(3);
  focus(trees);
  trees->clearSelection();
  trees->setCurrentRow(-1);
  w->updateTreeMenu();
  EXPECT_FALSE(get<QAction>("copyTreeAction")->isEnabled());
  ASSERT_GT(trees->count(), 0);
  trees->setCurrentRow(trees->count() - 1);
  w->copyTree();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->presenter().treeCopyText(trees->count() - 1)));
  // Ctrl+C on the list does the same.
  QApplication::clipboard()->setText("before");
  trees->setCurrentRow(0);
  QTest::keyClick(trees, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->presenter().treeCopyText(0)));
  // And Ctrl+C on the matrix grid copies the matrix.
  w->pages()->setCurrentIndex(1);
  focus(matrixGrid());
  QTest::keyClick(matrixGrid(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->presenter().matrix.copyText()));
}

TEST_F(WindowFixture, CancelStopsALongRunAndClosingWaits) {
  Messages messages;
  ASSERT_TRUE(frame.openFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  w = frame.analysisWindows().back();
  compute(0, true);
  w->chooseResampling(0);
  get<QSpinBox>("replicates")->setValue(10000);
  w->run();
  ASSERT_TRUE(w->isBusy());
  // Everything that would rebuild or free the data set is refused meanwhile.
  EXPECT_FALSE(w->parentWidget()->close());
  EXPECT_FALSE(frame.close());
  w->chooseCoefficient(1);
  w->paste();
  EXPECT_EQ(messages.list.size(), 4);
  for (const QString& m : messages.list)
    EXPECT_EQ(m, "A computation is running; press Cancel or wait for it to end.");
  w->cancel();
  waitIdle(w);
  EXPECT_FALSE(w->isBusy());
  const int built = treeCountSum();
  EXPECT_GE(built, 1);
  EXPECT_LT(built, 10000);
  EXPECT_EQ(get<QComboBox>("coefficientBox")->currentIndex(), 0);
}

}  // namespace
}  // namespace ramovia::ui
