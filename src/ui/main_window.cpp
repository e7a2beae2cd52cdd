#include "main_window.h"

#include "input/input_error.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

#include "about_dialog.h"
#include "input/input_error.h"
#include "analysis_window.h"
#include "preferences_dialog.h"
#include "settings.h"
#include "ui_support.h"
#include "window_placement.h"

namespace ramovia::ui {

namespace {

constexpr char kFillsWorkspace[] = "fillsWorkspace";
constexpr char kNoWindowStatus[] =
    "Open a table (Ctrl+O) or drop files here; File, New analyses (Ctrl+N) starts an empty window "
    "to paste a table into.";

Box toBox(const QRect& r) {
  return {r.x(), r.y(), r.width(), r.height()};
}

QAction* newAction(QWidget* owner, const char* name, const QString& text,
                   const QKeySequence& keys = {}) {
  auto* a = new QAction(text, owner);
  a->setObjectName(name);
  if (!keys.isEmpty()) a->setShortcut(keys);
  return a;
}

}  // namespace

MainWindow::MainWindow(QStringList startFiles, QWidget* parent)
    : QMainWindow(parent), startFiles_(std::move(startFiles)) {
  setObjectName("mainWindow");
  setWindowTitle(kAppTitle);
  AppSettings settings;
  const QRect available = screen()->availableGeometry();
  const Box box = frameBox(toBox(available), settings.frame());
  if (settings.frame()) {
    setGeometry(box.x, box.y, box.width, box.height);
  } else {
    resize(box.width, box.height);
    move(box.x, box.y);
  }
  if (settings.frameMaximized()) setWindowState(windowState() | Qt::WindowMaximized);

  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("mdiArea");
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->viewport()->installEventFilter(this);
  setCentralWidget(mdi_);
  setAcceptDrops(true);
  statusText_ = new QLabel;
  statusText_->setObjectName("statusText");
  statusBar()->addWidget(statusText_, 1);
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { updateStatus(); });

  buildFileMenu();
  buildWindowActions();
  windowMenu_ = menuBar()->addMenu("&Window");
  connect(windowMenu_, &QMenu::aboutToShow, this, [this] { updateWindowMenu(); });
  updateWindowMenu();

  QMenu* help = menuBar()->addMenu("&Help");
  QAction* a = help->addAction("&About ...");
  a->setObjectName("aboutAction");
  a->setStatusTip("Informace o programu");
  connect(a, &QAction::triggered, this, [this] { guarded(this, [this] { about(); }); });

  buildAnalysisKeys();
  updateStatus();
}

MainWindow::~MainWindow() {
  // The windows going with the frame must not update what is being destroyed.
  disconnect(mdi_, nullptr, this, nullptr);
  for (AnalysisWindow* w : analysisWindows()) disconnect(w, nullptr, this, nullptr);
}

void MainWindow::buildFileMenu() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* a = newAction(this, "newAction", "&New analyses...", QKeySequence::New);
  a->setStatusTip("Open an existing file");
  connect(a, &QAction::triggered, this, [this] { guarded(this, [this] { newAnalysis(); }); });
  file->addAction(a);
  a = newAction(this, "openAction", "&Open analyses...", QKeySequence::Open);
  connect(a, &QAction::triggered, this,
          [this] { guarded(this, [this] { openAnalyses(); }); });
  file->addAction(a);
  recentMenu_ = file->addMenu("Open &recent");
  recentMenu_->setObjectName("recentMenu");
  connect(recentMenu_, &QMenu::aboutToShow, this, [this] { updateRecentMenu(); });
  updateRecentMenu();
  file->addSeparator();
  // The saving commands act on the active analysis window.
  const auto onActive = [this](void (AnalysisWindow::*command)()) {
    return [this, command] {
      if (AnalysisWindow* w = activeAnalysisWindow())
        (w->*command)();
      else
        showMessage(this, "Open an analysis first.");
    };
  };
  a = newAction(this, "saveTreeAction", "Save &tree as...", QKeySequence::Save);
  a->setStatusTip("The drawn tree as Newick, SVG, PNG or PDF");
  connect(a, &QAction::triggered, this, onActive(&AnalysisWindow::saveTreeAs));
  file->addAction(a);
  a = newAction(this, "saveMatrixAction", "Save &matrix as...");
  a->setStatusTip("The matrix as tab-separated text or PHYLIP");
  connect(a, &QAction::triggered, this, onActive(&AnalysisWindow::saveMatrixAs));
  file->addAction(a);
  a = newAction(this, "saveReportAction", "Save &report...");
  a->setStatusTip("Settings, statistics, the tree list and the reference tree as text");
  connect(a, &QAction::triggered, this, onActive(&AnalysisWindow::saveReportAs));
  file->addAction(a);
  file->addSeparator();
  a = newAction(this, "closeAction", "&Close");
  a->setShortcuts(QKeySequence::Close);
  a->setStatusTip("Close the active analysis window");
  connect(a, &QAction::triggered, this, [this] { closeAnalysis(); });
  file->addAction(a);
  a = newAction(this, "closeAllAction", "Close a&ll");
  a->setStatusTip("Close every analysis window");
  connect(a, &QAction::triggered, this, [this] { closeAll(); });
  file->addAction(a);
  file->addSeparator();
  a = newAction(this, "preferencesAction", "&Preferences...", QKeySequence::Preferences);
  connect(a, &QAction::triggered, this, [this] { preferences(); });
  file->addAction(a);
  file->addSeparator();
  a = newAction(this, "exitAction", "E&xit", QKeySequence::Quit);
  a->setStatusTip(QString::fromUtf8("Ukončení aplikace"));
  connect(a, &QAction::triggered, this, &QWidget::close);
  file->addAction(a);
}

void MainWindow::buildWindowActions() {
  QAction* a = newAction(this, "tileAction", "&Tile");
  connect(a, &QAction::triggered, this, [this] { tile(); });
  windowActions_ << a;
  a = newAction(this, "cascadeAction", "&Cascade");
  connect(a, &QAction::triggered, this, [this] { cascade(); });
  windowActions_ << a;
  a = newAction(this, "arrangeAction", "&Arrange All");
  connect(a, &QAction::triggered, this, [this] { arrangeIcons(); });
  windowActions_ << a;
  a = newAction(this, "nextWindowAction", "Ne&xt");
  a->setShortcuts(QKeySequence::NextChild);
  connect(a, &QAction::triggered, mdi_, &QMdiArea::activateNextSubWindow);
  windowActions_ << a;
  a = newAction(this, "previousWindowAction", "Pre&vious");
  a->setShortcuts(QKeySequence::PreviousChild);
  connect(a, &QAction::triggered, mdi_, &QMdiArea::activatePreviousSubWindow);
  windowActions_ << a;
  // The keys work while the menu is closed too.
  addActions(windowActions_);
}

// Keys of the active analysis window's controls: Run, Cancel and the pages.
void MainWindow::buildAnalysisKeys() {
  QAction* run = newAction(this, "runAction", "Run", Qt::Key_F5);
  connect(run, &QAction::triggered, this, [this] {
    if (AnalysisWindow* w = activeAnalysisWindow()) w->run();
  });
  addAction(run);
  // Esc is taken only while a run goes: otherwise it stays with the editors and dialogs.
  cancelAction_ = newAction(this, "cancelAction", "Cancel", Qt::Key_Escape);
  cancelAction_->setEnabled(false);
  connect(cancelAction_, &QAction::triggered, this, [this] {
    if (AnalysisWindow* w = activeAnalysisWindow()) w->cancel();
  });
  addAction(cancelAction_);
  for (int i = 0; i < 5; ++i) {
    QAction* page = newAction(this, QString("pageAction%1").arg(i + 1).toLatin1().constData(),
                              QString("Page %1").arg(i + 1),
                              QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)));
    connect(page, &QAction::triggered, this, [this, i] {
      if (AnalysisWindow* w = activeAnalysisWindow()) w->showPage(i);
    });
    addAction(page);
  }
}

void MainWindow::updateWindowMenu() {
  windowMenu_->clear();
  for (int i = 0; i < windowActions_.size(); ++i) {
    if (i == 3) windowMenu_->addSeparator();
    windowMenu_->addAction(windowActions_[i]);
  }
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
  if (!windows.isEmpty()) windowMenu_->addSeparator();
  int n = 0;
  for (QMdiSubWindow* w : windows) {
    ++n;
    QAction* item = windowMenu_->addAction(QString("&%1 %2").arg(n).arg(w->windowTitle()));
    item->setCheckable(true);
    item->setChecked(w == mdi_->activeSubWindow());
    connect(item, &QAction::triggered, this, [this, w] { mdi_->setActiveSubWindow(w); });
  }
}

void MainWindow::updateRecentMenu() {
  recentMenu_->clear();
  const QStringList files = AppSettings().recentFiles();
  for (int i = 0; i < files.size(); ++i) {
    // &1 .. &9, then 1&0
    const QString number = i < 9 ? QString("&%1").arg(i + 1) : QString("1&0");
    QAction* a = recentMenu_->addAction(number + " " + files[i]);
    a->setObjectName(QString("recentFile%1").arg(i + 1));
    const QString path = files[i];
    connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
  }
  if (!files.isEmpty()) recentMenu_->addSeparator();
  QAction* clear = recentMenu_->addAction("&Clear the list");
  clear->setObjectName("clearRecentAction");
  clear->setEnabled(!files.isEmpty());
  connect(clear, &QAction::triggered, this, [] { AppSettings().clearRecentFiles(); });
}

void MainWindow::updateStatus() {
  AnalysisWindow* w = activeAnalysisWindow();
  statusText_->setText(w ? w->statusText() : QString(kNoWindowStatus));
  cancelAction_->setEnabled(w && w->isRunning());
}

QList<AnalysisWindow*> MainWindow::analysisWindows() const {
  QList<AnalysisWindow*> list;
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder))
    if (auto* a = qobject_cast<AnalysisWindow*>(w->widget())) list.push_back(a);
  return list;
}

AnalysisWindow* MainWindow::activeAnalysisWindow() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  if (!sub) sub = mdi_->currentSubWindow();
  if (!sub) {
    const auto list = mdi_->subWindowList(QMdiArea::StackingOrder);
    if (!list.isEmpty()) sub = list.back();
  }
  return sub ? qobject_cast<AnalysisWindow*>(sub->widget()) : nullptr;
}

AnalysisWindow* MainWindow::addWindow() {
  auto* form = new AnalysisWindow;
  const int open = static_cast<int>(mdi_->subWindowList().size());
  QMdiSubWindow* sub = mdi_->addSubWindow(form);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  // The window's own menu would take the same keys as "&Close", and then neither would act.
  if (QMenu* own = sub->systemMenu())
    for (QAction* a : own->actions())
      if (a->shortcuts() == QKeySequence::keyBindings(QKeySequence::Close)) a->setShortcuts({});
  const QSize area = mdi_->viewport()->size();
  const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 4;
  const Box b = subWindowBox({0, 0, area.width(), area.height()}, open, step);
  sub->setGeometry(b.x, b.y, b.width, b.height);
  sub->setProperty(kFillsWorkspace, open == 0);
  connect(form, &AnalysisWindow::statusChanged, this, [this] { updateStatus(); });
  connect(
      form, &QObject::destroyed, this, [this] { updateStatus(); }, Qt::QueuedConnection);
  sub->show();
  updateStatus();
  return form;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mdi_->viewport() && event->type() == QEvent::Resize) {
    const auto* e = static_cast<QResizeEvent*>(event);
    followWorkspace(e->oldSize(), e->size());
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::followWorkspace(const QSize& from, const QSize& to) {
  for (QMdiSubWindow* w : mdi_->subWindowList()) {
    if (!w->property(kFillsWorkspace).toBool()) continue;
    // Moved, resized or maximised by the user: it keeps what the user made of it.
    if (w->isMaximized() || w->isMinimized() || w->geometry() != QRect(QPoint(0, 0), from)) {
      w->setProperty(kFillsWorkspace, false);
      continue;
    }
    w->setGeometry(QRect(QPoint(0, 0), to));
  }
}

AnalysisWindow* MainWindow::newAnalysis() { return addWindow(); }

void MainWindow::openAnalyses() {
  AppSettings settings;
  QFileDialog dialog(this);
  dialog.setObjectName("openDialog");
  dialog.setFileMode(QFileDialog::ExistingFiles);
  // The first two read by content, as a dropped file does; the others say what the file holds.
  static const std::pair<const char*, InputFormat> kFilters[] = {
      {"Text files (*.txt)", InputFormat::Auto},
      {"SDF files (*.sdf)", InputFormat::Auto},
      {"Native tables (*.txt *.tsv *.sdf)", InputFormat::Table},
      {"GenePop files (*.gen *.txt)", InputFormat::GenePop},
      {"Genotype tables, STRUCTURE-style or CSV (*.str *.csv *.tsv *.txt)", InputFormat::Genotypes},
      {"Band matrices (*.csv *.tsv *.txt)", InputFormat::Bands},
      {"PHYLIP distance matrices (*.phy *.phylip *.dist *.txt)", InputFormat::PhylipMatrix},
      {"Distance matrices, CSV or TSV (*.csv *.tsv *.txt)", InputFormat::MatrixCsv},
      {"All files (*)", InputFormat::Auto},
  };
  QStringList filters;
  for (const auto& f : kFilters) filters << f.first;
  dialog.setNameFilters(filters);
  dialog.selectNameFilter("Text files (*.txt)");
  dialog.setDirectory(settings.lastFolder());
  if (dialog.exec() != QDialog::Accepted) return;
  InputFormat format = InputFormat::Auto;
  for (const auto& f : kFilters)
    if (dialog.selectedNameFilter() == f.first) format = f.second;
  openFiles(dialog.selectedFiles(), format);
}

bool MainWindow::openFile(const QString& path, InputFormat format) {
  QFile file(path);
  if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
    const QString folder = QFileInfo(path).isDir() ? path + " is a folder, not a table file.\n" : "";
    showMessage(this, folder + QString("Cannot open file %1").arg(path));
    return false;
  }
  const QByteArray bytes = file.readAll();
  {
    AppSettings settings;
    settings.addRecentFile(path);
    settings.setLastFolder(QFileInfo(path).absolutePath());
  }
  AnalysisWindow* form = addWindow();
  form->setSource(toBytes(path));
  return guarded(form, [&] {
    try {
      form->readTable(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                      format);
    } catch (const InputError& e) {
      throw std::runtime_error(toBytes(path) + ":" + e.what());
    }
  });
}

void MainWindow::openFiles(const QStringList& paths, InputFormat format) {
  for (const QString& p : paths)
    if (!openFile(p, format)) return;
}

void MainWindow::openRecent(const QString& path) {
  // A file that has gone leaves the list.
  if (!openFile(path) && !QFileInfo::exists(path)) AppSettings().removeRecentFile(path);
}

void MainWindow::closeAnalysis() {
  if (AnalysisWindow* w = activeAnalysisWindow()) w->parentWidget()->close();
}

void MainWindow::closeAll() {
  mdi_->closeAllSubWindows();
}

void MainWindow::preferences() {
  PreferencesDialog dialog(this);
  if (dialog.exec() == QDialog::Accepted) dialog.save();
}

void MainWindow::about() {
  AboutDialog box(this);
  box.exec();
}

void MainWindow::tile() { mdi_->tileSubWindows(); }

void MainWindow::cascade() { mdi_->cascadeSubWindows(); }

void MainWindow::arrangeIcons() {
  // Minimised windows in a row along the bottom of the area.
  int x = 0;
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    if (!w->isMinimized()) continue;
    const QSize s = w->size();
    w->move(x, mdi_->viewport()->height() - s.height());
    x += s.width();
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  openFiles(startFiles_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  for (AnalysisWindow* w : analysisWindows()) {
    if (w->isBusy()) {
      showMessage(this, "A computation is running; press Cancel or wait for it to end.");
      event->ignore();
      return;
    }
  }
  event->accept();
  AppSettings().setFrame(toBox(isMaximized() ? normalGeometry() : geometry()), isMaximized());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile());
  event->acceptProposedAction();
  openFiles(paths);
}

}  // namespace ramovia::ui
