#include "analysis_window.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
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
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "grid_models.h"
#include "job_runner.h"
#include "ordination_page.h"
#include "output/ordination_view.h"
#include "output/exports.h"
#include "pages.h"
#include "settings.h"
#include "tree_drawing.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

bool clipboardHasText() {
  const QMimeData* m = QApplication::clipboard()->mimeData();
  return m && m->hasText();
}

QAction* addCopyAction(QMenu* menu, const char* name, Qt::ShortcutContext context) {
  QAction* a = menu->addAction("&Copy");
  a->setObjectName(name);
  a->setShortcut(QKeySequence::Copy);
  a->setShortcutContext(context);
  return a;
}

// Wide enough for the widest of these texts in this font, and never narrower than `least`.
const DrawingOptions kScreenDrawing{.separateSupport = true};

constexpr auto kMatrixEditing = QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed |
                                QAbstractItemView::SelectedClicked;

}  // namespace

AnalysisWindow::AnalysisWindow(QWidget* parent)
    : QWidget(parent), presenter_(localeDecimalSeparator()) {
  setObjectName("analysisWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(723, 488);
  jobs_ = new JobRunner(this);
  connect(jobs_, &JobRunner::finished, this, &AnalysisWindow::jobFinished);
  connect(jobs_, &JobRunner::progressed, this, &AnalysisWindow::onProgress);

  pages_ = new QTabWidget(this);
  pages_->setObjectName("pages");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pages_);

  buildMenus();
  inputPage_ = new InputPage;
  matrixPage_ = new MatrixPage;
  referencePage_ = new ReferenceTreePage;
  treesPage_ = new TreesPage;
  resamplingPage_ = new ResamplingPage;
  consensusPage_ = new ConsensusPage;
  pages_->addTab(inputPage_, "Data input");
  pages_->addTab(matrixPage_, "Distance/similarity matrix");
  pages_->addTab(referencePage_, "Reference tree");
  pages_->addTab(treesPage_, "Trees");
  pages_->addTab(resamplingPage_, "Resampling methods");
  pages_->addTab(consensusPage_, "Consensus");
  ordinationPage_ = new OrdinationPage;
  pages_->addTab(ordinationPage_, "Ordination");
  copheneticLabel_ = new QLabel;
  copheneticLabel_->setObjectName("copheneticLabel");
  copheneticLabel_->setToolTip("How faithfully the tree's path lengths show the matrix (Pearson r)");
  if (auto* l = qobject_cast<QBoxLayout*>(referencePage_->layout())) l->addWidget(copheneticLabel_);
  connect(pages_, &QTabWidget::currentChanged, this, [this] {
    if (pages_->currentWidget() == ordinationPage_ && !isBusy())
      ordinationPage_->refresh(presenter_.view(), presenter_.session.seed());
  });
  pages_->setTabVisible(pages_->indexOf(resamplingPage_), false);
  pages_->setTabVisible(pages_->indexOf(consensusPage_), false);
  for (int i = 0; i < pages_->count(); ++i) pages_->setTabToolTip(i, QString("Ctrl+%1").arg(i + 1));
  connectPages();
  afterReading();
}

AnalysisWindow::~AnalysisWindow() {
  // A run still going uses the presenter: stop it and wait before the presenter goes.
  delete jobs_;
  jobs_ = nullptr;
}

bool AnalysisWindow::isBusy() const { return job_ != Job::None; }

TreeDrawingView* AnalysisWindow::referenceTreeDrawing() const {
  return referencePage_->referenceTreeDrawing;
}
TreeDrawingView* AnalysisWindow::treesDrawing() const { return treesPage_->treesDrawing; }
TreeDrawingView* AnalysisWindow::consensusDrawing() const {
  return consensusPage_->consensusDrawing;
}

void AnalysisWindow::buildMenus() {
  inputMenu_ = new QMenu(this);
  inputMenu_->setObjectName("inputMenu");
  copyAction_ = addCopyAction(inputMenu_, "copyAction", Qt::WidgetWithChildrenShortcut);
  copyAction_->setEnabled(false);
  pasteAction_ = inputMenu_->addAction("&Paste");
  pasteAction_->setObjectName("pasteAction");
  pasteAction_->setShortcut(QKeySequence::Paste);
  pasteAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(pasteAction_, &QAction::triggered, this, [this] { paste(); });
  addAction(copyAction_);
  addAction(pasteAction_);
  // The shortcut works exactly when the menu entry would be enabled.
  auto updatePaste = [this] { pasteAction_->setEnabled(clipboardHasText()); };
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, updatePaste);
  updatePaste();
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    updateInputMenu();
    inputMenu_->exec(mapToGlobal(p));
  });

  treeMenu_ = new QMenu(this);
  treeMenu_->setObjectName("treeMenu");
  copyTreeAction_ = addCopyAction(treeMenu_, "copyTreeAction", Qt::WidgetShortcut);
  connect(copyTreeAction_, &QAction::triggered, this, [this] { copyTree(); });

  matrixMenu_ = new QMenu(this);
  matrixMenu_->setObjectName("matrixMenu");
  copyMatrixAction_ = addCopyAction(matrixMenu_, "copyMatrixAction", Qt::WidgetShortcut);
  connect(copyMatrixAction_, &QAction::triggered, this, [this] { copyMatrix(); });
  QAction* pairwise = matrixMenu_->addAction("Missing loci: &pairwise");
  pairwise->setObjectName("pairwiseMissingLociAction");
  pairwise->setCheckable(true);
  pairwise->setToolTip("Allele frequencies: compare each pair over the loci typed in both");
  connect(pairwise, &QAction::toggled, this, [this](bool on) {
    if (refuseWhileBusy()) return;
    if (guarded(this, [&] { presenter_.setPairwiseMissingLoci(on); })) {
      refreshResults();
      if (const std::string w = presenter_.missingLociWarning(); !w.empty())
        showMessage(this, toDisplay(w));
    }
  });
}

void AnalysisWindow::connectPages() {
  QTableView* input = inputPage_->inputGrid;
  inputModel_ = new InputGridModel(presenter_.input, this);
  input->setModel(inputModel_);
  input->setItemDelegate(new InputGridDelegate(input));
  input->installEventFilter(this);
  connect(input, &QWidget::customContextMenuRequested, this, [this, input](const QPoint& p) {
    updateInputMenu();
    inputMenu_->exec(input->viewport()->mapToGlobal(p));
  });

  MatrixPage* m = matrixPage_;
  connect(m->coefficientBox, &QComboBox::activated, this, [this](int i) { chooseCoefficient(i); });
  connect(m->upgmaButton, &QRadioButton::clicked, this, [this] { chooseUpgma(); });
  connect(m->neighborJoiningButton, &QRadioButton::clicked, this,
          [this] { chooseNeighborJoining(); });
  matrixModel_ = new MatrixGridModel(presenter_.matrix, this);
  m->matrixGrid->setModel(matrixModel_);
  // A double click reads the grid back; editing starts by typing or F2.
  m->matrixGrid->setEditTriggers(kMatrixEditing);
  m->matrixGrid->addAction(copyMatrixAction_);
  m->matrixGrid->installEventFilter(this);
  connect(m->matrixGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    matrixMenu_->exec(matrixPage_->matrixGrid->viewport()->mapToGlobal(p));
  });
  connect(m->matrixGrid, &MatrixView::gridDoubleClicked, this, [this] { rebuildFromMatrix(); });

  attachDrawingMenu(referencePage_->referenceTreeDrawing);
  attachCopyTreeMenu({referencePage_->referenceTreeList, referencePage_->referenceTreeView});
  connect(treesPage_->treeList, &QListWidget::itemClicked, this, [this] { showListedTree(); });
  attachDrawingMenu(treesPage_->treesDrawing);
  attachCopyTreeMenu({treesPage_->treeList, treesPage_->treeView});
  attachDrawingMenu(consensusPage_->consensusDrawing);
  connect(referencePage_->supportBox, &QComboBox::activated, this, [this](int i) {
    presenter_.support = static_cast<SupportKind>(i);
    showDrawings();
  });
  connect(consensusPage_->ruleBox, &QComboBox::activated, this, [this](int i) {
    static const ConsensusRule kRules[] = {ConsensusRule::Extended, ConsensusRule::Majority,
                                           ConsensusRule::Strict};
    presenter_.consensusRule = kRules[i];
    showDrawings();
  });

  ResamplingPage* r = resamplingPage_;
  connect(r->methodButtons, &QButtonGroup::idClicked, this, [this](int id) { chooseResampling(id); });
  connect(r->runButton, &QPushButton::clicked, this, [this] { run(); });
  connect(r->cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

void AnalysisWindow::setSource(const std::string& path) {
  presenter_.caption = path;
  presenter_.sourceName = path;
  setWindowTitle(toDisplay(path));
}

void AnalysisWindow::readTable(std::string_view text, InputFormat format) {
  if (refuseWhileBusy()) return;
  std::vector<std::string> warnings;
  try {
    warnings = presenter_.readTable(text, format);
  } catch (...) {
    afterReading();
    if (const std::string hint = AnalysisPresenter::readingFailureHint(text); !hint.empty())
      showMessage(this, toDisplay(hint));
    throw;
  }
  afterReading();
  if (!warnings.empty()) {
    QString all;
    for (const auto& w : warnings) all += (all.isEmpty() ? "" : "\n") + toDisplay(w);
    showMessage(this, all);
  }
  if (!choicesOffered_) {
    choicesOffered_ = true;
    AppSettings settings;
    if (settings.rememberChoices()) applyChoices(settings.choices());
  }
}

void AnalysisWindow::afterReading() {
  setWindowTitle(toDisplay(presenter_.caption));
  drawnTreeLine_ = -1;
  showDrawings();
  inputModel_->reload();
  inputPage_->inputGrid->horizontalHeader()->resizeSection(0, 116);
  fitColumnsToNames();
  rebuildMethods();
  updateStatus();
}

void AnalysisWindow::fitColumnsToNames() {
  fitInputColumns(inputPage_->inputGrid, presenter_.input);
  fitMatrixColumns(matrixPage_->matrixGrid, presenter_.matrix, matrixModel_->columnCount());
}

void AnalysisWindow::rebuildMethods() {
  QStringList labels;
  for (const Resampling m : presenter_.offeredMethods) labels << rulesOf(m).label;
  resamplingPage_->setMethods(labels, presenter_.method ? positionOf(*presenter_.method) : -1);
}

void AnalysisWindow::applyMethodControls() {
  ResamplingPage* r = resamplingPage_;
  const bool chosen = presenter_.method.has_value();
  r->replicates->setEnabled(chosen);
  r->runButton->setEnabled(chosen);
  if (!chosen) {
    r->taxaLeftOut->setEnabled(false);
    r->fragmentsLeftOut->setEnabled(false);
    r->differentFragments->setEnabled(false);
    r->resampleLoci->setEnabled(false);
    return;
  }
  const ResamplingRules& rules = rulesOf(*presenter_.method);
  r->taxaLeftOut->setEnabled(rules.taxaLeftOut);
  r->fragmentsLeftOut->setEnabled(rules.fragmentsLeftOut);
  r->differentFragments->setEnabled(rules.differentFragments);
  r->taxaLeftOut->setValue(presenter_.taxaLeftOut);
  r->fragmentsLeftOut->setValue(presenter_.fragmentsLeftOut);
  r->differentFragments->setChecked(presenter_.different);
  r->resampleLoci->setEnabled(presenter_.session.data().frequencies);
}

void AnalysisWindow::refreshReferenceTree() {
  fillListWidget(referencePage_->referenceTreeList, presenter_.referenceTreeLines);
  fillTreeView(referencePage_->referenceTreeView, presenter_.referenceTreeView);
  fillListWidget(treesPage_->treeList, presenter_.treeLines);
  fillTreeView(treesPage_->treeView, presenter_.treeView);
  drawnTreeLine_ = -1;  // the list is new: its lines are other trees
  showDrawings();
}

void AnalysisWindow::refreshResults() {
  matrixModel_->setBlocked(false);
  matrixModel_->reload();
  fitColumnsToNames();
  pages_->setTabVisible(pages_->indexOf(resamplingPage_), presenter_.resamplingPageShown);
  refreshReferenceTree();
  QString memo;
  for (const auto& line : presenter_.statistics) memo += toDisplay(line) + "\n";
  resamplingPage_->statistics->setPlainText(memo);
  resamplingPage_->unrootedCount->setText(toDisplay(presenter_.unrootedCountText()));
  pages_->setTabVisible(pages_->indexOf(consensusPage_), presenter_.session.lastResult() != nullptr);
  ordinationPage_->invalidate();
  copheneticLabel_->setText(presenter_.session.referenceTree()
                                ? "Cophenetic correlation: " + toDisplay(copheneticText(presenter_.view()))
                                : QString());
  if (pages_->currentWidget() == ordinationPage_)
    ordinationPage_->refresh(presenter_.view(), presenter_.session.seed());
}

bool AnalysisWindow::refuseWhileBusy() {
  if (!isBusy()) return false;
  showMessage(this, "A computation is running; press Cancel or wait for it to end.");
  return true;
}

void AnalysisWindow::setControlsForJob(bool running) {
  matrixPage_->coefficientBox->setEnabled(!running);
  matrixPage_->upgmaButton->setEnabled(!running);
  matrixPage_->neighborJoiningButton->setEnabled(!running);
  pasteAction_->setEnabled(!running && clipboardHasText());
  ResamplingPage* r = resamplingPage_;
  r->methodGroup->setEnabled(!running);
  if (running) {
    for (QWidget* w : {static_cast<QWidget*>(r->replicates), static_cast<QWidget*>(r->taxaLeftOut),
                       static_cast<QWidget*>(r->fragmentsLeftOut),
                       static_cast<QWidget*>(r->differentFragments),
                       static_cast<QWidget*>(r->resampleLoci),
                       static_cast<QWidget*>(r->runButton)})
      w->setEnabled(false);
  } else {
    applyMethodControls();
  }
  matrixPage_->matrixGrid->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                                   : kMatrixEditing);
}

void AnalysisWindow::startJob(Job job, std::function<void(ProgressSink*)> work) {
  matrixPage_->matrixGrid->commitOpenEditor();
  job_ = job;
  rate_ = RunRate();
  runMaximum_ = job == Job::Resampling ? presenter_.replicates : 0;
  runClock_.start();
  QProgressBar* bar = job == Job::Matrix ? matrixPage_->matrixProgress : resamplingPage_->runProgress;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  setControlsForJob(true);
  if (job == Job::Matrix) {
    // The grid is rewritten on the worker; show nothing of it meanwhile.
    matrixModel_->setBlocked(true);
  } else {
    resamplingPage_->progressLabel->setText("Generating trees ...");
    resamplingPage_->progressLabel->show();
    resamplingPage_->cancelButton->show();
  }
  bar->setValue(0);
  bar->show();
  jobs_->start(bar, std::move(work));
  updateStatus();
}

void AnalysisWindow::onProgress(int position, int, int maximum) {
  if (job_ != Job::Resampling) return;
  rate_.report(position, static_cast<double>(runClock_.elapsed()) / 1000.0);
  runMaximum_ = maximum;
  updateStatus();
}

void AnalysisWindow::updateStatus() {
  QString text;
  if (job_ == Job::Matrix) {
    text = "Computing the matrix and the reference tree ...";
  } else if (job_ == Job::Resampling) {
    text = toDisplay(runProgressText(rate_.position(), runMaximum_, rate_.perSecond())) +
           " (Esc cancels)";
  } else {
    text = toDisplay(presenter_.statusText());
  }
  if (text == status_) return;
  status_ = text;
  emit statusChanged();
}

void AnalysisWindow::jobFinished() {
  const Job job = job_;
  job_ = Job::None;
  if (job == Job::Matrix) {
    matrixPage_->matrixProgress->hide();
    matrixPage_->matrixProgress->setValue(0);
  } else {
    resamplingPage_->cancelButton->hide();
    resamplingPage_->progressLabel->setText("");
    resamplingPage_->progressLabel->hide();
    resamplingPage_->runProgress->hide();
  }
  setControlsForJob(false);
  refreshResults();
  QApplication::restoreOverrideCursor();
  updateStatus();
  if (jobs_->failed()) {
    pendingResampling_.reset();
    showMessage(this, toDisplay(jobs_->error()));
  } else if (job == Job::Matrix) {
    storeChoices();
    applyPendingResampling();
  }
  emit computationFinished();
}

void AnalysisWindow::chooseCoefficient(int index) {
  if (index < 0 || index >= static_cast<int>(allCoefficients().size())) return;
  if (refuseWhileBusy()) return;
  if (matrixPage_->coefficientBox->currentIndex() != index)
    matrixPage_->coefficientBox->setCurrentIndex(index);
  if (const std::string w = presenter_.coefficientWarning(index); !w.empty())
    showMessage(this, toDisplay(w));
  if (presenter_.session.method() == TreeMethod::None) {
    if (guarded(this, [&] { presenter_.chooseCoefficient(index); })) storeChoices();
    return;
  }
  startJob(Job::Matrix, [this, index](ProgressSink* p) { presenter_.chooseCoefficient(index, p); });
}

void AnalysisWindow::chooseUpgma() {
  if (refuseWhileBusy()) return;
  matrixPage_->upgmaButton->setChecked(true);
  if (!presenter_.session.coefficient() && !presenter_.session.hasGivenMatrix()) {
    if (guarded(this, [&] { presenter_.chooseMethod(TreeMethod::Upgma); })) storeChoices();
    return;
  }
  startJob(Job::Matrix, [this](ProgressSink* p) { presenter_.chooseMethod(TreeMethod::Upgma, p); });
}

void AnalysisWindow::chooseNeighborJoining() {
  if (refuseWhileBusy()) return;
  matrixPage_->neighborJoiningButton->setChecked(true);
  if (!presenter_.session.coefficient() && !presenter_.session.hasGivenMatrix()) {
    if (guarded(this, [&] { presenter_.chooseMethod(TreeMethod::NeighborJoining); }))
      storeChoices();
    return;
  }
  startJob(Job::Matrix,
           [this](ProgressSink* p) { presenter_.chooseMethod(TreeMethod::NeighborJoining, p); });
}

void AnalysisWindow::rebuildFromMatrix() {
  if (refuseWhileBusy()) return;
  matrixPage_->matrixGrid->commitOpenEditor();
  guarded(this, [&] { presenter_.rebuildFromMatrix(); });
  refreshReferenceTree();
  updateStatus();
}

void AnalysisWindow::copyMatrix() {
  if (matrixModel_->blocked()) return;
  // Tab-separated text for spreadsheets and editors, a table for word processors.
  auto* data = new QMimeData;
  data->setText(QString::fromLocal8Bit(presenter_.matrix.copyText()));
  data->setHtml(QString::fromStdString(presenter_.matrixCopyHtml()));
  QApplication::clipboard()->setMimeData(data);
}

void AnalysisWindow::updateInputMenu() {
  pasteAction_->setEnabled(clipboardHasText() && !isBusy());
  copyAction_->setEnabled(false);
}

void AnalysisWindow::paste() {
  if (refuseWhileBusy()) return;
  const QString text = clipboardHasText() ? QApplication::clipboard()->mimeData()->text() : QString();
  guarded(this, [&] {
    presenter_.sourceName.clear();
    readTable(toBytes(text));
  });
}

bool AnalysisWindow::copyTreeEnabled() const {
  if (isBusy()) return false;
  QWidget* focus = QApplication::focusWidget();
  QListWidget* refList = referencePage_->referenceTreeList;
  QListWidget* trees = treesPage_->treeList;
  if (refList->count() > 0 && (focus == refList || focus == referencePage_->referenceTreeView))
    return true;
  return trees->currentRow() >= 0 && !trees->selectedItems().isEmpty() &&
         (focus == trees || focus == treesPage_->treeView);
}

void AnalysisWindow::updateTreeMenu() { copyTreeAction_->setEnabled(copyTreeEnabled()); }

void AnalysisWindow::copyTree() {
  if (!copyTreeEnabled()) return;
  QWidget* focus = QApplication::focusWidget();
  std::string text;
  if (focus == referencePage_->referenceTreeList || focus == referencePage_->referenceTreeView)
    text = presenter_.referenceTreeCopyText();
  if (focus == treesPage_->treeList || focus == treesPage_->treeView)
    text = presenter_.treeCopyText(treesPage_->treeList->currentRow());
  if (!text.empty()) QApplication::clipboard()->setText(QString::fromLocal8Bit(text));
}

void AnalysisWindow::showListedTree() {
  if (isBusy()) return;
  const int row = treesPage_->treeList->currentRow();
  if (row < 0) return;
  const bool ok = guarded(this, [&] { presenter_.selectTree(row); });
  fillTreeView(treesPage_->treeView, presenter_.treeView);
  drawnTreeLine_ = ok ? row : -1;
  showDrawings();
  updateStatus();
}

void AnalysisWindow::takeControls() {
  ResamplingPage* r = resamplingPage_;
  presenter_.taxaLeftOut = r->taxaLeftOut->value();
  presenter_.different = r->differentFragments->isChecked();
  presenter_.fragmentsLeftOut = r->fragmentsLeftOut->value();
  presenter_.replicates = r->replicates->value();
  presenter_.resampleLoci = r->resampleLoci->isChecked() && r->resampleLoci->isEnabled();
}

void AnalysisWindow::chooseResampling(int position) {
  if (refuseWhileBusy()) return;
  if (QAbstractButton* b = resamplingPage_->methodButtons->button(position)) b->setChecked(true);
  // "Kept" values are the ones the controls show now.
  presenter_.taxaLeftOut = resamplingPage_->taxaLeftOut->value();
  presenter_.different = resamplingPage_->differentFragments->isChecked();
  if (!guarded(this, [&] { presenter_.chooseResampling(position); })) return;
  applyMethodControls();
  storeChoices();
  updateStatus();
}

void AnalysisWindow::run() {
  if (refuseWhileBusy()) return;
  if (!resamplingPage_->runButton->isEnabled()) return;
  takeControls();
  storeChoices();
  startJob(Job::Resampling, [this](ProgressSink* p) { presenter_.run(p); });
}

void AnalysisWindow::cancel() {
  if (job_ == Job::Resampling) jobs_->cancel();
}

void AnalysisWindow::showPage(int index) {
  if (index >= 0 && index < pages_->count() && pages_->isTabVisible(index))
    pages_->setCurrentIndex(index);
}

void AnalysisWindow::storeChoices() {
  Choices now = presenter_.choices();
  now.replicates = resamplingPage_->replicates->value();
  AppSettings settings;
  settings.setChoices(updatedChoices(settings.choices(), now));
}

void AnalysisWindow::applyChoices(const Choices& remembered) {
  if (isBusy()) return;
  const Choices c = presenter_.fittingChoices(remembered);
  pendingResampling_ = c;
  if (c.coefficient) chooseCoefficient(*c.coefficient);
  if (c.method == TreeMethod::Upgma) chooseUpgma();
  if (c.method == TreeMethod::NeighborJoining) chooseNeighborJoining();
  if (!isBusy()) applyPendingResampling();
}

void AnalysisWindow::applyPendingResampling() {
  if (!pendingResampling_) return;
  const Choices c = *pendingResampling_;
  pendingResampling_.reset();
  if (!c.resampling || !presenter_.resamplingPageShown) return;
  chooseResampling(*c.resampling);
  if (!presenter_.method) return;
  ResamplingPage* r = resamplingPage_;
  r->replicates->setValue(c.replicates);
  if (r->taxaLeftOut->isEnabled()) r->taxaLeftOut->setValue(c.taxaLeftOut);
  if (r->fragmentsLeftOut->isEnabled()) r->fragmentsLeftOut->setValue(c.fragmentsLeftOut);
  if (r->differentFragments->isEnabled()) r->differentFragments->setChecked(c.different);
  takeControls();
}

void AnalysisWindow::closeEvent(QCloseEvent* event) {
  if (isBusy()) {
    showMessage(this, "A computation is running; press Cancel or wait for it to end.");
    event->ignore();
    return;
  }
  event->accept();
}

bool AnalysisWindow::eventFilter(QObject* watched, QEvent* event) {
  // The views would copy their current cell by themselves: Ctrl+C is the menus' "&Copy" instead
  // (none on the input grid).
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    std::function<void()> copy;
    if (watched == matrixPage_->matrixGrid) copy = [this] { copyMatrix(); };
    if (watched == referencePage_->referenceTreeList || watched == referencePage_->referenceTreeView ||
        watched == treesPage_->treeList || watched == treesPage_->treeView)
      copy = [this] { copyTree(); };
    if (copy || watched == inputPage_->inputGrid) {
      event->accept();
      if (event->type() == QEvent::KeyPress && copy) copy();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void AnalysisWindow::showDrawings() {
  if (!referencePage_ || !treesPage_ || !consensusPage_) return;  // still being built
  const AnalysisView view = presenter_.view();
  referencePage_->referenceTreeDrawing->setDrawing(
      ramovia::referenceTreeDrawing(view, kScreenDrawing));
  treesPage_->treesDrawing->setDrawing(drawnTreeLine_ >= 0
                                           ? listedTreeDrawing(view, drawnTreeLine_, kScreenDrawing)
                                           : TreeDrawing{});
  const SupportKind support = supportOf(view);
  referencePage_->supportBox->setCurrentIndex(static_cast<int>(support));
  static const char* const kLegend[] = {
      "the share of replicates with each rooted clade",
      "the share of replicates with each split (bipartition), whatever the root",
      "the transfer bootstrap expectation, in percent"};
  referencePage_->supportLegend->setText(
      referenceTreeSupport(view).empty() ? QString() : kLegend[static_cast<int>(support)]);
  QString legend;
  TreeDrawing consensus;
  if (presenter_.session.lastResult()) {
    try {
      consensus = ramovia::consensusDrawing(view, presenter_.consensusRule, 50.0, kScreenDrawing);
      legend = "each inner branch labelled with the share of replicates holding its split";
    } catch (const std::exception& e) {
      legend = toDisplay(e.what());
    }
  }
  consensusPage_->consensusDrawing->setDrawing(std::move(consensus));
  consensusPage_->consensusLegend->setText(legend);
}

// The tree menu on the list box and the tree view of a tree page; right-click focuses first, so
// the enabling rule (by focus) matches what was clicked.
void AnalysisWindow::attachCopyTreeMenu(std::initializer_list<QWidget*> widgets) {
  for (QWidget* w : widgets) {
    w->addAction(copyTreeAction_);
    w->installEventFilter(this);
    connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& p) {
      w->setFocus(Qt::PopupFocusReason);
      updateTreeMenu();
      treeMenu_->exec(w->mapToGlobal(p));
      copyTreeAction_->setEnabled(true);
    });
  }
}

void AnalysisWindow::attachDrawingMenu(TreeDrawingView* view) {
  connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& p) {
    QMenu menu(this);
    view->addZoomActions(&menu);
    menu.addSeparator();
    const bool idle = !isBusy();
    menu.addAction("Save &tree as...", this, [this] { saveTreeAs(); })
        ->setEnabled(idle && !view->isEmpty());
    menu.addAction("Save &matrix as...", this, [this] { saveMatrixAs(); })
        ->setEnabled(idle && !presenter_.matrix.names().empty());
    menu.addAction("Save &report...", this, [this] { saveReportAs(); })->setEnabled(idle);
    menu.exec(view->mapToGlobal(p));
  });
}

AnalysisWindow::TreeSource AnalysisWindow::currentTreeSource() const {
  if (pages_->currentWidget() == consensusPage_) return TreeSource::Consensus;
  return pages_->currentWidget() == treesPage_ && drawnTreeLine_ >= 0 ? TreeSource::Listed
                                                                      : TreeSource::Reference;
}

bool AnalysisWindow::saveFile(const QString& path, const std::function<std::string()>& content) {
  if (refuseWhileBusy()) return false;
  return guarded(this, [&] { writeFileAtomically(toBytes(path), content()); });
}

bool AnalysisWindow::saveTree(const QString& path, TreeSource source) {
  const std::string file = toBytes(path);
  const auto format = treeFormatForPath(file);
  if (!format) {
    showMessage(this, "Save the tree as .nwk (Newick), .svg, .png or .pdf.");
    return false;
  }
  const int line = drawnTreeLine_;
  const bool listed = source == TreeSource::Listed;
  const bool consensus = source == TreeSource::Consensus;
  return saveFile(path, [&]() -> std::string {
    const AnalysisView view = presenter_.view();
    const ConsensusRule rule = presenter_.consensusRule;
    switch (*format) {
      case TreeFileFormat::Newick:
        if (consensus) return consensusNewick(view, rule, 50.0);
        return listed ? listedTreeNewick(view, line) : referenceTreeNewick(view);
      case TreeFileFormat::Svg:
        if (consensus) return consensusSvg(view, rule, 50.0);
        return listed ? listedTreeSvg(view, line) : referenceTreeSvg(view);
      case TreeFileFormat::Png:
      case TreeFileFormat::Pdf:
        break;
    }
    // Pictures show what the window shows.
    const TreeDrawing d = consensus ? ramovia::consensusDrawing(view, rule, 50.0, kScreenDrawing)
                          : listed  ? listedTreeDrawing(view, line, kScreenDrawing)
                                    : ramovia::referenceTreeDrawing(view, kScreenDrawing);
    if (d.lines.empty() && d.texts.empty())
      throw ExportError(listed ? "Select a tree of the list first."
                               : "There is no tree to save: compute the matrix and the "
                                 "reference tree first.");
    const QByteArray bytes = *format == TreeFileFormat::Png
                                 ? treeDrawingPng(d)
                                 : treeDrawingPdf(d, listed ? "Listed tree" : "Reference tree");
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  });
}

bool AnalysisWindow::saveMatrix(const QString& path, std::optional<MatrixPrecision> precision) {
  const auto format = matrixFormatForPath(toBytes(path));
  if (!format) {
    showMessage(this, "Save the matrix as .tsv (tab-separated) or .phy (PHYLIP).");
    return false;
  }
  return saveFile(path, [&] { return matrixExport(presenter_.view(), *format, precision); });
}

bool AnalysisWindow::saveReport(const QString& path) {
  return saveFile(path, [&] { return reportText(presenter_.view()); });
}

QString AnalysisWindow::saveDialog(const QString& title, const QStringList& filters,
                                   QString* chosenFilter) {
  AppSettings settings;
  QFileDialog dialog(this, title, settings.lastFolder());
  dialog.setObjectName("saveDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QString path = dialog.selectedFiles().front();
  if (chosenFilter) *chosenFilter = dialog.selectedNameFilter();
  // The chosen type's extension when the name has none of its own.
  if (QFileInfo(path).suffix().isEmpty()) {
    const QString filter = dialog.selectedNameFilter();
    const int star = filter.indexOf("*.");
    if (star >= 0)
      path += filter.mid(star + 1, filter.indexOf(QRegularExpression("[ )]"), star) - star - 1);
  }
  settings.setLastFolder(QFileInfo(path).absolutePath());
  return path;
}

void AnalysisWindow::saveTreeAs() {
  if (refuseWhileBusy()) return;
  const TreeSource source = currentTreeSource();
  const QString path = saveDialog(
      source == TreeSource::Reference ? "Save reference tree as" : "Save tree as",
      {"Newick (*.nwk)", "SVG drawing (*.svg)", "PNG image (*.png)", "PDF document (*.pdf)"});
  if (!path.isEmpty()) saveTree(path, source);
}

void AnalysisWindow::saveMatrixAs() {
  if (refuseWhileBusy()) return;
  const QStringList filters = {"Tab-separated, as shown (*.tsv)",
                               "Tab-separated, every digit (*.tsv)",
                               "PHYLIP distance matrix, every digit (*.phy)",
                               "PHYLIP distance matrix, as shown (*.phy)"};
  QString filter;
  const QString path = saveDialog("Save matrix as", filters, &filter);
  if (path.isEmpty()) return;
  saveMatrix(path, filter.contains("every digit") ? MatrixPrecision::Full : MatrixPrecision::Shown);
}

void AnalysisWindow::saveReportAs() {
  if (refuseWhileBusy()) return;
  const QString path = saveDialog("Save report", {"Text report (*.txt)"});
  if (!path.isEmpty()) saveReport(path);
}

}  // namespace ramovia::ui
