#include "main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>

#include "about_dialog.h"
#include "analysis_window.h"
#include "ui_support.h"

namespace ramovia::ui {

MainWindow::MainWindow(QStringList startFiles, QWidget* parent)
    : QMainWindow(parent), startFiles_(std::move(startFiles)) {
  setObjectName("mainWindow");
  setWindowTitle(kAppTitle);
  resize(441, 141);
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("mdiArea");
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  setAcceptDrops(true);
  statusBar();

  QMenu* file = menuBar()->addMenu("&File");
  QAction* a = file->addAction("&New analyses...");
  a->setObjectName("newAction");
  a->setStatusTip("Open an existing file");
  connect(a, &QAction::triggered, this, [this] { guarded(this, [this] { newAnalysis(); }); });
  a = file->addAction("&Open analyses...");
  a->setObjectName("openAction");
  connect(a, &QAction::triggered, this,
          [this] { guarded(this, [this] { openAnalyses(); }); });
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
  a = file->addAction("Save &tree as...");
  a->setObjectName("saveTreeAction");
  connect(a, &QAction::triggered, this, onActive(&AnalysisWindow::saveTreeAs));
  a = file->addAction("Save &matrix as...");
  a->setObjectName("saveMatrixAction");
  connect(a, &QAction::triggered, this, onActive(&AnalysisWindow::saveMatrixAs));
  a = file->addAction("Save &report...");
  a->setObjectName("saveReportAction");
  connect(a, &QAction::triggered, this, onActive(&AnalysisWindow::saveReportAs));
  file->addSeparator();
  a = file->addAction("E&xit");
  a->setObjectName("exitAction");
  a->setStatusTip(QString::fromUtf8("Ukončení aplikace"));
  connect(a, &QAction::triggered, this, &QWidget::close);

  windowMenu_ = menuBar()->addMenu("&Window");
  connect(windowMenu_, &QMenu::aboutToShow, this, [this] { updateWindowMenu(); });
  updateWindowMenu();

  QMenu* help = menuBar()->addMenu("&Help");
  a = help->addAction("&About ...");
  a->setObjectName("aboutAction");
  a->setStatusTip("Informace o programu");
  connect(a, &QAction::triggered, this, [this] { guarded(this, [this] { about(); }); });
}

void MainWindow::updateWindowMenu() {
  windowMenu_->clear();
  QAction* a = windowMenu_->addAction("&Tile");
  a->setObjectName("tileAction");
  connect(a, &QAction::triggered, this, [this] { tile(); });
  a = windowMenu_->addAction("&Cascade");
  a->setObjectName("cascadeAction");
  connect(a, &QAction::triggered, this, [this] { cascade(); });
  a = windowMenu_->addAction("&Arrange All");
  a->setObjectName("arrangeAction");
  connect(a, &QAction::triggered, this, [this] { arrangeIcons(); });
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
  QMdiSubWindow* sub = mdi_->addSubWindow(form);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->resize(723, 488);
  sub->show();
  return form;
}

AnalysisWindow* MainWindow::newAnalysis() { return addWindow(); }

void MainWindow::openAnalyses() {
  QFileDialog dialog(this);
  dialog.setObjectName("openDialog");
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters({"Text files (*.txt)", "SDF files (*.sdf)"});
  dialog.selectNameFilter("Text files (*.txt)");
  if (dialog.exec() != QDialog::Accepted) return;
  openFiles(dialog.selectedFiles());
}

bool MainWindow::openFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    showMessage(this, QString("Cannot open file %1").arg(path));
    return false;
  }
  const QByteArray bytes = file.readAll();
  AnalysisWindow* form = addWindow();
  form->setSource(toBytes(path));
  return guarded(form, [&] { form->readTable(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))); });
}

void MainWindow::openFiles(const QStringList& paths) {
  for (const QString& p : paths)
    if (!openFile(p)) return;
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
