// The analysis window: one data table, its five pages and their commands. Every command goes to
// the window's presenter; long ones run on the window's worker, so several windows can compute
// at the same time.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "analysis_presenter.h"
#include "hints.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;

namespace ramovia::ui {

class InputGridModel;
class InputPage;
class JobRunner;
class MatrixGridModel;
class MatrixPage;
class ReferenceTreePage;
class ResamplingPage;
class TreeDrawingView;
class TreesPage;

class ConsensusPage;
class OrdinationPage;

class AnalysisWindow : public QWidget {
  Q_OBJECT
 public:
  explicit AnalysisWindow(QWidget* parent = nullptr);
  ~AnalysisWindow() override;

  AnalysisPresenter& presenter() { return presenter_; }
  const Session& session() const { return presenter_.session; }
  // A computation of this window runs on its worker.
  bool isBusy() const;
  // A resampling run is going (Cancel, or Esc, stops it).
  bool isRunning() const { return job_ == Job::Resampling; }
  // What the window is doing, for the status bar.
  const QString& statusText() const { return status_; }

  // The file the table comes from (bytes): the window's caption and the exports' source.
  void setSource(const std::string& path);
  // Reads a whole table, replacing the window's data; the grid shows what was read even when the
  // reading failed with an error (which is passed on).
  void readTable(std::string_view text, InputFormat format = InputFormat::Auto);

  // The commands, as the widgets trigger them.
  void chooseCoefficient(int index);
  void chooseUpgma();
  void chooseNeighborJoining();
  void rebuildFromMatrix();  // a double click on the matrix grid
  void copyMatrix();
  void updateInputMenu();
  void paste();
  void updateTreeMenu();
  void copyTree();
  void showListedTree();  // a click on a line of the tree list
  void chooseResampling(int position);
  void run();
  void cancel();
  // The page at this position (0..4) when its tab is shown.
  void showPage(int index);
  // Takes the remembered choices that fit the data, as if the user made them: the coefficient
  // and the method (the matrix is computed), then the resampling method and its settings.
  void applyChoices(const Choices& remembered);

  QTabWidget* pages() const { return pages_; }

  // --- saving (the drawings' context menu and the frame's File menu) ---
  enum class TreeSource { Reference, Listed, Consensus };
  // The tree the current page shows: the selected listed tree on the page "Trees", the consensus
  // on its page, else the reference tree.
  TreeSource currentTreeSource() const;
  // Write the file, its format by the extension; a failure is shown and false returned.
  bool saveTree(const QString& path, TreeSource source);
  bool saveMatrix(const QString& path, std::optional<MatrixPrecision> precision = std::nullopt);
  bool saveReport(const QString& path);
  // The commands: a file dialog, then the above.
  void saveTreeAs();
  void saveMatrixAs();
  void saveReportAs();
  TreeDrawingView* referenceTreeDrawing() const;
  TreeDrawingView* treesDrawing() const;
  TreeDrawingView* consensusDrawing() const;

 signals:
  void computationFinished();
  void statusChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Job { None, Matrix, Resampling };

  void buildMenus();
  void connectPages();
  void afterReading();
  void rebuildMethods();
  void applyMethodControls();
  void takeControls();
  void refreshResults();
  void refreshReferenceTree();
  bool copyTreeEnabled() const;
  // Refuses (with a message) a command that would rebuild or free the data during a run.
  bool refuseWhileBusy();
  void startJob(Job job, std::function<void(ProgressSink*)> work);
  void jobFinished();
  void setControlsForJob(bool running);
  void showDrawings();
  void updateStatus();
  void onProgress(int position, int minimum, int maximum);
  void storeChoices();
  void applyPendingResampling();
  void fitColumnsToNames();
  bool saveFile(const QString& path, const std::function<std::string()>& content);
  void attachDrawingMenu(TreeDrawingView* view);
  void attachCopyTreeMenu(std::initializer_list<QWidget*> widgets);
  QString saveDialog(const QString& title, const QStringList& filters,
                     QString* chosenFilter = nullptr);

  AnalysisPresenter presenter_;
  JobRunner* jobs_ = nullptr;
  Job job_ = Job::None;

  QTabWidget* pages_ = nullptr;
  InputPage* inputPage_ = nullptr;
  MatrixPage* matrixPage_ = nullptr;
  ReferenceTreePage* referencePage_ = nullptr;
  TreesPage* treesPage_ = nullptr;
  ConsensusPage* consensusPage_ = nullptr;
  OrdinationPage* ordinationPage_ = nullptr;
  QLabel* copheneticLabel_ = nullptr;
  ResamplingPage* resamplingPage_ = nullptr;
  InputGridModel* inputModel_ = nullptr;
  MatrixGridModel* matrixModel_ = nullptr;
  QMenu* inputMenu_ = nullptr;
  QMenu* treeMenu_ = nullptr;
  QMenu* matrixMenu_ = nullptr;
  QAction* copyAction_ = nullptr;
  QAction* pasteAction_ = nullptr;
  QAction* copyTreeAction_ = nullptr;
  QAction* copyMatrixAction_ = nullptr;
  int drawnTreeLine_ = -1;  // the listed tree drawn on the page "Trees"
  QString status_;
  QElapsedTimer runClock_;
  RunRate rate_;
  int runMaximum_ = 0;
  bool choicesOffered_ = false;  // remembered choices are offered to the first table only
  std::optional<Choices> pendingResampling_;  // waits for the matrix being computed
};

}  // namespace ramovia::ui
