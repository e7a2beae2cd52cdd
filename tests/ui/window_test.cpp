// The analysis window driven as a user would: reading, the matrix page, the trees, a run.
#include <gtest/gtest.h>

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

#include "grid_models.h"
#include "main_form.h"
#include "ui_helpers.h"

namespace ramovia::ui {
namespace {

using testing::kDice;
using testing::Messages;
using testing::WaitIdle;

QString Cell(QTableView* view, int col, int row) {
  return view->model()->index(row, col).data().toString();
}

// One frame with one window; helpers to read its widgets by name.
struct WindowFixture : ::testing::Test {
  TMainForm frame;
  TfrmNasobnyTest* w = nullptr;
  void SetUp() override {
    frame.show();
    w = frame.FileOpen();
  }
  template <class T>
  T* Get(const char* name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  QTableView* Matrix() { return Get<QTableView>("sgrdShody"); }
  QString MatrixRow(int row) {
    QStringList cells;
    for (int c = 0; c < Matrix()->model()->columnCount(); ++c) cells << Cell(Matrix(), c, row);
    return cells.join('|');
  }
  void Paste(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
    w->Paste1Click();
  }
  void Compute(int coefficient, bool nj) {
    w->ComboBox1Change(coefficient);
    WaitIdle(w);
    nj ? w->RadioButton2Click() : w->RadioButton1Click();
    WaitIdle(w);
  }
  void Focus(QWidget* widget) {
    QApplication::setActiveWindow(w->window());
    widget->setFocus();
    QApplication::processEvents();
  }
  int TreeCountSum() {
    int sum = 0;
    auto* trees = Get<QListWidget>("lboxTrees");
    for (int i = 0; i < trees->count(); ++i) sum += trees->item(i)->text().section(':', 0, 0).toInt();
    return sum;
  }
};

TEST_F(WindowFixture, ControlsAsTheWindowIsCreated) {
  EXPECT_EQ(w->windowTitle(), "Multiple analyses");
  EXPECT_EQ(w->parentWidget()->size(), QSize(723, 488));
  QTabWidget* pages = w->Pages();
  ASSERT_EQ(pages->count(), 5);
  EXPECT_EQ(pages->tabText(0), "Data input");
  EXPECT_EQ(pages->tabText(1), "Distance/similarity matrix");
  EXPECT_EQ(pages->tabText(2), "Reference tree");
  EXPECT_EQ(pages->tabText(3), "Trees");
  EXPECT_EQ(pages->tabText(4), "Resampling methods");
  EXPECT_FALSE(pages->isTabVisible(4));
  EXPECT_EQ(Get<QComboBox>("ComboBox1")->count(), 16);
  EXPECT_EQ(Get<QComboBox>("ComboBox1")->currentIndex(), -1);
  EXPECT_EQ(Get<QComboBox>("ComboBox1")->itemText(10), "U - Reynolds ");
  // Before any computation the matrix grid is 5 x 5 empty cells, and so is its copy.
  EXPECT_EQ(Matrix()->model()->rowCount(), 5);
  w->Copy2Click();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("\t\t\t\t\t\r\n").repeated(5));
  for (const char* name : {"editRepeat", "editVynechat", "editPocet"})
    EXPECT_FALSE(Get<QSpinBox>(name)->isEnabled()) << name;
  EXPECT_FALSE(Get<QPushButton>("btnRun")->isEnabled());
  EXPECT_TRUE(Get<QPushButton>("btnCancel")->isHidden());
  EXPECT_EQ(Get<QSpinBox>("editRepeat")->maximum(), 10000);
  EXPECT_EQ(Get<QSpinBox>("editVynechat")->maximum(), 5);
  EXPECT_EQ(Get<QSpinBox>("editPocet")->maximum(), 100);
  EXPECT_FALSE(Get<QAction>("Copy1")->isEnabled());
  EXPECT_EQ(Get<QGroupBox>("rdgMethod")->findChildren<QRadioButton*>().size(), 5);
}

TEST_F(WindowFixture, PasteFillsTheInputGrid) {
  Messages messages;
  QApplication::clipboard()->clear();
  w->PopupMenu1Popup();
  EXPECT_FALSE(Get<QAction>("Paste1")->isEnabled());
  QApplication::clipboard()->setText(QString::fromStdString(kDice));
  w->PopupMenu1Popup();
  EXPECT_TRUE(Get<QAction>("Paste1")->isEnabled());
  w->Paste1Click();
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  auto* grid = Get<QTableView>("sgrdDruhy");
  auto* model = static_cast<InputGridModel*>(grid->model());
  EXPECT_EQ(model->columnCount(), 4);
  EXPECT_EQ(model->rowCount(), 1 + 9 + 2);
  EXPECT_EQ(Cell(grid, 1, 0), "a");
  EXPECT_EQ(Cell(grid, 3, 0), "c");
  EXPECT_EQ(Cell(grid, 0, 1), "E1");
  EXPECT_TRUE(model->IsBlockHeader(model->index(1, 0)));
  EXPECT_FALSE(model->IsBlockHeader(model->index(2, 0)));
  EXPECT_EQ(Cell(grid, 0, 2), "1/1");
  // Fragment 2 (a lacks it) is listed after the fragments that a shows.
  EXPECT_EQ(Cell(grid, 0, 8), "2/2");
  EXPECT_EQ(Cell(grid, 1, 8), "0");
  EXPECT_EQ(Cell(grid, 2, 8), "1");
  EXPECT_EQ(Cell(grid, 0, 9), "E2");
  EXPECT_EQ(Cell(grid, 1, 10), "1");
  EXPECT_EQ(Cell(grid, 3, 11), "n/a");
  EXPECT_EQ(grid->columnWidth(0), 116);
  EXPECT_EQ(grid->columnWidth(1), 64);
  EXPECT_EQ(grid->rowHeight(1), 18);
  // Ctrl+C of the input grid copies nothing.
  QApplication::clipboard()->setText("kept");
  Focus(grid);
  grid->setCurrentIndex(model->index(2, 1));
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(grid, &copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "kept");
}

TEST_F(WindowFixture, PastingAnEmptyClipboardShowsTheListIndexError) {
  Messages messages;
  QApplication::clipboard()->setText("");
  w->Paste1Click();
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_EQ(messages.list[0], "List index out of bounds (0)");
  EXPECT_EQ(Get<QTableView>("sgrdDruhy")->model()->columnCount(), 1);
}

TEST_F(WindowFixture, DiceMatrixInEitherOrderOfChoice) {
  Messages messages;
  Paste(kDice);
  // Coefficient first: nothing is computed until the method is chosen.
  w->ComboBox1Change(0);
  WaitIdle(w);
  EXPECT_EQ(Matrix()->model()->rowCount(), 5);
  EXPECT_EQ(Cell(Matrix(), 1, 0), "");
  w->RadioButton1Click();
  WaitIdle(w);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  ASSERT_EQ(Matrix()->model()->rowCount(), 4);
  EXPECT_EQ(MatrixRow(0), "|a|b|c");
  EXPECT_EQ(MatrixRow(1), "a||0.50000|0.25000");
  EXPECT_EQ(MatrixRow(2), "b|0.50000||1.00000");
  EXPECT_EQ(MatrixRow(3), "c|0.25000|1.00000|");
  w->Copy2Click();
  EXPECT_EQ(QApplication::clipboard()->text(),
            "\ta\tb\tc\t\r\na\t\t0.50000\t0.25000\t\r\nb\t0.50000\t\t1.00000\t\r\n"
            "c\t0.25000\t1.00000\t\t\r\n");
  EXPECT_TRUE(w->Pages()->isTabVisible(4));
  EXPECT_EQ(Get<QListWidget>("lboxRefTree")->count(), 1);
  EXPECT_TRUE(Get<QListWidget>("lboxRefTree")->item(0)->text().endsWith(';'));
  EXPECT_GT(Get<QTreeWidget>("tviewRefTree")->topLevelItemCount(), 0);

  // Method first, in a second window.
  TfrmNasobnyTest* second = frame.FileOpen();
  QApplication::clipboard()->setText(QString::fromStdString(kDice));
  second->Paste1Click();
  second->RadioButton1Click();
  WaitIdle(second);
  auto* m2 = second->findChild<QTableView*>("sgrdShody");
  EXPECT_EQ(m2->model()->rowCount(), 5);
  second->ComboBox1Change(0);
  WaitIdle(second);
  ASSERT_EQ(m2->model()->rowCount(), 4);
  EXPECT_EQ(Cell(m2, 2, 1), "0.50000");
  EXPECT_EQ(Cell(m2, 3, 2), "1.00000");
}

TEST_F(WindowFixture, NeighborJoiningTurnsSimilaritiesIntoDistances) {
  Paste(kDice);
  Compute(0, false);
  Compute(0, true);
  EXPECT_EQ(MatrixRow(1), "a||0.50000|0.75000");
  EXPECT_EQ(MatrixRow(2), "b|0.50000||0.00000");
  EXPECT_EQ(MatrixRow(3), "c|0.75000|0.00000|");
}

TEST_F(WindowFixture, EditedMatrixIsReadBackOnDoubleClick) {
  Messages messages;
  Paste(kDice);
  Compute(0, false);
  QAbstractItemModel* model = Matrix()->model();
  // Only cell (2, 1) is edited: Koef[2][1] takes it, Koef[1][2] keeps the other half.
  ASSERT_TRUE(model->flags(model->index(1, 2)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);
  ASSERT_TRUE(model->setData(model->index(1, 2), "0.9", Qt::EditRole));
  EXPECT_EQ(Cell(Matrix(), 2, 1), "0.9");
  w->sgrdShodyDblClick();
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  EXPECT_DOUBLE_EQ(w->analysis().Enzym->GetDistance(2, 1), 0.9);
  EXPECT_DOUBLE_EQ(w->analysis().Enzym->GetDistance(1, 2), 0.5);
  // The tree of the edited matrix is shown on the reference tree page.
  const TKVTreeNodeItem* edited = w->analysis().EditedTree();
  ASSERT_NE(edited, nullptr);
  ASSERT_EQ(Get<QListWidget>("lboxRefTree")->count(), 1);
  EXPECT_EQ(Get<QListWidget>("lboxRefTree")->item(0)->text(),
            QString::fromStdString(edited->GetDesc() + ";"));
  EXPECT_GT(Get<QTreeWidget>("tviewRefTree")->topLevelItemCount(), 0);

  ASSERT_TRUE(model->setData(model->index(3, 1), "abc", Qt::EditRole));
  w->sgrdShodyDblClick();
  ASSERT_EQ(messages.list.size(), 1);
  EXPECT_EQ(messages.list[0], "'abc' is not a valid floating point value");
}

TEST_F(WindowFixture, MethodChoiceSetsTheControls) {
  Paste(kDice);
  Compute(0, false);
  auto* taxa = Get<QSpinBox>("editVynechat");
  auto* frags = Get<QSpinBox>("editPocet");
  auto* different = Get<QCheckBox>("chkbDifferent");
  w->rdgMethodClick(2);  // OTU based Jackknifing
  EXPECT_TRUE(taxa->isEnabled());
  EXPECT_FALSE(frags->isEnabled());
  EXPECT_TRUE(different->isChecked());
  EXPECT_TRUE(Get<QPushButton>("btnRun")->isEnabled());
  taxa->setValue(1);
  w->rdgMethodClick(4);  // Users keeps the taxon count and the check box
  EXPECT_EQ(taxa->value(), 1);
  EXPECT_TRUE(different->isEnabled());
  different->setChecked(false);
  w->rdgMethodClick(4);
  EXPECT_FALSE(different->isChecked());
  w->rdgMethodClick(0);  // Bootstrapping resets both
  EXPECT_EQ(taxa->value(), 0);
  EXPECT_FALSE(taxa->isEnabled());
  EXPECT_FALSE(different->isChecked());
  EXPECT_FALSE(different->isEnabled());
  w->rdgMethodClick(1);  // Jackknifing
  EXPECT_TRUE(frags->isEnabled());
  EXPECT_TRUE(different->isChecked());
}

TEST_F(WindowFixture, BootstrapRunShowsStatisticsAndTrees) {
  Messages messages;
  ASSERT_TRUE(frame.OpenFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  w = frame.AnalysisWindows().back();
  Compute(0, true);
  w->rdgMethodClick(0);
  Get<QSpinBox>("editRepeat")->setValue(100);
  w->btnRunClick();
  EXPECT_TRUE(w->IsBusy());
  EXPECT_FALSE(Get<QPushButton>("btnRun")->isEnabled());
  EXPECT_FALSE(Get<QPushButton>("btnCancel")->isHidden());
  EXPECT_EQ(Get<QLabel>("lblAkce")->text(), "Generating trees ...");
  WaitIdle(w);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  EXPECT_TRUE(Get<QPushButton>("btnRun")->isEnabled());
  EXPECT_TRUE(Get<QPushButton>("btnCancel")->isHidden());
  EXPECT_TRUE(Get<QProgressBar>("ProgressBar1")->isHidden());
  const QStringList memo = Get<QPlainTextEdit>("memoStats")->toPlainText().split('\n');
  ASSERT_GE(memo.size(), 6);
  EXPECT_TRUE(memo[0].startsWith("Different tree count : "));
  EXPECT_EQ(memo[0].mid(23).toInt(), Get<QListWidget>("lboxTrees")->count());
  EXPECT_TRUE(memo[1].startsWith("Ref. tree in list : "));
  EXPECT_EQ(memo[2], "Ref. tree : ");
  EXPECT_TRUE(memo[4].startsWith("Most freq. tree : "));
  EXPECT_EQ(TreeCountSum(), 100);
  // The reference tree now carries the support of each clade.
  QTreeWidgetItem* root = Get<QTreeWidget>("tviewRefTree")->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->text(0).endsWith(" %"));

  // A listed tree on the page "Trees", inner nodes as "-¬".
  Get<QListWidget>("lboxTrees")->setCurrentRow(0);
  w->lboxTreesClick();
  QTreeWidgetItem* top = Get<QTreeWidget>("TreeView")->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->text(0), QString::fromUtf8("-\xC2\xAC"));
  EXPECT_TRUE(top->isExpanded());
}

TEST_F(WindowFixture, CopyTreeFromEachPage) {
  ASSERT_TRUE(frame.OpenFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  w = frame.AnalysisWindows().back();
  Compute(0, false);
  w->rdgMethodClick(3);
  w->btnRunClick();
  WaitIdle(w);
  auto* refList = Get<QListWidget>("lboxRefTree");
  auto* trees = Get<QListWidget>("lboxTrees");
  QApplication::clipboard()->setText("before");
  // Without focus on the tree widgets nothing is copied.
  Focus(Get<QTableView>("sgrdDruhy"));
  w->CopyTree1Click();
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
  w->Pages()->setCurrentIndex(2);
  Focus(Get<QTreeWidget>("tviewRefTree"));
  w->PopupMenu2Popup();
  EXPECT_TRUE(Get<QAction>("CopyTree1")->isEnabled());
  w->CopyTree1Click();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->analysis().RefTreeCopyText()));
  EXPECT_TRUE(QApplication::clipboard()->text().endsWith(';'));
  ASSERT_GT(refList->count(), 0);

  w->Pages()->setCurrentIndex(3);
  Focus(trees);
  trees->clearSelection();
  trees->setCurrentRow(-1);
  w->PopupMenu2Popup();
  EXPECT_FALSE(Get<QAction>("CopyTree1")->isEnabled());
  ASSERT_GT(trees->count(), 0);
  trees->setCurrentRow(trees->count() - 1);
  w->CopyTree1Click();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->analysis().TreeCopyText(trees->count() - 1)));
  // Ctrl+C on the list does the same.
  QApplication::clipboard()->setText("before");
  trees->setCurrentRow(0);
  QTest::keyClick(trees, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->analysis().TreeCopyText(0)));
  // And Ctrl+C on the matrix grid copies the matrix.
  w->Pages()->setCurrentIndex(1);
  Focus(Matrix());
  QTest::keyClick(Matrix(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromStdString(w->analysis().Matrix.CopyText()));
}

TEST_F(WindowFixture, CancelStopsALongRunAndClosingWaits) {
  Messages messages;
  ASSERT_TRUE(frame.OpenFile(RAMOVIA_EXAMPLES "/restriction.txt"));
  w = frame.AnalysisWindows().back();
  Compute(0, true);
  w->rdgMethodClick(0);
  Get<QSpinBox>("editRepeat")->setValue(10000);
  w->btnRunClick();
  ASSERT_TRUE(w->IsBusy());
  // Everything that would rebuild or free the data set is refused meanwhile.
  EXPECT_FALSE(w->parentWidget()->close());
  EXPECT_FALSE(frame.close());
  w->ComboBox1Change(1);
  w->Paste1Click();
  EXPECT_EQ(messages.list.size(), 4);
  for (const QString& m : messages.list)
    EXPECT_EQ(m, "A computation is running; press Cancel or wait for it to end.");
  w->btnCancelClick();
  WaitIdle(w);
  EXPECT_FALSE(w->IsBusy());
  const int built = TreeCountSum();
  EXPECT_GE(built, 1);
  EXPECT_LT(built, 10000);
  EXPECT_EQ(Get<QComboBox>("ComboBox1")->currentIndex(), 0);
}

}  // namespace
}  // namespace ramovia::ui
