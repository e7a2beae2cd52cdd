// The frame window: a multiple-document area holding the analysis windows, its menus and keys,
// the open dialog, recent and dropped files, the files named on the command line, and the status
// bar that says what the active window is doing.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include "input/input_format.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace ramovia::ui {

class AnalysisWindow;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // startFiles are opened, in order, when the frame is first shown. The frame starts where it
  // was last closed, else at 80 % of its screen, centred.
  explicit MainWindow(QStringList startFiles = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  QMdiArea* mdiArea() const { return mdi_; }
  QList<AnalysisWindow*> analysisWindows() const;
  // The window the File menu's saving commands act on; null when none is open.
  AnalysisWindow* activeAnalysisWindow() const;
  QLabel* statusText() const { return statusText_; }

  AnalysisWindow* newAnalysis();  // "&New analyses..."
  void openAnalyses();  // "&Open analyses..."
  // Opens one file as a new analysis window; false when it stopped with an error.
  bool openFile(const QString& path, InputFormat format = InputFormat::Auto);
  // Opens files in order until one fails.
  void openFiles(const QStringList& paths, InputFormat format = InputFormat::Auto);
  void openRecent(const QString& path);
  void closeAnalysis();  // "&Close": the active window
  void closeAll();
  void preferences();
  void about();
  void tile();
  void cascade();
  void arrangeIcons();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AnalysisWindow* addWindow();
  void buildFileMenu();
  void buildWindowActions();
  void buildAnalysisKeys();
  void updateWindowMenu();
  void updateRecentMenu();
  void updateStatus();
  // The analysis windows that still fill the workspace as they were given it follow its size.
  void followWorkspace(const QSize& from, const QSize& to);

  QMdiArea* mdi_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QList<QAction*> windowActions_;  // tile, cascade, arrange, next, previous
  QAction* cancelAction_ = nullptr;
  QLabel* statusText_ = nullptr;
  QStringList startFiles_;
  bool shown_ = false;
};

}  // namespace ramovia::ui
