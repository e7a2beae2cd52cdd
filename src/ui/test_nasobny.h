// The analysis window: one data table, its five pages and their commands. Every command is a call
// into the core's Analysis; long ones run on a worker thread.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "resampling/analysis.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QSplitter;
class QComboBox;
class QGroupBox;
class QGridLayout;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QThread;
class QTreeWidget;

namespace ramovia::ui {

class InputGridModel;
class MatrixGridModel;
class MatrixView;
class TreeDrawingView;

class TfrmNasobnyTest : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmNasobnyTest(QWidget* parent = nullptr);
  ~TfrmNasobnyTest() override;

  Analysis& analysis() { return analysis_; }
  // A computation of this window runs on the worker thread.
  bool IsBusy() const { return job_ != Job::None; }
  // Any window's computation: the generator is shared, so only one runs at a time.
  static bool AnyBusy();

  // The caption as bytes (a path, "Frequence analyze: ..." in front for frequency data).
  void SetCaption(const std::string& caption);
  // Reads a whole table, replacing the window's data; the grid shows what was read even when the
  // reading failed with an error (which is passed on).
  void GetFromText(std::string_view text);

  // The commands, as the widgets trigger them.
  void ComboBox1Change(int index);
  void RadioButton1Click();
  void RadioButton2Click();
  void sgrdShodyDblClick();
  void Copy2Click();
  void PopupMenu1Popup();
  void Paste1Click();
  void PopupMenu2Popup();
  void CopyTree1Click();
  void lboxTreesClick();
  void rdgMethodClick(int method);
  void btnRunClick();
  void btnCancelClick();

  // The pages, for the frame's screenshots.
  QTabWidget* Pages() const { return pages_; }

  // --- saving (the drawings' context menu and the frame's File menu) ---
  enum class TreeSource { Reference, Listed };
  // The tree the current page shows: the selected listed tree on the page "Trees", else the
  // reference tree.
  TreeSource CurrentTreeSource() const;
  // Write the file, its format by the extension; a failure is shown and false returned.
  bool SaveTree(const QString& path, TreeSource source);
  bool SaveMatrix(const QString& path);
  bool SaveReport(const QString& path);
  // The commands: a file dialog, then the above.
  void SaveTreeAs();
  void SaveMatrixAs();
  void SaveReportAs();
  TreeDrawingView* RefTreeDrawing() const { return drawRefTree_; }
  TreeDrawingView* TreesDrawing() const { return drawTrees_; }

 signals:
  void ComputationFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Job { None, Matrix, Resampling };
  class Progress;

  void BuildDataPage();
  void BuildMatrixPage();
  void BuildRefTreePage();
  void BuildTreesPage();
  void BuildResamplingPage();
  void BuildMenus();

  void AfterReading();
  void RebuildMethods();
  void ApplyMethodControls();
  void RefreshResults();
  bool CopyTreeEnabled() const;
  // Refuses (with a message) a command that would rebuild or free the data set during a run.
  bool RefuseWhileBusy();
  void StartJob(Job job, std::function<void(ProgressSink*)> work);
  void JobFinished();
  void SetControlsForJob(bool running);
  void ShowDrawings();
  bool SaveFile(const QString& path, const std::function<std::string()>& content);
  void AttachDrawingMenu(TreeDrawingView* view);
  void AttachCopyTreeMenu(std::initializer_list<QWidget*> widgets);
  QSplitter* BesideDrawing(QWidget* view, TreeDrawingView* drawing, const char* name);
  QString SaveDialog(const QString& title, const QStringList& filters);

  Analysis analysis_;
  Job job_ = Job::None;
  QThread* worker_ = nullptr;
  std::unique_ptr<Progress> progress_;
  std::atomic<bool> cancelRequested_{false};
  std::string jobError_;
  bool jobFailed_ = false;

  QTabWidget* pages_ = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet4 = nullptr;
  QWidget* tsheetTrees = nullptr;
  QTableView* sgrdDruhy = nullptr;
  InputGridModel* inputModel_ = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QProgressBar* ProgressBar2 = nullptr;
  MatrixView* sgrdShody = nullptr;
  MatrixGridModel* matrixModel_ = nullptr;
  QListWidget* lboxRefTree = nullptr;
  QTreeWidget* tviewRefTree = nullptr;
  QListWidget* lboxTrees = nullptr;
  QTreeWidget* TreeView = nullptr;
  QGroupBox* rdgMethod = nullptr;
  QGridLayout* methodLayout_ = nullptr;
  QButtonGroup* methodButtons_ = nullptr;
  QSpinBox* editRepeat = nullptr;
  QSpinBox* editVynechat = nullptr;
  QSpinBox* editPocet = nullptr;
  QCheckBox* chkbDifferent = nullptr;
  QPushButton* btnRun = nullptr;
  QPushButton* btnCancel = nullptr;
  QPlainTextEdit* memoStats = nullptr;
  QLabel* lblAkce = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QMenu* PopupMenu2 = nullptr;
  QMenu* PopupMenu3 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Paste1 = nullptr;
  QAction* CopyTree1 = nullptr;
  QAction* Copy2 = nullptr;
  TreeDrawingView* drawRefTree_ = nullptr;
  TreeDrawingView* drawTrees_ = nullptr;
  int drawnTreeLine_ = -1;  // the listed tree drawn on the page "Trees"
  QString lastSaveFolder_;
};

}  // namespace ramovia::ui
