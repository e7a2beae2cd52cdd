// The program for everyday work: where windows start, keys, what is remembered between sessions,
// drops and the clipboard, hints, and drawings that stay legible.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <random>

#include "line_delegate.h"
#include "main_window.h"
#include "output/tree_layout.h"
#include "pages.h"
#include "settings.h"
#include "tree_drawing.h"
#include "ui_helpers.h"
#include "window_placement.h"

namespace ramovia::ui {
namespace {

using testing::kDice;
using testing::Messages;
using testing::waitIdle;
using testing::writeFile;

const QString kRestriction = RAMOVIA_EXAMPLES "/restriction.txt";
const QString kAlleles = RAMOVIA_EXAMPLES "/alleles.txt";

// Presence data without structure: the trees have many short inner branches.
std::string randomTable(int taxa, int markers, unsigned seed) {
  std::mt19937 rng(seed);
  std::string t;
  for (int k = 0; k < taxa; ++k) t += "\tTaxon_" + std::to_string(k);
  t += "\nE1\t6\n";
  for (int m = 0; m < markers; ++m) {
    t += std::to_string(m + 1);
    const unsigned p = rng() % 100;
    for (int k = 0; k < taxa; ++k) t += rng() % 100 < p ? "\t1" : "\t0";
    t += "\n";
  }
  return t;
}

TEST(Placement, FrameAndWindowsStayInsideAnyScreen) {
  for (const Box screen : {Box{0, 0, 800, 600}, Box{0, 0, 1280, 900}, Box{0, 0, 1366, 768},
                           Box{0, 27, 1920, 1053}, Box{1920, 0, 2560, 1440}}) {
    const Box first = frameBox(screen, std::nullopt);
    EXPECT_TRUE(screen.contains(first));
    EXPECT_GE(first.width, screen.width * 7 / 10);
    EXPECT_GE(first.height, screen.height * 7 / 10);
    EXPECT_EQ(first.x - screen.x, screen.right() - first.right());
    // Where the user left it, unless that is off this screen or larger than it.
    const Box kept{screen.x + 40, screen.y + 30, 700, 500};
    EXPECT_EQ(frameBox(screen, kept), kept);
    for (const Box saved : {Box{-3000, 5000, 900, 700}, Box{screen.x, screen.y, 9000, 9000}}) {
      const Box b = frameBox(screen, saved);
      EXPECT_TRUE(screen.contains(b));
    }
    const Box workspace{0, 0, first.width - 8, first.height - 80};
    EXPECT_EQ(subWindowBox(workspace, 0, 28), workspace);
    Box previous = subWindowBox(workspace, 0, 28);
    for (int open = 1; open < 12; ++open) {
      const Box b = subWindowBox(workspace, open, 28);
      EXPECT_TRUE(workspace.contains(b)) << open;
      EXPECT_NE(b, previous);
      previous = b;
    }
  }
  // A workspace smaller than any cascade still holds every window.
  for (int open = 0; open < 6; ++open)
    EXPECT_TRUE(Box({0, 0, 300, 100}).contains(subWindowBox({0, 0, 300, 100}, open, 28)));
  // A small tree grows to fill its page; a large one keeps names legible and scrolls.
  EXPECT_DOUBLE_EQ(fittedZoom(500, 150, 600, 500), 1.2);
  EXPECT_DOUBLE_EQ(fittedZoom(100, 50, 600, 500), 1.6);
  EXPECT_DOUBLE_EQ(fittedZoom(500, 3600, 600, 500), 1.0);
  EXPECT_DOUBLE_EQ(fittedZoom(1000, 3600, 600, 500), 0.75);
}

// Run at 800 x 800 and, as ctests of their own, on 1280 x 900 and 1920 x 1080 screens.
TEST(FirstSight, FrameAndWindowsOpenInsideTheScreen) {
  Messages messages;
  MainWindow frame({kRestriction, kAlleles, RAMOVIA_EXAMPLES "/rapd.txt"});
  frame.show();
  QApplication::processEvents();
  const QRect screen = frame.screen()->availableGeometry();
  if (const char* expected = std::getenv("RAMOVIA_TEST_SCREEN")) {
    ASSERT_EQ(QString("%1x%2").arg(screen.width()).arg(screen.height()), expected);
  }
  EXPECT_TRUE(screen.contains(frame.frameGeometry())) << frame.frameGeometry().width();
  EXPECT_GE(frame.width() * 10, screen.width() * 7);
  EXPECT_GE(frame.height() * 10, screen.height() * 7);
  const auto windows = frame.mdiArea()->subWindowList(QMdiArea::CreationOrder);
  ASSERT_EQ(windows.size(), 3);
  const QRect workspace(QPoint(0, 0), frame.mdiArea()->viewport()->size());
  EXPECT_EQ(windows[0]->geometry(), workspace);
  for (QMdiSubWindow* w : windows) EXPECT_TRUE(workspace.contains(w->geometry()));
  EXPECT_NE(windows[1]->pos(), windows[2]->pos());
  // The first window keeps filling the workspace as the frame grows.
  frame.resize(frame.width() - 50, frame.height() - 40);
  QApplication::processEvents();
  EXPECT_EQ(windows[0]->geometry(), QRect(QPoint(0, 0), frame.mdiArea()->viewport()->size()));
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
}

struct DesktopFixture : ::testing::Test {
  MainWindow frame;
  Messages messages;
  QTemporaryDir dir;
  void SetUp() override { frame.show(); }
  AnalysisWindow* open(const QString& file) {
    EXPECT_TRUE(frame.openFile(file));
    return frame.analysisWindows().back();
  }
  void compute(AnalysisWindow* w, int coefficient, bool nj) {
    w->chooseCoefficient(coefficient);
    waitIdle(w);
    nj ? w->chooseNeighborJoining() : w->chooseUpgma();
    waitIdle(w);
  }
  void press(const QKeySequence& keys) {
    QApplication::setActiveWindow(&frame);
    QTest::keySequence(&frame, keys);
    QApplication::processEvents();
  }
  QAction* action(const char* name) { return frame.findChild<QAction*>(name); }
};

TEST_F(DesktopFixture, KeysTriggerTheirCommands) {
  EXPECT_EQ(action("newAction")->shortcut(), QKeySequence(QKeySequence::New));
  EXPECT_EQ(action("openAction")->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(action("saveTreeAction")->shortcut(), QKeySequence(QKeySequence::Save));
  EXPECT_EQ(action("closeAction")->shortcuts(), QKeySequence::keyBindings(QKeySequence::Close));
  EXPECT_EQ(action("exitAction")->shortcut(), QKeySequence(QKeySequence::Quit));
  press(QKeySequence::New);
  ASSERT_EQ(frame.analysisWindows().size(), 1);
  // Large enough that the run is still going when Esc comes.
  AnalysisWindow* w = open(writeFile(dir, "random.txt", randomTable(80, 1000, 3)));
  frame.mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
  compute(w, 0, true);
  press(QKeySequence(Qt::CTRL | Qt::Key_5));
  EXPECT_EQ(w->pages()->currentIndex(), 4);
  press(QKeySequence(Qt::CTRL | Qt::Key_2));
  EXPECT_EQ(w->pages()->currentIndex(), 1);
  w->chooseResampling(0);
  w->findChild<QSpinBox*>("replicates")->setValue(10000);
  press(Qt::Key_F5);
  ASSERT_TRUE(w->isBusy());
  // The status bar follows the run; Esc presses Cancel.
  for (int i = 0; i < 2000 && !frame.statusText()->text().contains("replicates/s"); ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  EXPECT_TRUE(frame.statusText()->text().startsWith("Replicate "))
      << frame.statusText()->text().toStdString();
  EXPECT_TRUE(frame.statusText()->text().contains(" of 10000, "))
      << frame.statusText()->text().toStdString();
  EXPECT_TRUE(frame.statusText()->text().contains(" left"))
      << frame.statusText()->text().toStdString();
  press(Qt::Key_Escape);
  waitIdle(w);
  ASSERT_NE(w->session().lastResult(), nullptr);
  EXPECT_TRUE(w->session().lastResult()->cancelled);
  EXPECT_TRUE(frame.statusText()->text().contains("(cancelled)"))
      << frame.statusText()->text().toStdString();
  EXPECT_FALSE(action("cancelAction")->isEnabled());

  // Next window, then Close.
  QMdiSubWindow* before = frame.mdiArea()->activeSubWindow();
  press(action("nextWindowAction")->shortcut());
  EXPECT_NE(frame.mdiArea()->activeSubWindow(), before);
  press(QKeySequence(Qt::CTRL | Qt::Key_W));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(frame.analysisWindows().size(), 1);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
}

TEST_F(DesktopFixture, RecentFilesFolderAndPlaceSurviveARestart) {
  const QString a = writeFile(dir, "a.txt", kDice), b = writeFile(dir, "b.txt", kDice);
  frame.openFiles({a, b, a});
  frame.move(frame.x() + 10, frame.y() + 20);
  const QRect place = frame.geometry();
  ASSERT_TRUE(frame.close());
  EXPECT_EQ(AppSettings().lastFolder(), dir.path());

  MainWindow again;
  EXPECT_EQ(again.geometry(), place);
  auto* recent = again.findChild<QMenu*>("recentMenu");
  ASSERT_NE(recent, nullptr);
  emit recent->aboutToShow();
  auto* first = again.findChild<QAction*>("recentFile1");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), "&1 " + a);
  EXPECT_EQ(again.findChild<QAction*>("recentFile2")->text(), "&2 " + b);
  EXPECT_EQ(again.findChild<QAction*>("recentFile3"), nullptr);
  first->trigger();
  ASSERT_EQ(again.analysisWindows().size(), 1);
  EXPECT_EQ(again.analysisWindows()[0]->windowTitle(), a);
  // A file that has gone is reported once and leaves the list; the list holds ten files.
  QFile::remove(b);
  again.openRecent(b);
  EXPECT_EQ(messages.list, QStringList({"Cannot open file " + b}));
  EXPECT_EQ(AppSettings().recentFiles(), QStringList({a}));
  AppSettings settings;
  for (int i = 0; i < 12; ++i) settings.addRecentFile(dir.filePath(QString("f%1.txt").arg(i)));
  EXPECT_EQ(settings.recentFiles().size(), AppSettings::kRecentFiles);
  EXPECT_EQ(settings.recentFiles().front(), dir.filePath("f11.txt"));
}

TEST_F(DesktopFixture, DroppedFilesOpenOneWindowEach) {
  const QString a = writeFile(dir, "a.txt", kDice), b = writeFile(dir, "b.txt", kDice);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
  QDragEnterEvent enter(QPoint(20, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&frame, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&frame, &drop);
  const auto windows = frame.analysisWindows();
  ASSERT_EQ(windows.size(), 2);
  EXPECT_EQ(windows[0]->windowTitle(), a);
  EXPECT_EQ(windows[1]->windowTitle(), b);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
}

TEST_F(DesktopFixture, SpreadsheetPasteAndMatrixCopyForSpreadsheetsAndWordProcessors) {
  QFile file(kRestriction);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  // A spreadsheet pads every row to the table's width and ends every row with CR LF.
  const int width = static_cast<int>(lines.front().count('\t'));
  QString copied;
  for (const QString& l : lines) copied += l + QString(width - l.count('\t'), '\t') + "\r\n";
  AnalysisWindow* fromFile = open(kRestriction);
  compute(fromFile, 0, false);
  AnalysisWindow* pasted = frame.newAnalysis();
  QApplication::clipboard()->setText(copied);
  pasted->paste();
  compute(pasted, 0, false);
  ASSERT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
  EXPECT_EQ(pasted->presenter().matrix.copyText(), fromFile->presenter().matrix.copyText());
  EXPECT_EQ(pasted->presenter().referenceTreeCopyText(),
            fromFile->presenter().referenceTreeCopyText());

  pasted->copyMatrix();
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  EXPECT_EQ(clip->text(), QString::fromStdString(pasted->presenter().matrix.copyText()));
  ASSERT_TRUE(clip->hasHtml());
  const QString html = clip->html();
  EXPECT_TRUE(html.contains("<table")) << html.toStdString();
  EXPECT_EQ(html.count("<tr>"), pasted->presenter().matrix.rowCount());
  EXPECT_TRUE(html.contains("<th>Q.robur</th>")) << html.toStdString();
  EXPECT_TRUE(html.contains("<td>" + QString::fromStdString(pasted->presenter().matrix.cell(2, 1)) +
                            "</td>"));
}

TEST_F(DesktopFixture, RememberedChoicesOnlyWhenTheUserAsks) {
  AnalysisWindow* w = open(kRestriction);
  compute(w, 1, true);
  w->chooseResampling(2);
  w->findChild<QSpinBox*>("taxaLeftOut")->setValue(2);
  w->findChild<QSpinBox*>("replicates")->setValue(30);
  w->run();
  waitIdle(w);
  // Off by default: a new window on a new table starts as described.
  AnalysisWindow* plain = open(kRestriction);
  waitIdle(plain);
  EXPECT_EQ(plain->findChild<QComboBox*>("coefficientBox")->currentIndex(), -1);
  EXPECT_FALSE(plain->pages()->isTabVisible(4));
  EXPECT_EQ(plain->presenter().choices(), Choices{});

  // Turned on in the preferences.
  QTimer::singleShot(0, &frame, [] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->findChild<QCheckBox*>("rememberChoices")->setChecked(true);
    box->accept();
  });
  frame.preferences();
  ASSERT_TRUE(AppSettings().rememberChoices());
  AnalysisWindow* remembering = open(kRestriction);
  waitIdle(remembering);
  Choices expected;
  expected.coefficient = 1;
  expected.method = TreeMethod::NeighborJoining;
  expected.resampling = 2;
  expected.replicates = 30;
  expected.taxaLeftOut = 2;
  expected.different = true;
  EXPECT_EQ(remembering->presenter().choices(), expected);
  EXPECT_EQ(remembering->findChild<QComboBox*>("coefficientBox")->currentIndex(), 1);
  EXPECT_EQ(remembering->findChild<QSpinBox*>("replicates")->value(), 30);
  EXPECT_TRUE(remembering->findChild<QPushButton*>("runButton")->isEnabled());
  EXPECT_EQ(remembering->presenter().matrix.copyText(), w->presenter().matrix.copyText());
  // Frequencies take the method, not a presence coefficient.
  AnalysisWindow* frequencies = open(kAlleles);
  waitIdle(frequencies);
  EXPECT_EQ(frequencies->findChild<QComboBox*>("coefficientBox")->currentIndex(), -1);
  EXPECT_EQ(frequencies->session().method(), TreeMethod::NeighborJoining);
  EXPECT_TRUE(messages.list.isEmpty()) << messages.list.join('\n').toStdString();
}

TEST_F(DesktopFixture, EveryControlExplainsItselfAndNamesFit) {
  AnalysisWindow* w = open(writeFile(dir, "long.txt",
                                     "\tA_rather_long_taxon_name\tb\nBlock_with_a_long_name\t6\n"
                                     "1200\t1\t0\n2\t1\t1\n"));
  compute(w, 0, false);
  auto* box = w->findChild<QComboBox*>("coefficientBox");
  EXPECT_EQ(box->placeholderText(), "Choose a coefficient");
  EXPECT_EQ(w->findChild<QLabel*>("coefficientLabel")->buddy(), box);
  for (int i = 0; i < box->count(); ++i) {
    const QString hint = box->itemData(i, Qt::ToolTipRole).toString();
    EXPECT_TRUE(hint.contains("similarity") || hint.contains("distance")) << i;
  }
  for (QRadioButton* b : w->findChild<QWidget*>("methodGroup")->findChildren<QRadioButton*>()) {
    EXPECT_TRUE(b->toolTip().startsWith("Each replicate") || b->toolTip().startsWith("Any mix"));
  }
  for (QWidget* c : w->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                         qobject_cast<QAbstractSpinBox*>(c) ||
                         qobject_cast<QAbstractItemView*>(c) || qobject_cast<QPlainTextEdit*>(c) ||
                         qobject_cast<TreeDrawingView*>(c);
    // Qt's own parts (a spin box's editor, a tab bar's scroll buttons) aside.
    const bool own = !c->objectName().isEmpty() &&
                     !c->parentWidget()->inherits("QAbstractSpinBox") &&
                     !c->parentWidget()->inherits("QTabBar");
    if (control && own) {
      EXPECT_FALSE(c->toolTip().isEmpty()) << c->objectName().toStdString();
    }
  }
  // No name is cut off in the grids.
  auto* input = w->findChild<QTableView*>("inputGrid");
  QFont bold = input->font();
  bold.setBold(true);
  bold.setUnderline(true);
  const QString taxon = input->model()->index(0, 1).data().toString();
  EXPECT_TRUE(taxon.startsWith("A_rather_long"));
  EXPECT_GT(input->columnWidth(1), QFontMetrics(bold).horizontalAdvance(taxon));
  EXPECT_GT(input->columnWidth(0), QFontMetrics(bold).horizontalAdvance("Block_with_a_long_name"));
  EXPECT_EQ(input->columnWidth(2), 64);
  auto* matrix = w->findChild<QTableView*>("matrixGrid");
  const int name = matrix->fontMetrics().horizontalAdvance(taxon);
  EXPECT_GT(matrix->columnWidth(0), name);
  EXPECT_GT(matrix->columnWidth(1), name);
  // Tab follows the page: the methods, their settings, Run, Cancel, the statistics.
  QStringList chain;
  const QStringList order = {"methodButton0", "methodButton4",    "replicates",
                             "taxaLeftOut",   "fragmentsLeftOut", "differentFragments",
                             "runButton",     "cancelButton",     "statistics"};
  QWidget* at = w;
  for (int i = 0; i < 400 && chain.size() < order.size(); ++i, at = at->nextInFocusChain())
    if (order.contains(at->objectName()) && !chain.contains(at->objectName()))
      chain << at->objectName();
  EXPECT_EQ(chain, order);
  EXPECT_TRUE(frame.statusText()->text().contains("A - Nei and Li / Dice, UPGMA"))
      << frame.statusText()->text().toStdString();
}

// Support labels as the window paints them, measured in its font, for 5 to 200 taxa.
TEST(Drawing, SupportLabelsCoverNoLabelOrNameAndFollowThePalette) {
  for (const int taxa : {5, 30, 90, 200}) {
    AnalysisPresenter p;
    p.readTable(randomTable(taxa, 300, static_cast<unsigned>(taxa)));
    p.chooseCoefficient(0);
    p.chooseMethod(taxa % 2 ? TreeMethod::NeighborJoining : TreeMethod::Upgma);
    p.chooseResampling(0);
    p.replicates = 10;
    p.run();
    const TreeDrawing d = referenceTreeDrawing(p.view(), {.separateSupport = true});
    std::vector<std::pair<QRectF, bool>> boxes;  // ink, whether a support label
    for (const auto& t : d.texts) {
      if (t.role == DrawnText::Role::Scale) continue;
      const QFontMetricsF fm(drawingFont(t.size));
      const QString text = toDisplay(t.text);
      double x = t.x;
      if (t.anchor == DrawnText::Anchor::End) x -= fm.horizontalAdvance(text);
      boxes.emplace_back(fm.tightBoundingRect(text).translated(x, t.y),
                         t.role == DrawnText::Role::Support);
    }
    int covered = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i)
      for (std::size_t j = i + 1; j < boxes.size(); ++j)
        if ((boxes[i].second || boxes[j].second) && boxes[i].first.intersects(boxes[j].first))
          ++covered;
    EXPECT_EQ(covered, 0) << taxa << " taxa";
  }
  QPalette dark;
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  const DrawingColours c = drawingColours(dark);
  EXPECT_EQ(c.lines, QColor(230, 230, 230));
  EXPECT_GT(c.support.lightness(), 128);
  EXPECT_LT(drawingColours(QPalette(Qt::white)).support.lightness(), 128);
}

TEST_F(DesktopFixture, TheDrawnTreeStartsFittedToItsPage) {
  AnalysisWindow* w = open(kRestriction);
  w->parentWidget()->resize(900, 620);
  compute(w, 0, true);
  w->pages()->setCurrentIndex(2);
  QApplication::processEvents();
  TreeDrawingView* v = w->referenceTreeDrawing();
  ASSERT_FALSE(v->isEmpty());
  EXPECT_TRUE(v->followsView());
  // Seven taxa fill the page's width (or height), never more.
  const QSize room = v->maximumViewportSize();
  const QSize canvas = v->widget()->size();
  EXPECT_GT(v->zoom(), 1.0);
  EXPECT_LE(canvas.width(), room.width());
  EXPECT_LE(canvas.height(), room.height());
  EXPECT_TRUE(canvas.width() > room.width() * 3 / 4 || canvas.height() > room.height() * 3 / 4);
  v->zoomOut();
  EXPECT_FALSE(v->followsView());
}

// A tree of thousands of taxa as one line: the lists lay out only what is in sight, and show
// what Qt's own drawing of the whole line shows.
TEST(Drawing, LongTextLinesLookAsQtDrawsThem) {
  std::string line = "(";
  for (int k = 0; k < 900; ++k)
    line += "Taxon_" + std::to_string(k) + ":0.0" + std::to_string(k % 97) + ",";
  line += "X);";
  ASSERT_GT(static_cast<qsizetype>(line.size()), LineDelegate::kLongLine);
  QListWidget plain;
  QListWidget* fast = newLineList("fast");
  for (QListWidget* l : {&plain, fast}) {
    l->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    l->resize(400, 60);
    fillListWidget(l, {line});
    l->show();
  }
  QApplication::processEvents();
  EXPECT_NEAR(fast->horizontalScrollBar()->maximum(), plain.horizontalScrollBar()->maximum(),
              plain.horizontalScrollBar()->maximum() * 0.002);
  for (const int at : {0, plain.horizontalScrollBar()->maximum() / 2}) {
    plain.horizontalScrollBar()->setValue(at);
    fast->horizontalScrollBar()->setValue(at);
    QApplication::processEvents();
    const QImage a = plain.viewport()->grab().toImage(), b = fast->viewport()->grab().toImage();
    ASSERT_EQ(a.size(), b.size());
    // Glyphs may sit a fraction of a pixel apart: ink must have ink next to it in the other.
    auto dark = [](const QImage& i, int x, int y) {
      return x >= 0 && x < i.width() && qGray(i.pixel(x, y)) < 128;
    };
    int ink = 0, alone = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        for (const auto& [p, q] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
          if (!dark(*p, x, y)) continue;
          ++ink;
          alone += !dark(*q, x - 1, y) && !dark(*q, x, y) && !dark(*q, x + 1, y);
        }
      }
    EXPECT_GT(ink, 400) << "at " << at;
    EXPECT_LT(alone, ink / 50) << "at " << at;
  }
  delete fast;
}

// Painting only the exposed part leaves the same pixels there as painting the whole drawing.
TEST(Drawing, AnExposedPartLooksAsInTheWholeDrawing) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> length(0.001, 0.1);
  Tree t;
  std::vector<int32_t> open;
  std::vector<Taxon> taxa;
  for (int i = 0; i < 120; ++i) {
    taxa.push_back({Name("Taxon_" + std::to_string(i)), {}});
    open.push_back(t.addLeaf(i, length(gen)));
  }
  while (open.size() > 1) {
    const std::size_t a = gen() % open.size();
    const int32_t na = open[a];
    open.erase(open.begin() + static_cast<std::ptrdiff_t>(a));
    const std::size_t b = gen() % open.size();
    open[b] = t.addInner(na, open[b], open.size() == 1 ? 0.0 : length(gen));
  }
  const TreeDrawing d = drawTree(layoutTree(t, taxa, BranchLengths::Stored));
  for (const double zoom : {1.0, 1.7}) {
    const QSize size(static_cast<int>(d.width * zoom) + 1, static_cast<int>(d.height * zoom) + 1);
    QImage whole(size, QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::white);
    {
      QPainter p(&whole);
      p.scale(zoom, zoom);
      paintTreeDrawing(p, d);
    }
    int differ = 0;
    for (int top = 0; top < size.height(); top += 97)
      for (int left = 0; left < size.width(); left += 131) {
        const QRect tile = QRect(left, top, 131, 97) & whole.rect();
        QImage part(size, QImage::Format_ARGB32_Premultiplied);
        part.fill(Qt::white);
        {
          QPainter p(&part);
          p.setClipRect(tile);
          p.scale(zoom, zoom);
          const double air = 2.0 / zoom;
          paintTreeDrawing(p, d, {},
                           QRectF(tile.left() / zoom - air, tile.top() / zoom - air,
                                  tile.width() / zoom + 2 * air, tile.height() / zoom + 2 * air));
        }
        // The clip's own last column and row are antialiased by Qt either way.
        for (int y = tile.top(); y < tile.bottom(); ++y)
          for (int x = tile.left(); x < tile.right(); ++x)
            differ += part.pixel(x, y) != whole.pixel(x, y);
      }
    EXPECT_EQ(differ, 0) << "zoom " << zoom;
  }
}

}  // namespace
}  // namespace ramovia::ui
