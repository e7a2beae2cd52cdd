#include "pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/resampling.h"
#include "distance/coefficient.h"
#include "grid_models.h"
#include "hints.h"
#include "line_delegate.h"
#include "tree_drawing.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

class PlainTreeWidget : public QTreeWidget {
 protected:
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
};

QProgressBar* newProgressBar(const char* name) {
  auto* bar = new QProgressBar;
  bar->setObjectName(name);
  bar->setRange(0, 100);
  bar->setTextVisible(false);
  bar->hide();
  return bar;
}

QVBoxLayout* pageLayout(QWidget* page) {
  auto* l = new QVBoxLayout(page);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  return l;
}

// The label above a tree list, with its list.
QWidget* labelledList(const char* labelName, const char* text, QListWidget* list) {
  auto* panel = new QWidget;
  auto* label = new QLabel(text);
  label->setObjectName(labelName);
  label->setBuddy(list);
  auto* l = new QVBoxLayout(panel);
  l->setContentsMargins(6, 4, 6, 4);
  l->setSpacing(2);
  l->addWidget(label);
  l->addWidget(list);
  return panel;
}

// The tree view with the drawing beside it, the drawing taking the room.
QSplitter* besideDrawing(QWidget* view, TreeDrawingView* drawing, const char* name) {
  auto* beside = new QSplitter(Qt::Horizontal);
  beside->setObjectName(name);
  beside->addWidget(view);
  beside->addWidget(drawing);
  beside->setChildrenCollapsible(false);
  beside->setStretchFactor(0, 1);
  beside->setStretchFactor(1, 3);
  // The drawing takes three quarters from the start, not what the tree view's hint leaves it.
  beside->setSizes({250, 750});
  return beside;
}

// A captioned chooser with a legend taking the rest of the row.
QHBoxLayout* chooserRow(const char* caption, QComboBox* box, QLabel* legend, int topMargin) {
  auto* row = new QHBoxLayout;
  row->setContentsMargins(6, topMargin, 6, 2);
  auto* label = new QLabel(caption);
  label->setBuddy(box);
  row->addWidget(label);
  row->addWidget(box);
  row->addWidget(legend, 1);
  return row;
}

}  // namespace

void fillTreeView(QTreeWidget* view, const std::vector<TreeViewLine>& captions) {
  view->clear();
  std::vector<QTreeWidgetItem*> path;
  for (const auto& c : captions) {
    const auto depth = static_cast<std::size_t>(std::max(c.depth, 0));
    QTreeWidgetItem* parent = depth > 0 && depth <= path.size() ? path[depth - 1] : nullptr;
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(view);
    item->setText(0, toDisplay(c.caption));
    path.resize(std::min(depth, path.size()));
    path.push_back(item);
  }
  view->expandAll();
}

QListWidget* newLineList(const char* name) {
  auto* list = new QListWidget;
  list->setObjectName(name);
  list->setItemDelegate(new LineDelegate(list));
  return list;
}

void fillListWidget(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const auto& l : lines) list->addItem(toDisplay(l));
}

QTreeWidget* newTreeView(const char* name) {
  auto* view = new PlainTreeWidget;
  view->setObjectName(name);
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setIndentation(20);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  // Deep trees scroll sideways rather than cutting their names off.
  view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  view->header()->setStretchLastSection(false);
  view->setTextElideMode(Qt::ElideNone);
  return view;
}

InputPage::InputPage() {
  setObjectName("inputPage");
  inputGrid = new QTableView;
  inputGrid->setObjectName("inputGrid");
  inputGrid->horizontalHeader()->hide();
  inputGrid->verticalHeader()->hide();
  inputGrid->horizontalHeader()->setMinimumSectionSize(1);
  inputGrid->verticalHeader()->setMinimumSectionSize(1);
  inputGrid->horizontalHeader()->setDefaultSectionSize(64);
  inputGrid->verticalHeader()->setDefaultSectionSize(18);
  inputGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  inputGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  inputGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  inputGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  inputGrid->setWordWrap(false);
  inputGrid->setContextMenuPolicy(Qt::CustomContextMenu);
  inputGrid->setToolTip(
      "The table as read: 1 present, 0 absent, n/a no data in the block. "
      "Right-click or Ctrl+V pastes a table copied from a spreadsheet.");
  pageLayout(this)->addWidget(inputGrid);
}

MatrixPage::MatrixPage() {
  setObjectName("matrixPage");
  coefficientBox = new QComboBox;
  coefficientBox->setObjectName("coefficientBox");
  coefficientBox->setMaxVisibleItems(12);
  coefficientBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  coefficientBox->setPlaceholderText("Choose a coefficient");
  for (const CoefficientInfo& c : allCoefficients()) {
    coefficientBox->addItem(toDisplay(c.label));
    coefficientBox->setItemData(coefficientBox->count() - 1, toDisplay(coefficientHint(c.id)),
                                Qt::ToolTipRole);
  }
  coefficientBox->setCurrentIndex(-1);
  coefficientBox->setToolTip(
      "The similarity or distance of the matrix. a: markers both taxa show; b, c: those only one "
      "of them shows; d: those neither shows. Jx, Jy, Jxy: Nei's identities over the loci.");
  auto* coefficientLabel = new QLabel("&Coefficient");
  coefficientLabel->setObjectName("coefficientLabel");
  coefficientLabel->setBuddy(coefficientBox);

  treeMethodGroup = new QGroupBox("Tree-construction method");
  treeMethodGroup->setObjectName("treeMethodGroup");
  upgmaButton = new QRadioButton("UPGMA");
  upgmaButton->setObjectName("upgmaButton");
  neighborJoiningButton = new QRadioButton("Neighbor-joining");
  neighborJoiningButton->setObjectName("neighborJoiningButton");
  upgmaButton->setToolTip(
      "UPGMA: joins the two closest clusters by their mean value; a rooted tree with heights");
  neighborJoiningButton->setToolTip(
      "Neighbor-joining: a tree with branch lengths from distances, rooted at the last join");
  auto* ml = new QHBoxLayout(treeMethodGroup);
  ml->addWidget(upgmaButton);
  ml->addWidget(neighborJoiningButton);

  matrixProgress = newProgressBar("matrixProgress");

  auto* panel = new QWidget;
  auto* pl = new QVBoxLayout(panel);
  pl->setContentsMargins(6, 4, 6, 2);
  auto* row = new QHBoxLayout;
  auto* coefficientColumn = new QVBoxLayout;
  coefficientColumn->addWidget(coefficientLabel);
  coefficientColumn->addWidget(coefficientBox);
  coefficientColumn->addStretch();
  row->addLayout(coefficientColumn);
  row->addWidget(treeMethodGroup);
  row->addStretch();
  pl->addLayout(row);
  pl->addWidget(matrixProgress);

  matrixGrid = new MatrixView;
  matrixGrid->setObjectName("matrixGrid");
  matrixGrid->horizontalHeader()->hide();
  matrixGrid->verticalHeader()->hide();
  matrixGrid->horizontalHeader()->setMinimumSectionSize(1);
  matrixGrid->verticalHeader()->setMinimumSectionSize(1);
  // 48 pixels, or what a cell such as 0.00000 needs in the font at hand.
  matrixGrid->horizontalHeader()->setDefaultSectionSize(
      std::max(48, matrixGrid->fontMetrics().horizontalAdvance("0.00000") + 8));
  matrixGrid->setTextElideMode(Qt::ElideNone);
  matrixGrid->verticalHeader()->setDefaultSectionSize(20);
  matrixGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  matrixGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  matrixGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  matrixGrid->setWordWrap(false);
  matrixGrid->setContextMenuPolicy(Qt::CustomContextMenu);
  matrixGrid->setToolTip(
      "The matrix. Edit cells (type or F2), then double-click to build a tree "
      "from the edited values. Ctrl+C copies it for a spreadsheet.");

  auto* l = pageLayout(this);
  l->addWidget(panel);
  l->addWidget(matrixGrid, 1);
}

ReferenceTreePage::ReferenceTreePage() {
  setObjectName("referenceTreePage");
  referenceTreeList = newLineList("referenceTreeList");
  referenceTreeList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  referenceTreeList->setContextMenuPolicy(Qt::CustomContextMenu);
  // One line of text and a scroll bar under it.
  referenceTreeList->setMaximumHeight(referenceTreeList->fontMetrics().height() * 2 + 12);
  referenceTreeList->setToolTip("The reference tree as text; Ctrl+C copies it");
  referenceTreeView = newTreeView("referenceTreeView");
  referenceTreeView->setToolTip(
      "The reference tree, with the support of each clade after a run; "
      "Ctrl+C copies it as text");
  referenceTreeDrawing = new TreeDrawingView;
  referenceTreeDrawing->setObjectName("referenceTreeDrawing");
  supportBox = new QComboBox;
  supportBox->setObjectName("supportBox");
  supportBox->addItems({"Rooted clades", "Splits", "Transfer"});
  supportBox->setToolTip(
      "Which support the drawing shows: clades as rooted, splits whatever the root, "
      "or transfer support (how close the nearest split of each replicate comes)");
  supportLegend = new QLabel;
  supportLegend->setObjectName("supportLegend");
  auto* choice = chooserRow("Support in the drawing:", supportBox, supportLegend, 2);
  auto* l = pageLayout(this);
  l->addWidget(labelledList(
      "referenceTreeLabel",
      "Text representation of the reference tree ( right-click to copy into clipboard ) ",
      referenceTreeList));
  l->addLayout(choice);
  l->addWidget(besideDrawing(referenceTreeView, referenceTreeDrawing, "referenceTreeSplitter"), 1);
}

ConsensusPage::ConsensusPage() {
  setObjectName("consensusPage");
  ruleBox = new QComboBox;
  ruleBox->setObjectName("ruleBox");
  ruleBox->addItems({"Extended majority rule", "Majority rule", "Strict"});
  ruleBox->setToolTip(
      "Which splits of the replicate trees the consensus keeps: the majority and then every "
      "compatible one, those in more than half, or those in all");
  consensusLegend = new QLabel;
  consensusLegend->setObjectName("consensusLegend");
  consensusDrawing = new TreeDrawingView;
  consensusDrawing->setObjectName("consensusDrawing");
  auto* choice = chooserRow("Consensus:", ruleBox, consensusLegend, 4);
  auto* l = pageLayout(this);
  l->addLayout(choice);
  l->addWidget(consensusDrawing, 1);
}

TreesPage::TreesPage() {
  setObjectName("treesPage");
  treeList = newLineList("treeList");
  treeList->setContextMenuPolicy(Qt::CustomContextMenu);
  treeList->setToolTip(
      "The distinct trees of the last run, the most frequent first: click one to "
      "draw it; Ctrl+C copies it");
  treeView = newTreeView("treeView");
  treeView->setToolTip("The tree selected in the list; Ctrl+C copies it as text");
  treesDrawing = new TreeDrawingView;
  treesDrawing->setObjectName("treesDrawing");
  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->setObjectName("treesPageSplitter");
  splitter->addWidget(labelledList(
      "treesLabel", "Text representation of the tree ( right-click to copy into clipboard ) ",
      treeList));
  splitter->addWidget(besideDrawing(treeView, treesDrawing, "treesSplitter"));
  splitter->setChildrenCollapsible(false);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 4);
  pageLayout(this)->addWidget(splitter);
}

ResamplingPage::ResamplingPage() {
  setObjectName("resamplingPage");
  methodGroup = new QGroupBox("Method");
  methodGroup->setObjectName("methodGroup");
  methodLayout_ = new QGridLayout(methodGroup);
  methodButtons = new QButtonGroup(this);

  auto spin = [](const char* name, int high) {
    auto* s = new QSpinBox;
    s->setObjectName(name);
    s->setRange(0, high);
    s->setValue(0);
    s->setEnabled(false);
    return s;
  };
  replicates = spin("replicates", kMaxReplicates);
  replicates->setToolTip("How many replicates (trees) the run builds");
  replicates->setRange(kMinReplicates, kMaxReplicates);
  replicates->setValue(kMinReplicates);
  taxaLeftOut = spin("taxaLeftOut", kMaxTaxaLeftOutControl);
  taxaLeftOut->setToolTip("Taxa left out at random in each replicate");
  fragmentsLeftOut = spin("fragmentsLeftOut", kMaxFragmentsLeftOutControl);
  fragmentsLeftOut->setToolTip("Markers left out in each replicate");
  differentFragments = new QCheckBox("Different fragments");
  differentFragments->setObjectName("differentFragments");
  differentFragments->setEnabled(false);
  resampleLoci = new QCheckBox("Resample whole loci");
  resampleLoci->setObjectName("resampleLoci");
  resampleLoci->setToolTip("Allele frequencies: draw whole loci instead of the alleles in each");
  differentFragments->setToolTip("Draw the markers without replacement, each at most once");
  runButton = new QPushButton("Run");
  runButton->setObjectName("runButton");
  runButton->setEnabled(false);
  runButton->setToolTip("Build the replicates and count their trees (F5)");
  cancelButton = new QPushButton("Cancel");
  cancelButton->setObjectName("cancelButton");
  cancelButton->setToolTip("Stop the run and keep the trees built so far (Esc)");
  cancelButton->hide();

  auto* controls = new QHBoxLayout;
  auto labelled = [&](const char* text, QSpinBox* box) {
    auto* label = new QLabel(text);
    label->setBuddy(box);
    controls->addWidget(label);
    controls->addWidget(box);
    controls->addSpacing(8);
  };
  labelled("Repetition count", replicates);
  labelled("Taxon count", taxaLeftOut);
  labelled("Fragment count", fragmentsLeftOut);
  controls->addWidget(differentFragments);
  controls->addWidget(resampleLoci);
  controls->addStretch();
  controls->addWidget(runButton);
  controls->addWidget(cancelButton);
  auto* panel = new QWidget;
  auto* pl = new QVBoxLayout(panel);
  pl->setContentsMargins(6, 2, 6, 2);
  pl->setSpacing(2);
  pl->addWidget(methodGroup);
  pl->addLayout(controls);

  statistics = new QPlainTextEdit;
  statistics->setObjectName("statistics");
  statistics->setReadOnly(true);
  unrootedCount = new QLabel;
  unrootedCount->setObjectName("unrootedCount");
  statistics->setToolTip("The result of the last run");
  progressLabel = new QLabel;
  progressLabel->setObjectName("progressLabel");
  progressLabel->hide();
  runProgress = newProgressBar("runProgress");
  runProgress->setTextVisible(true);
  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(6, 0, 6, 2);
  bottom->addWidget(progressLabel);
  bottom->addWidget(runProgress, 1);

  auto* l = pageLayout(this);
  l->addWidget(panel);
  l->addWidget(statistics, 1);
  l->addWidget(unrootedCount);
  l->addLayout(bottom);
}

void ResamplingPage::setMethods(const QStringList& labels, int checked) {
  for (QAbstractButton* b : methodButtons->buttons()) {
    methodButtons->removeButton(b);
    delete b;
  }
  QWidget* previous = nullptr;
  for (int i = 0; i < labels.size(); ++i) {
    auto* b = new QRadioButton(labels[i]);
    b->setObjectName(QString("methodButton%1").arg(i));
    b->setToolTip(toDisplay(resamplingHint(resamplingAt(i))));
    methodButtons->addButton(b, i);
    methodLayout_->addWidget(b, 0, i);
    if (checked == i) b->setChecked(true);
    if (previous) setTabOrder(previous, b);
    previous = b;
  }
  // Tab follows the page: the methods, then the settings, Run, Cancel and the statistics.
  for (QWidget* next : {static_cast<QWidget*>(replicates), static_cast<QWidget*>(taxaLeftOut),
                        static_cast<QWidget*>(fragmentsLeftOut),
                        static_cast<QWidget*>(differentFragments), static_cast<QWidget*>(runButton),
                        static_cast<QWidget*>(cancelButton), static_cast<QWidget*>(statistics)}) {
    if (previous) setTabOrder(previous, next);
    previous = next;
  }
}

}  // namespace ramovia::ui
