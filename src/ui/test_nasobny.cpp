#include "test_nasobny.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

#include "grid_models.h"
#include "resampling/exports.h"
#include "tree/tree_view.h"
#include "tree_drawing.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

// Started computations of all windows (at most one: the generator is shared).
int g_running = 0;

void FillTree(QTreeWidget* view, const std::vector<TreeCaption>& captions) {
  view->clear();
  std::vector<QTreeWidgetItem*> path;
  for (const auto& c : captions) {
    const auto depth = static_cast<std::size_t>(std::max(c.depth, 0));
    QTreeWidgetItem* parent = depth > 0 && depth <= path.size() ? path[depth - 1] : nullptr;
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(view);
    item->setText(0, Show(c.caption));
    path.resize(std::min(depth, path.size()));
    path.push_back(item);
  }
  view->expandAll();
}

void FillList(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const auto& l : lines) list->addItem(Show(l));
}

// A tree view without expand buttons: the trees are always shown fully expanded.
class PlainTreeWidget : public QTreeWidget {
 protected:
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
};

QTreeWidget* NewTreeView(const char* name) {
  auto* view = new PlainTreeWidget;
  view->setObjectName(name);
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setIndentation(20);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  return view;
}

QWidget* Panel(int height) {
  auto* panel = new QWidget;
  panel->setFixedHeight(height);
  return panel;
}

}  // namespace

// Progress of a computation on the worker thread: the bar moves through queued calls, and a
// Cancel pressed meanwhile reaches the data set exactly where the core lets messages run.
class TfrmNasobnyTest::Progress : public ProgressSink {
 public:
  Progress(QProgressBar* bar, std::atomic<bool>& cancel, TEnzym& enzym)
      : bar_(bar), cancel_(cancel), enzym_(enzym) {}
  void SetRange(int minimum, int maximum) override {
    QProgressBar* bar = bar_;
    QMetaObject::invokeMethod(
        bar, [bar, minimum, maximum] { bar->setRange(minimum, maximum); }, Qt::QueuedConnection);
  }
  void SetPosition(int position) override {
    QProgressBar* bar = bar_;
    QMetaObject::invokeMethod(
        bar, [bar, position] { bar->setValue(position); }, Qt::QueuedConnection);
  }
  void ProcessMessages() override {
    if (cancel_.exchange(false)) enzym_.BreakRandomTrees();
  }

 private:
  QProgressBar* bar_;
  std::atomic<bool>& cancel_;
  TEnzym& enzym_;
};

TfrmNasobnyTest::TfrmNasobnyTest(QWidget* parent)
    : QWidget(parent), analysis_(LocaleDecimalSeparator()) {
  setObjectName("frmNasobnyTest");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(723, 488);
  setWindowTitle(Show(analysis_.Caption));

  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pages_);

  BuildMenus();
  BuildDataPage();
  BuildMatrixPage();
  BuildRefTreePage();
  BuildTreesPage();
  BuildResamplingPage();
  pages_->setTabVisible(pages_->indexOf(tsheetTrees), false);
}

TfrmNasobnyTest::~TfrmNasobnyTest() {
  if (worker_) {
    // Only reached when the process ends under a run: stop it and wait, since it uses our data.
    cancelRequested_ = true;
    analysis_.Enzym->BreakRandomTrees();
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    if (job_ != Job::None) --g_running;
  }
}

bool TfrmNasobnyTest::AnyBusy() { return g_running > 0; }

void TfrmNasobnyTest::BuildMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Copy1 = PopupMenu1->addAction("&Copy");
  Copy1->setObjectName("Copy1");
  Copy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  Copy1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  Copy1->setEnabled(false);
  Paste1 = PopupMenu1->addAction("&Paste");
  Paste1->setObjectName("Paste1");
  Paste1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
  Paste1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(Paste1, &QAction::triggered, this, [this] { Paste1Click(); });
  addAction(Copy1);
  addAction(Paste1);
  // The shortcut works exactly when the menu entry would be enabled.
  auto updatePaste = [this] {
    const QMimeData* m = QApplication::clipboard()->mimeData();
    Paste1->setEnabled(m && m->hasText());
  };
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, updatePaste);
  updatePaste();
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    PopupMenu1Popup();
    PopupMenu1->exec(mapToGlobal(p));
  });

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  CopyTree1 = PopupMenu2->addAction("&Copy");
  CopyTree1->setObjectName("CopyTree1");
  CopyTree1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  CopyTree1->setShortcutContext(Qt::WidgetShortcut);
  connect(CopyTree1, &QAction::triggered, this, [this] { CopyTree1Click(); });

  PopupMenu3 = new QMenu(this);
  PopupMenu3->setObjectName("PopupMenu3");
  Copy2 = PopupMenu3->addAction("&Copy");
  Copy2->setObjectName("Copy2");
  Copy2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  Copy2->setShortcutContext(Qt::WidgetShortcut);
  connect(Copy2, &QAction::triggered, this, [this] { Copy2Click(); });
}

void TfrmNasobnyTest::BuildDataPage() {
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  sgrdDruhy = new QTableView;
  sgrdDruhy->setObjectName("sgrdDruhy");
  inputModel_ = new InputGridModel(analysis_.Input, this);
  sgrdDruhy->setModel(inputModel_);
  sgrdDruhy->setItemDelegate(new InputGridDelegate(sgrdDruhy));
  sgrdDruhy->horizontalHeader()->hide();
  sgrdDruhy->verticalHeader()->hide();
  sgrdDruhy->horizontalHeader()->setMinimumSectionSize(1);
  sgrdDruhy->verticalHeader()->setMinimumSectionSize(1);
  sgrdDruhy->horizontalHeader()->setDefaultSectionSize(64);
  sgrdDruhy->verticalHeader()->setDefaultSectionSize(18);
  sgrdDruhy->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  sgrdDruhy->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  sgrdDruhy->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgrdDruhy->setSelectionMode(QAbstractItemView::ContiguousSelection);
  sgrdDruhy->setWordWrap(false);
  sgrdDruhy->setContextMenuPolicy(Qt::CustomContextMenu);
  sgrdDruhy->installEventFilter(this);
  connect(sgrdDruhy, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    PopupMenu1Popup();
    PopupMenu1->exec(sgrdDruhy->viewport()->mapToGlobal(p));
  });
  auto* l = new QVBoxLayout(TabSheet1);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(sgrdDruhy);
  pages_->addTab(TabSheet1, "Data input");
  AfterReading();
}

void TfrmNasobnyTest::BuildMatrixPage() {
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName("TabSheet3");
  auto* panel = Panel(75);
  ComboBox1 = new QComboBox;
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setMaxVisibleItems(12);
  for (const auto& item : Analysis::CoefficientItems()) ComboBox1->addItem(Show(item));
  ComboBox1->setCurrentIndex(-1);
  ComboBox1->setMinimumWidth(240);
  connect(ComboBox1, &QComboBox::activated, this, [this](int i) { ComboBox1Change(i); });

  auto* method = new QGroupBox("Tree-construction method");
  method->setObjectName("GroupBox1");
  RadioButton1 = new QRadioButton("UPGMA");
  RadioButton1->setObjectName("RadioButton1");
  RadioButton2 = new QRadioButton("Neighbor-joining");
  RadioButton2->setObjectName("RadioButton2");
  connect(RadioButton1, &QRadioButton::clicked, this, [this] { RadioButton1Click(); });
  connect(RadioButton2, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
  auto* ml = new QHBoxLayout(method);
  ml->setContentsMargins(8, 2, 8, 2);
  ml->addWidget(RadioButton1);
  ml->addWidget(RadioButton2);

  ProgressBar2 = new QProgressBar;
  ProgressBar2->setObjectName("ProgressBar2");
  ProgressBar2->setRange(0, 100);
  ProgressBar2->setMaximumHeight(16);
  ProgressBar2->setTextVisible(false);
  ProgressBar2->hide();

  auto* pl = new QVBoxLayout(panel);
  pl->setContentsMargins(6, 4, 6, 2);
  auto* row = new QHBoxLayout;
  row->addWidget(ComboBox1, 0, Qt::AlignTop);
  row->addSpacing(12);
  row->addWidget(method);
  row->addStretch();
  pl->addLayout(row);
  pl->addStretch();
  pl->addWidget(ProgressBar2);

  sgrdShody = new MatrixView;
  sgrdShody->setObjectName("sgrdShody");
  matrixModel_ = new MatrixGridModel(analysis_.Matrix, this);
  sgrdShody->setModel(matrixModel_);
  sgrdShody->horizontalHeader()->hide();
  sgrdShody->verticalHeader()->hide();
  sgrdShody->horizontalHeader()->setMinimumSectionSize(1);
  sgrdShody->verticalHeader()->setMinimumSectionSize(1);
  // 48 pixels, or what a cell such as 0.00000 needs in the font at hand.
  sgrdShody->horizontalHeader()->setDefaultSectionSize(
      std::max(48, sgrdShody->fontMetrics().horizontalAdvance("0.00000") + 8));
  sgrdShody->setTextElideMode(Qt::ElideNone);
  sgrdShody->verticalHeader()->setDefaultSectionSize(20);
  sgrdShody->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  sgrdShody->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  sgrdShody->setSelectionMode(QAbstractItemView::ContiguousSelection);
  sgrdShody->setWordWrap(false);
  // A double click reads the grid back; editing starts by typing or F2.
  sgrdShody->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                             QAbstractItemView::SelectedClicked);
  sgrdShody->setContextMenuPolicy(Qt::CustomContextMenu);
  sgrdShody->addAction(Copy2);
  sgrdShody->installEventFilter(this);
  connect(sgrdShody, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    PopupMenu3->exec(sgrdShody->viewport()->mapToGlobal(p));
  });
  connect(sgrdShody, &MatrixView::DoubleClicked, this, [this] { sgrdShodyDblClick(); });

  auto* l = new QVBoxLayout(TabSheet3);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  l->addWidget(panel);
  l->addWidget(sgrdShody);
  pages_->addTab(TabSheet3, "Distance/similarity matrix");
}

void TfrmNasobnyTest::BuildRefTreePage() {
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  auto* panel = new QWidget;
  panel->setMinimumHeight(53);
  auto* label = new QLabel(
      "Text representation of the reference tree ( right-click to copy into clipboard ) ");
  label->setObjectName("Label1");
  lboxRefTree = new QListWidget;
  lboxRefTree->setObjectName("lboxRefTree");
  lboxRefTree->setFixedHeight(40);
  lboxRefTree->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  lboxRefTree->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* pl = new QVBoxLayout(panel);
  pl->setContentsMargins(6, 4, 6, 4);
  pl->setSpacing(2);
  pl->addWidget(label);
  pl->addWidget(lboxRefTree);
  tviewRefTree = NewTreeView("tviewRefTree");
  drawRefTree_ = new TreeDrawingView;
  drawRefTree_->setObjectName("drawRefTree");
  AttachDrawingMenu(drawRefTree_);
  auto* beside = BesideDrawing(tviewRefTree, drawRefTree_, "RefTreeSplitter");
  auto* l = new QVBoxLayout(TabSheet2);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  l->addWidget(panel);
  l->addWidget(beside, 1);
  AttachCopyTreeMenu({lboxRefTree, tviewRefTree});
  pages_->addTab(TabSheet2, "Reference tree");
}

void TfrmNasobnyTest::BuildTreesPage() {
  TabSheet4 = new QWidget;
  TabSheet4->setObjectName("TabSheet4");
  auto* panel = new QWidget;
  auto* label =
      new QLabel("Text representation of the tree ( right-click to copy into clipboard ) ");
  label->setObjectName("Label2");
  lboxTrees = new QListWidget;
  lboxTrees->setObjectName("lboxTrees");
  lboxTrees->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lboxTrees, &QListWidget::itemClicked, this, [this] { lboxTreesClick(); });
  auto* pl = new QVBoxLayout(panel);
  pl->setContentsMargins(6, 4, 6, 4);
  pl->setSpacing(2);
  pl->addWidget(label);
  pl->addWidget(lboxTrees);
  TreeView = NewTreeView("TreeView");
  drawTrees_ = new TreeDrawingView;
  drawTrees_->setObjectName("drawTrees");
  AttachDrawingMenu(drawTrees_);
  auto* beside = BesideDrawing(TreeView, drawTrees_, "TreesSplitter");
  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->setObjectName("Splitter1");
  splitter->addWidget(panel);
  splitter->addWidget(beside);
  splitter->setChildrenCollapsible(false);
  splitter->setSizes({106, 382});
  auto* l = new QVBoxLayout(TabSheet4);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(splitter);
  AttachCopyTreeMenu({lboxTrees, TreeView});
  pages_->addTab(TabSheet4, "Trees");
}

void TfrmNasobnyTest::BuildResamplingPage() {
  tsheetTrees = new QWidget;
  tsheetTrees->setObjectName("tsheetTrees");
  auto* panel = new QWidget;
  panel->setMinimumHeight(81);
  rdgMethod = new QGroupBox("Method");
  rdgMethod->setObjectName("rdgMethod");
  methodLayout_ = new QGridLayout(rdgMethod);
  methodLayout_->setContentsMargins(8, 2, 8, 2);
  methodButtons_ = new QButtonGroup(this);
  connect(methodButtons_, &QButtonGroup::idClicked, this, [this](int id) { rdgMethodClick(id); });
  RebuildMethods();

  auto spin = [](const char* name, int low, int high, int value) {
    auto* s = new QSpinBox;
    s->setObjectName(name);
    s->setRange(low, high);
    s->setValue(value);
    s->setEnabled(false);
    return s;
  };
  editRepeat = spin("editRepeat", 1, 10000, 1);
  editVynechat = spin("editVynechat", 0, 5, 0);
  editPocet = spin("editPocet", 0, 100, 0);
  chkbDifferent = new QCheckBox("Different fragments");
  chkbDifferent->setObjectName("chkbDifferent");
  chkbDifferent->setEnabled(false);
  btnRun = new QPushButton("Run");
  btnRun->setObjectName("btnRun");
  btnRun->setEnabled(false);
  btnCancel = new QPushButton("Cancel");
  btnCancel->setObjectName("btnCancel");
  btnCancel->hide();
  connect(btnRun, &QPushButton::clicked, this, [this] { btnRunClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

  auto* controls = new QHBoxLayout;
  auto labelled = [&](const char* text, QSpinBox* box) {
    auto* label = new QLabel(text);
    label->setBuddy(box);
    controls->addWidget(label);
    controls->addWidget(box);
    controls->addSpacing(8);
  };
  labelled("Repetition count", editRepeat);
  labelled("Taxon count", editVynechat);
  labelled("Fragment count", editPocet);
  controls->addWidget(chkbDifferent);
  controls->addStretch();
  controls->addWidget(btnRun);
  controls->addWidget(btnCancel);
  auto* pl = new QVBoxLayout(panel);
  pl->setContentsMargins(6, 2, 6, 2);
  pl->setSpacing(2);
  pl->addWidget(rdgMethod);
  pl->addLayout(controls);

  memoStats = new QPlainTextEdit;
  memoStats->setObjectName("memoStats");
  memoStats->setReadOnly(true);
  lblAkce = new QLabel;
  lblAkce->setObjectName("lblAkce");
  lblAkce->hide();
  ProgressBar1 = new QProgressBar;
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setMaximumHeight(16);
  ProgressBar1->hide();
  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(6, 0, 6, 2);
  bottom->addWidget(lblAkce);
  bottom->addWidget(ProgressBar1, 1);

  auto* l = new QVBoxLayout(tsheetTrees);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  l->addWidget(panel);
  l->addWidget(memoStats, 1);
  l->addLayout(bottom);
  pages_->addTab(tsheetTrees, "Resampling methods");
}

void TfrmNasobnyTest::SetCaption(const std::string& caption) {
  analysis_.Caption = caption;
  analysis_.SourceName = caption;
  setWindowTitle(Show(caption));
}

void TfrmNasobnyTest::GetFromText(std::string_view text) {
  if (RefuseWhileBusy()) return;
  // The core fills the input grid after a failed reading too: show what was read.
  try {
    analysis_.GetFromText(text);
  } catch (...) {
    AfterReading();
    throw;
  }
  AfterReading();
  if (!analysis_.Warnings.empty()) {
    QString all;
    for (const auto& w : analysis_.Warnings) all += (all.isEmpty() ? "" : "\n") + Show(w);
    ShowMessage(this, all);
  }
}

void TfrmNasobnyTest::AfterReading() {
  setWindowTitle(Show(analysis_.Caption));
  drawnTreeLine_ = -1;
  ShowDrawings();
  inputModel_->Reload();
  sgrdDruhy->horizontalHeader()->resizeSection(0, 116);
  if (methodButtons_) RebuildMethods();
}

void TfrmNasobnyTest::RebuildMethods() {
  for (QAbstractButton* b : methodButtons_->buttons()) {
    methodButtons_->removeButton(b);
    delete b;
  }
  const auto& methods = analysis_.Methods;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    auto* b = new QRadioButton(Show(methods[i]));
    b->setObjectName(QString("rdgMethod%1").arg(i));
    methodButtons_->addButton(b, static_cast<int>(i));
    methodLayout_->addWidget(b, 0, static_cast<int>(i));
    if (analysis_.Method == static_cast<int>(i)) b->setChecked(true);
  }
}

void TfrmNasobnyTest::ApplyMethodControls() {
  const bool chosen = analysis_.Method >= 0;
  editRepeat->setEnabled(chosen);
  btnRun->setEnabled(chosen);
  if (!chosen) {
    editVynechat->setEnabled(false);
    editPocet->setEnabled(false);
    chkbDifferent->setEnabled(false);
    return;
  }
  const Analysis::MethodControls& m = Analysis::MethodTable(analysis_.Method);
  editVynechat->setEnabled(m.taxonEnabled);
  editPocet->setEnabled(m.fragmentEnabled);
  chkbDifferent->setEnabled(m.differentEnabled);
  editVynechat->setValue(analysis_.TaxaLeftOut);
  editPocet->setValue(analysis_.FragmentsLeftOut);
  chkbDifferent->setChecked(analysis_.Different);
}

void TfrmNasobnyTest::RefreshResults() {
  matrixModel_->SetBlocked(false);
  matrixModel_->Reload();
  FillList(lboxRefTree, analysis_.RefTreeLines);
  FillTree(tviewRefTree, analysis_.RefTreeView);
  pages_->setTabVisible(pages_->indexOf(tsheetTrees), analysis_.ResamplingVisible);
  FillList(lboxTrees, analysis_.TreeLines);
  FillTree(TreeView, analysis_.TreeView);
  drawnTreeLine_ = -1;  // the list is new: its lines are other trees
  ShowDrawings();
  QString memo;
  for (const auto& line : analysis_.MemoLines) memo += Show(line) + "\n";
  memoStats->setPlainText(memo);
}

bool TfrmNasobnyTest::RefuseWhileBusy() {
  if (IsBusy()) {
    ShowMessage(this, "A computation is running; press Cancel or wait for it to end.");
    return true;
  }
  if (AnyBusy()) {
    ShowMessage(this, "Another analysis window is computing; wait for it to end.");
    return true;
  }
  return false;
}

void TfrmNasobnyTest::SetControlsForJob(bool running) {
  ComboBox1->setEnabled(!running);
  RadioButton1->setEnabled(!running);
  RadioButton2->setEnabled(!running);
  Paste1->setEnabled(!running && QApplication::clipboard()->mimeData() &&
                     QApplication::clipboard()->mimeData()->hasText());
  rdgMethod->setEnabled(!running);
  if (running) {
    for (QWidget* w : {static_cast<QWidget*>(editRepeat), static_cast<QWidget*>(editVynechat),
                       static_cast<QWidget*>(editPocet), static_cast<QWidget*>(chkbDifferent),
                       static_cast<QWidget*>(btnRun)})
      w->setEnabled(false);
  } else {
    ApplyMethodControls();
  }
  sgrdShody->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                     : QAbstractItemView::EditKeyPressed |
                                           QAbstractItemView::AnyKeyPressed |
                                           QAbstractItemView::SelectedClicked);
}

void TfrmNasobnyTest::StartJob(Job job, std::function<void(ProgressSink*)> work) {
  sgrdShody->CommitOpenEditor();
  job_ = job;
  ++g_running;
  jobError_.clear();
  jobFailed_ = false;
  cancelRequested_ = false;
  QProgressBar* bar = job == Job::Matrix ? ProgressBar2 : ProgressBar1;
  progress_ = std::make_unique<Progress>(bar, cancelRequested_, *analysis_.Enzym);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SetControlsForJob(true);
  if (job == Job::Matrix) {
    // The grid is rewritten on the worker; show nothing of it meanwhile.
    matrixModel_->SetBlocked(true);
    ProgressBar2->setValue(0);
    ProgressBar2->show();
  } else {
    lblAkce->setText("Generating trees ...");
    lblAkce->show();
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    btnCancel->show();
  }
  ProgressSink* sink = progress_.get();
  worker_ = QThread::create([this, work = std::move(work), sink] {
    try {
      work(sink);
    } catch (const std::exception& e) {
      jobError_ = e.what();
      jobFailed_ = true;
    } catch (...) {
      jobError_ = "Unknown error";
      jobFailed_ = true;
    }
  });
  connect(worker_, &QThread::finished, this, &TfrmNasobnyTest::JobFinished, Qt::QueuedConnection);
  worker_->start();
}

void TfrmNasobnyTest::JobFinished() {
  if (!worker_) return;
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  progress_.reset();
  const Job job = job_;
  job_ = Job::None;
  --g_running;
  if (job == Job::Matrix) {
    ProgressBar2->hide();
    ProgressBar2->setValue(0);
  } else {
    btnCancel->hide();
    lblAkce->setText("");
    lblAkce->hide();
    ProgressBar1->hide();
  }
  SetControlsForJob(false);
  RefreshResults();
  QApplication::restoreOverrideCursor();
  if (jobFailed_) ShowMessage(this, Show(jobError_));
  emit ComputationFinished();
}

void TfrmNasobnyTest::ComboBox1Change(int index) {
  if (index < 0 || index >= static_cast<int>(Analysis::CoefficientItems().size())) return;
  if (RefuseWhileBusy()) return;
  const std::string item = Analysis::CoefficientItems()[static_cast<std::size_t>(index)];
  if (ComboBox1->currentIndex() != index) ComboBox1->setCurrentIndex(index);
  if (analysis_.Enzym->TreeType == ettNone) {
    // Nothing to compute yet: just remember the choice.
    Guarded(this, [&] { analysis_.ChooseCoefficient(item); });
    return;
  }
  StartJob(Job::Matrix, [this, item](ProgressSink* p) { analysis_.ChooseCoefficient(item, p); });
}

void TfrmNasobnyTest::RadioButton1Click() {
  if (RefuseWhileBusy()) return;
  RadioButton1->setChecked(true);
  if (analysis_.Coefficient.empty()) {
    Guarded(this, [&] { analysis_.ChooseMethod(ettUPGMA); });
    return;
  }
  StartJob(Job::Matrix, [this](ProgressSink* p) { analysis_.ChooseMethod(ettUPGMA, p); });
}

void TfrmNasobnyTest::RadioButton2Click() {
  if (RefuseWhileBusy()) return;
  RadioButton2->setChecked(true);
  if (analysis_.Coefficient.empty()) {
    Guarded(this, [&] { analysis_.ChooseMethod(ettNbJoin); });
    return;
  }
  StartJob(Job::Matrix, [this](ProgressSink* p) { analysis_.ChooseMethod(ettNbJoin, p); });
}

void TfrmNasobnyTest::sgrdShodyDblClick() {
  if (RefuseWhileBusy()) return;
  sgrdShody->CommitOpenEditor();
  const bool ok = Guarded(this, [&] { analysis_.MatrixDoubleClick(); });
  FillList(lboxRefTree, analysis_.RefTreeLines);
  FillTree(tviewRefTree, analysis_.RefTreeView);
  FillList(lboxTrees, analysis_.TreeLines);
  FillTree(TreeView, analysis_.TreeView);
  if (!ok) {
    drawnTreeLine_ = -1;
    ShowDrawings();
    return;
  }
  // The tree of the edited matrix is shown in place of the reference tree it replaces.
  if (const TKVTreeNodeItem* t = analysis_.EditedTree()) {
    const std::string text =
        (analysis_.Enzym->TreeType == ettNbJoin ? t->GetDescNbJoin() : t->GetDesc()) + ";";
    FillList(lboxRefTree, {text});
    FillTree(tviewRefTree, TreeViewLines(t));
  }
  drawnTreeLine_ = -1;
  ShowDrawings();
}

void TfrmNasobnyTest::Copy2Click() {
  if (matrixModel_->Blocked()) return;
  QApplication::clipboard()->setText(QString::fromLocal8Bit(analysis_.Matrix.CopyText()));
}

void TfrmNasobnyTest::PopupMenu1Popup() {
  const QMimeData* m = QApplication::clipboard()->mimeData();
  Paste1->setEnabled(m && m->hasText() && !IsBusy());
  Copy1->setEnabled(false);
}

void TfrmNasobnyTest::Paste1Click() {
  if (RefuseWhileBusy()) return;
  const QMimeData* m = QApplication::clipboard()->mimeData();
  const QString text = m && m->hasText() ? m->text() : QString();
  Guarded(this, [&] {
    analysis_.SourceName.clear();
    GetFromText(Bytes(text));
  });
}

bool TfrmNasobnyTest::CopyTreeEnabled() const {
  if (IsBusy()) return false;
  QWidget* focus = QApplication::focusWidget();
  if (lboxRefTree->count() > 0 && (focus == lboxRefTree || focus == tviewRefTree)) return true;
  return lboxTrees->currentRow() >= 0 && !lboxTrees->selectedItems().isEmpty() &&
         (focus == lboxTrees || focus == TreeView);
}

void TfrmNasobnyTest::PopupMenu2Popup() { CopyTree1->setEnabled(CopyTreeEnabled()); }

void TfrmNasobnyTest::CopyTree1Click() {
  if (!CopyTreeEnabled()) return;
  QWidget* focus = QApplication::focusWidget();
  std::string text;
  if (focus == lboxRefTree || focus == tviewRefTree) text = analysis_.RefTreeCopyText();
  if (focus == lboxTrees || focus == TreeView) text = analysis_.TreeCopyText(lboxTrees->currentRow());
  if (!text.empty()) QApplication::clipboard()->setText(QString::fromLocal8Bit(text));
}

void TfrmNasobnyTest::lboxTreesClick() {
  if (IsBusy()) return;
  const int row = lboxTrees->currentRow();
  if (row < 0) return;
  const bool ok = Guarded(this, [&] { analysis_.SelectTreeLine(row); });
  FillTree(TreeView, analysis_.TreeView);
  drawnTreeLine_ = ok ? row : -1;
  ShowDrawings();
}

void TfrmNasobnyTest::rdgMethodClick(int method) {
  if (RefuseWhileBusy()) return;
  if (QAbstractButton* b = methodButtons_->button(method)) b->setChecked(true);
  // "Kept" values are the ones the controls show now.
  analysis_.TaxaLeftOut = editVynechat->value();
  analysis_.Different = chkbDifferent->isChecked();
  if (!Guarded(this, [&] { analysis_.ChooseResamplingMethod(method); })) return;
  ApplyMethodControls();
}

void TfrmNasobnyTest::btnRunClick() {
  if (RefuseWhileBusy()) return;
  if (!btnRun->isEnabled()) return;
  analysis_.TaxaLeftOut = editVynechat->value();
  analysis_.Different = chkbDifferent->isChecked();
  analysis_.FragmentsLeftOut = editPocet->value();
  analysis_.RepeatCount = editRepeat->value();
  StartJob(Job::Resampling, [this](ProgressSink* p) { analysis_.Run(p); });
}

void TfrmNasobnyTest::btnCancelClick() {
  if (job_ == Job::Resampling) cancelRequested_ = true;
}

void TfrmNasobnyTest::closeEvent(QCloseEvent* event) {
  if (IsBusy()) {
    ShowMessage(this, "A computation is running; press Cancel or wait for it to end.");
    event->ignore();
    return;
  }
  event->accept();
}

bool TfrmNasobnyTest::eventFilter(QObject* watched, QEvent* event) {
  // The views would copy their current cell by themselves: Ctrl+C is the menu's "&Copy" instead
  // (none on the input grid).
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    std::function<void()> copy;
    if (watched == sgrdShody) copy = [this] { Copy2Click(); };
    if (watched == lboxRefTree || watched == tviewRefTree || watched == lboxTrees ||
        watched == TreeView)
      copy = [this] { CopyTree1Click(); };
    if (copy || watched == sgrdDruhy) {
      event->accept();
      if (event->type() == QEvent::KeyPress && copy) copy();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmNasobnyTest::ShowDrawings() {
  if (!drawRefTree_ || !drawTrees_) return;  // the pages are still being built
  drawRefTree_->SetDrawing(ReferenceTreeDrawing(analysis_));
  drawTrees_->SetDrawing(drawnTreeLine_ >= 0 ? ListedTreeDrawing(analysis_, drawnTreeLine_)
                                             : TreeDrawing{});
}

// PopupMenu2 on the list box and the tree view of a tree page; right-click focuses first, so the
// enabling rule (by focus) matches what was clicked.
void TfrmNasobnyTest::AttachCopyTreeMenu(std::initializer_list<QWidget*> widgets) {
  for (QWidget* w : widgets) {
    w->addAction(CopyTree1);
    w->installEventFilter(this);
    connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& p) {
      w->setFocus(Qt::PopupFocusReason);
      PopupMenu2Popup();
      PopupMenu2->exec(w->mapToGlobal(p));
      CopyTree1->setEnabled(true);
    });
  }
}

// The tree view with the drawing beside it.
QSplitter* TfrmNasobnyTest::BesideDrawing(QWidget* view, TreeDrawingView* drawing,
                                          const char* name) {
  auto* beside = new QSplitter(Qt::Horizontal);
  beside->setObjectName(name);
  beside->addWidget(view);
  beside->addWidget(drawing);
  beside->setChildrenCollapsible(false);
  beside->setStretchFactor(1, 1);
  beside->setSizes({170, 553});
  return beside;
}

void TfrmNasobnyTest::AttachDrawingMenu(TreeDrawingView* view) {
  connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& p) {
    QMenu menu(this);
    view->AddZoomActions(&menu);
    menu.addSeparator();
    const bool idle = !IsBusy();
    menu.addAction("Save &tree as...", this, [this] { SaveTreeAs(); })
        ->setEnabled(idle && !view->IsEmpty());
    menu.addAction("Save &matrix as...", this, [this] { SaveMatrixAs(); })
        ->setEnabled(idle && !analysis_.Matrix.Names().empty());
    menu.addAction("Save &report...", this, [this] { SaveReportAs(); })->setEnabled(idle);
    menu.exec(view->mapToGlobal(p));
  });
}

TfrmNasobnyTest::TreeSource TfrmNasobnyTest::CurrentTreeSource() const {
  return pages_->currentWidget() == TabSheet4 && drawnTreeLine_ >= 0 ? TreeSource::Listed
                                                                     : TreeSource::Reference;
}

bool TfrmNasobnyTest::SaveFile(const QString& path, const std::function<std::string()>& content) {
  if (RefuseWhileBusy()) return false;
  return Guarded(this, [&] { WriteFileAtomically(Bytes(path), content()); });
}

bool TfrmNasobnyTest::SaveTree(const QString& path, TreeSource source) {
  const std::string file = Bytes(path);
  const auto format = TreeFormatForPath(file);
  if (!format) {
    ShowMessage(this, "Save the tree as .nwk (Newick), .svg, .png or .pdf.");
    return false;
  }
  const int line = drawnTreeLine_;
  const bool listed = source == TreeSource::Listed;
  return SaveFile(path, [&]() -> std::string {
    switch (*format) {
      case TreeFileFormat::Newick:
        return listed ? ListedTreeNewick(analysis_, line) : ReferenceTreeNewick(analysis_);
      case TreeFileFormat::Svg:
        return listed ? ListedTreeSvg(analysis_, line) : ReferenceTreeSvg(analysis_);
      case TreeFileFormat::Png:
      case TreeFileFormat::Pdf:
        break;
    }
    const TreeDrawing d = listed ? ListedTreeDrawing(analysis_, line) : ReferenceTreeDrawing(analysis_);
    if (d.lines.empty() && d.texts.empty())
      throw ExportError(listed ? "Select a tree of the list first."
                               : "There is no tree to save: compute the matrix and the "
                                 "reference tree first.");
    const QByteArray bytes = *format == TreeFileFormat::Png
                                 ? TreeDrawingPng(d)
                                 : TreeDrawingPdf(d, listed ? "Listed tree" : "Reference tree");
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  });
}

bool TfrmNasobnyTest::SaveMatrix(const QString& path) {
  const auto format = MatrixFormatForPath(Bytes(path));
  if (!format) {
    ShowMessage(this, "Save the matrix as .tsv (tab-separated) or .phy (PHYLIP).");
    return false;
  }
  return SaveFile(path, [&] { return MatrixExport(analysis_, *format); });
}

bool TfrmNasobnyTest::SaveReport(const QString& path) {
  return SaveFile(path, [&] { return ReportText(analysis_); });
}

QString TfrmNasobnyTest::SaveDialog(const QString& title, const QStringList& filters) {
  QFileDialog dialog(this, title, lastSaveFolder_);
  dialog.setObjectName("SaveDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QString path = dialog.selectedFiles().front();
  // The chosen type's extension when the name has none of its own.
  if (QFileInfo(path).suffix().isEmpty()) {
    const QString filter = dialog.selectedNameFilter();
    const int star = filter.indexOf("*.");
    if (star >= 0) path += filter.mid(star + 1, filter.indexOf(QRegularExpression("[ )]"), star) - star - 1);
  }
  lastSaveFolder_ = QFileInfo(path).absolutePath();
  return path;
}

void TfrmNasobnyTest::SaveTreeAs() {
  if (RefuseWhileBusy()) return;
  const TreeSource source = CurrentTreeSource();
  const QString path = SaveDialog(
      source == TreeSource::Listed ? "Save tree as" : "Save reference tree as",
      {"Newick (*.nwk)", "SVG drawing (*.svg)", "PNG image (*.png)", "PDF document (*.pdf)"});
  if (!path.isEmpty()) SaveTree(path, source);
}

void TfrmNasobnyTest::SaveMatrixAs() {
  if (RefuseWhileBusy()) return;
  const QString path =
      SaveDialog("Save matrix as", {"Tab-separated (*.tsv)", "PHYLIP distance matrix (*.phy)"});
  if (!path.isEmpty()) SaveMatrix(path);
}

void TfrmNasobnyTest::SaveReportAs() {
  if (RefuseWhileBusy()) return;
  const QString path = SaveDialog("Save report", {"Text report (*.txt)"});
  if (!path.isEmpty()) SaveReport(path);
}

}  // namespace ramovia::ui
