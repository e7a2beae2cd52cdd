// The window's pages at many taxa, each step timed once on the offscreen platform, for
// scripts/bench (which reads the peak memory from /usr/bin/time). Usage:
//   ramovia_window_scale TAXA
// The matrix and the tree are generated, so that no tree builder is timed here.
#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "analysis/session.h"
#include "grid_models.h"
#include "output/grids.h"
#include "output/statistics.h"
#include "output/tree_layout.h"
#include "pages.h"
#include "tree_drawing.h"
#include "tree_view_lines.h"

using namespace ramovia;
using namespace ramovia::ui;

namespace {

struct Clock {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  void report(const char* step) {
    const double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    const double c = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    std::printf("%-58s %9.1f ms wall %9.1f ms cpu\n", step, w * 1e3, c * 1e3);
    std::fflush(stdout);
    *this = Clock();
  }
};

// Leaves joined in random pairs, with random lengths: about as deep as a real tree.
Tree randomTree(int n, std::mt19937& gen) {
  std::uniform_real_distribution<double> length(0.001, 0.1);
  Tree t;
  std::vector<int32_t> open;
  for (int i = 0; i < n; ++i) open.push_back(t.addLeaf(i, length(gen)));
  while (open.size() > 1) {
    auto take = [&] {
      std::uniform_int_distribution<std::size_t> pick(0, open.size() - 1);
      const std::size_t k = pick(gen);
      const int32_t node = open[k];
      open[k] = open.back();
      open.pop_back();
      return node;
    };
    const int32_t a = take(), b = take();
    open.push_back(t.addInner(a, b, open.size() == 0 ? 0.0 : length(gen)));
  }
  return t;
}

// Paints the viewport now, as an expose after scrolling would.
void paintNow(QAbstractScrollArea& area) {
  area.viewport()->repaint();
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int n = argc > 1 ? std::stoi(argv[1]) : 20000;
  std::mt19937 gen(20000);
  std::uniform_real_distribution<double> real(0.0, 1.0);

  Dataset data;
  for (int i = 0; i < n; ++i) data.taxa.push_back({Name("Taxon_" + std::to_string(i + 1)), {}});
  CoefficientMatrix m;
  m.method = TreeMethod::NeighborJoining;
  for (int i = 0; i < n; ++i) m.taxa.push_back(i);
  m.values.reserve(n);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) m.values(i, j) = m.values(j, i) = real(gen);
  std::printf("%d taxa\n", n);

  Clock clock;
  MatrixGrid grid;
  grid.fill(std::make_shared<const CoefficientMatrix>(std::move(m)), data, '.');
  MatrixGridModel model(grid, nullptr);
  MatrixView view;
  view.resize(900, 600);
  view.verticalHeader()->setDefaultSectionSize(20);
  view.setModel(&model);
  model.reload();
  fitMatrixColumns(&view, grid, model.columnCount());
  view.show();
  QApplication::processEvents();
  clock.report("matrix page: fill, fit the columns, show");
  paintNow(view);
  clock.report("matrix page: paint one viewport");
  view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
  view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum() / 2);
  paintNow(view);
  clock.report("matrix page: scroll to the middle, paint");

  const Tree tree = randomTree(n, gen);
  clock = Clock();
  const TreeDrawing drawing =
      drawTree(layoutTree(tree, data.taxa, BranchLengths::Stored), {.separateSupport = true});
  clock.report("tree drawing: layout");
  TreeDrawingView drawn;
  drawn.resize(900, 600);
  drawn.setDrawing(drawing);
  drawn.show();
  QApplication::processEvents();
  clock.report("tree drawing: show");
  paintNow(drawn);
  clock.report("tree drawing: paint one viewport");
  drawn.verticalScrollBar()->setValue(drawn.verticalScrollBar()->maximum() / 2);
  paintNow(drawn);
  clock.report("tree drawing: scroll to the middle, paint");

  QTreeWidget* treeView = newTreeView("treeView");
  treeView->resize(300, 600);
  fillTreeView(treeView, treeViewLines(tree, data.taxa));
  treeView->show();
  QApplication::processEvents();
  clock.report("tree view: fill, show");
  treeView->verticalScrollBar()->setValue(treeView->verticalScrollBar()->maximum() / 2);
  paintNow(*treeView);
  clock.report("tree view: scroll to the middle, paint");

  QListWidget* list = newLineList("referenceTreeList");
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->resize(900, 60);
  fillListWidget(list, {referenceTreeText(tree, TreeMethod::NeighborJoining, data.taxa)});
  list->show();
  QApplication::processEvents();
  clock.report("tree text: fill, show");
  list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum() / 2);
  paintNow(*list);
  clock.report("tree text: scroll to the middle, paint");
  delete list;
  delete treeView;
  return 0;
}
