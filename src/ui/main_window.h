// The frame window: a multiple-document area holding the analysis windows, its menus, the open
// dialog, dropped files and the files named on the command line.
#pragma once

#include <QMainWindow>
#include <QStringList>

class QMdiArea;
class QMenu;

namespace ramovia::ui {

class AnalysisWindow;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // startFiles are opened, in order, when the frame is first shown.
  explicit MainWindow(QStringList startFiles = {}, QWidget* parent = nullptr);

  QMdiArea* mdiArea() const { return mdi_; }
  QList<AnalysisWindow*> analysisWindows() const;
  // The window the File menu's saving commands act on; null when none is open.
  AnalysisWindow* activeAnalysisWindow() const;

  AnalysisWindow* newAnalysis();  // "&New analyses..."
  void openAnalyses();  // "&Open analyses..."
  // Opens one file as a new analysis window; false when it stopped with an error.
  bool openFile(const QString& path);
  // Opens files in order until one fails.
  void openFiles(const QStringList& paths);
  void about();
  void tile();
  void cascade();
  void arrangeIcons();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  AnalysisWindow* addWindow();
  void updateWindowMenu();

  QMdiArea* mdi_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QStringList startFiles_;
  bool shown_ = false;
};

}  // namespace ramovia::ui
