#include "main_form.h"

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

#include "about_box.h"
#include "test_nasobny.h"
#include "ui_support.h"

namespace ramovia::ui {

TMainForm::TMainForm(QStringList startFiles, QWidget* parent)
    : QMainWindow(parent), startFiles_(std::move(startFiles)) {
  setObjectName("MainForm");
  setWindowTitle(kAppTitle);
  resize(441, 141);
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("MdiArea");
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  setAcceptDrops(true);
  statusBar();

  QMenu* file = menuBar()->addMenu("&File");
  QAction* a = file->addAction("&New analyses...");
  a->setObjectName("FileOpenItem");
  a->setStatusTip("Open an existing file");
  connect(a, &QAction::triggered, this, [this] { Guarded(this, [this] { FileOpen(); }); });
  a = file->addAction("&Open analyses...");
  a->setObjectName("Openmultipleanalyses1");
  connect(a, &QAction::triggered, this,
          [this] { Guarded(this, [this] { Openmultipleanalyses1Click(); }); });
  file->addSeparator();
  // The saving commands act on the active analysis window.
  const auto onActive = [this](void (TfrmNasobnyTest::*command)()) {
    return [this, command] {
      if (TfrmNasobnyTest* w = ActiveAnalysisWindow())
        (w->*command)();
      else
        ShowMessage(this, "Open an analysis first.");
    };
  };
  a = file->addAction("Save &tree as...");
  a->setObjectName("FileSaveTree");
  connect(a, &QAction::triggered, this, onActive(&TfrmNasobnyTest::SaveTreeAs));
  a = file->addAction("Save &matrix as...");
  a->setObjectName("FileSaveMatrix");
  connect(a, &QAction::triggered, this, onActive(&TfrmNasobnyTest::SaveMatrixAs));
  a = file->addAction("Save &report...");
  a->setObjectName("FileSaveReport");
  connect(a, &QAction::triggered, this, onActive(&TfrmNasobnyTest::SaveReportAs));
  file->addSeparator();
  a = file->addAction("E&xit");
  a->setObjectName("FileExitItem");
  a->setStatusTip(QString::fromUtf8("Ukončení aplikace"));
  connect(a, &QAction::triggered, this, &QWidget::close);

  windowMenu_ = menuBar()->addMenu("&Window");
  connect(windowMenu_, &QMenu::aboutToShow, this, [this] { UpdateWindowMenu(); });
  UpdateWindowMenu();

  QMenu* help = menuBar()->addMenu("&Help");
  a = help->addAction("&About ...");
  a->setObjectName("HelpAboutItem");
  a->setStatusTip("Informace o programu");
  connect(a, &QAction::triggered, this, [this] { Guarded(this, [this] { HelpAbout(); }); });
}

void TMainForm::UpdateWindowMenu() {
  windowMenu_->clear();
  QAction* a = windowMenu_->addAction("&Tile");
  a->setObjectName("Tile1");
  connect(a, &QAction::triggered, this, [this] { Tile1Click(); });
  a = windowMenu_->addAction("&Cascade");
  a->setObjectName("Cascade1");
  connect(a, &QAction::triggered, this, [this] { Cascade1Click(); });
  a = windowMenu_->addAction("&Arrange All");
  a->setObjectName("ArrangeAll1");
  connect(a, &QAction::triggered, this, [this] { ArrangeAll1Click(); });
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

QList<TfrmNasobnyTest*> TMainForm::AnalysisWindows() const {
  QList<TfrmNasobnyTest*> list;
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder))
    if (auto* a = qobject_cast<TfrmNasobnyTest*>(w->widget())) list.push_back(a);
  return list;
}

TfrmNasobnyTest* TMainForm::ActiveAnalysisWindow() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  if (!sub) sub = mdi_->currentSubWindow();
  if (!sub) {
    const auto list = mdi_->subWindowList(QMdiArea::StackingOrder);
    if (!list.isEmpty()) sub = list.back();
  }
  return sub ? qobject_cast<TfrmNasobnyTest*>(sub->widget()) : nullptr;
}

TfrmNasobnyTest* TMainForm::AddWindow() {
  auto* form = new TfrmNasobnyTest;
  QMdiSubWindow* sub = mdi_->addSubWindow(form);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->resize(723, 488);
  sub->show();
  return form;
}

TfrmNasobnyTest* TMainForm::FileOpen() { return AddWindow(); }

void TMainForm::Openmultipleanalyses1Click() {
  QFileDialog dialog(this);
  dialog.setObjectName("OpenDialog");
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters({"Text files (*.txt)", "SDF files (*.sdf)"});
  dialog.selectNameFilter("Text files (*.txt)");
  if (dialog.exec() != QDialog::Accepted) return;
  OpenFiles(dialog.selectedFiles());
}

bool TMainForm::OpenFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ShowMessage(this, QString("Cannot open file %1").arg(path));
    return false;
  }
  const QByteArray bytes = file.readAll();
  TfrmNasobnyTest* form = AddWindow();
  form->SetCaption(Bytes(path));
  return Guarded(form, [&] { form->GetFromText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))); });
}

void TMainForm::OpenFiles(const QStringList& paths) {
  for (const QString& p : paths)
    if (!OpenFile(p)) return;
}

void TMainForm::HelpAbout() {
  TformAboutBox box(this);
  box.exec();
}

void TMainForm::Tile1Click() { mdi_->tileSubWindows(); }

void TMainForm::Cascade1Click() { mdi_->cascadeSubWindows(); }

void TMainForm::ArrangeAll1Click() {
  // Minimised windows in a row along the bottom of the area.
  int x = 0;
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    if (!w->isMinimized()) continue;
    const QSize s = w->size();
    w->move(x, mdi_->viewport()->height() - s.height());
    x += s.width();
  }
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  OpenFiles(startFiles_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  for (TfrmNasobnyTest* w : AnalysisWindows()) {
    if (w->IsBusy()) {
      ShowMessage(this, "A computation is running; press Cancel or wait for it to end.");
      event->ignore();
      return;
    }
  }
  event->accept();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile());
  event->acceptProposedAction();
  OpenFiles(paths);
}

}  // namespace ramovia::ui
