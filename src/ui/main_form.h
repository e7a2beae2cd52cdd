// The frame window: a multiple-document area holding the analysis windows, its menus, the open
// dialog, dropped files and the files named on the command line.
#pragma once

#include <QMainWindow>
#include <QStringList>

class QMdiArea;
class QMenu;

namespace ramovia::ui {

class TfrmNasobnyTest;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  // startFiles are opened, in order, when the frame is first shown.
  explicit TMainForm(QStringList startFiles = {}, QWidget* parent = nullptr);

  QMdiArea* MdiArea() const { return mdi_; }
  QList<TfrmNasobnyTest*> AnalysisWindows() const;
  // The window the File menu's saving commands act on; null when none is open.
  TfrmNasobnyTest* ActiveAnalysisWindow() const;

  TfrmNasobnyTest* FileOpen();  // "&New analyses..."
  void Openmultipleanalyses1Click();
  // Opens one file as a new analysis window; false when it stopped with an error.
  bool OpenFile(const QString& path);
  // Opens files in order until one fails.
  void OpenFiles(const QStringList& paths);
  void HelpAbout();
  void Tile1Click();
  void Cascade1Click();
  void ArrangeAll1Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TfrmNasobnyTest* AddWindow();
  void UpdateWindowMenu();

  QMdiArea* mdi_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QStringList startFiles_;
  bool shown_ = false;
};

}  // namespace ramovia::ui
