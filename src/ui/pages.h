// The five pages of an analysis window. Each builds its controls and their layout; the window
// connects them to its commands.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "tree_view_lines.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QSplitter;
class QTableView;
class QTreeWidget;

namespace ramovia::ui {

class MatrixView;
class TreeDrawingView;

// "Data input": the table as read.
class InputPage : public QWidget {
  Q_OBJECT
 public:
  InputPage();
  QTableView* inputGrid;
};

// "Distance/similarity matrix": the coefficient, the tree method and the matrix.
class MatrixPage : public QWidget {
  Q_OBJECT
 public:
  MatrixPage();
  QComboBox* coefficientBox;
  QGroupBox* treeMethodGroup;
  QRadioButton* upgmaButton;
  QRadioButton* neighborJoiningButton;
  QProgressBar* matrixProgress;
  MatrixView* matrixGrid;
};

// "Reference tree": its text, its tree view and its drawing.
class ReferenceTreePage : public QWidget {
  Q_OBJECT
 public:
  ReferenceTreePage();
  QListWidget* referenceTreeList;
  QTreeWidget* referenceTreeView;
  TreeDrawingView* referenceTreeDrawing;
  QComboBox* supportBox;  // which support the drawing shows after a run
  QLabel* supportLegend;
};

// "Consensus": the consensus of the last run's trees.
class ConsensusPage : public QWidget {
  Q_OBJECT
 public:
  ConsensusPage();
  QComboBox* ruleBox;
  QLabel* consensusLegend;
  TreeDrawingView* consensusDrawing;
};

// "Trees": the distinct trees of the last run, and the one selected.
class TreesPage : public QWidget {
  Q_OBJECT
 public:
  TreesPage();
  QListWidget* treeList;
  QTreeWidget* treeView;
  TreeDrawingView* treesDrawing;
};

// "Resampling methods": the method, its settings, Run and Cancel, and the statistics.
class ResamplingPage : public QWidget {
  Q_OBJECT
 public:
  ResamplingPage();
  // The method buttons, one per method offered (their ids the methods' positions).
  void setMethods(const QStringList& labels, int checked);

  QGroupBox* methodGroup;
  QButtonGroup* methodButtons;
  QSpinBox* replicates;
  QSpinBox* taxaLeftOut;
  QSpinBox* fragmentsLeftOut;
  QCheckBox* differentFragments;
  QCheckBox* resampleLoci;
  QPushButton* runButton;
  QPushButton* cancelButton;
  QPlainTextEdit* statistics;
  QLabel* unrootedCount;
  QLabel* progressLabel;
  QProgressBar* runProgress;

 private:
  QGridLayout* methodLayout_;
};

// The captions as items, each under the last one of the depth above it, all expanded.
void fillTreeView(QTreeWidget* view, const std::vector<TreeViewLine>& captions);
// A list of lines of text, lines of a whole tree of any size among them.
QListWidget* newLineList(const char* name);
void fillListWidget(QListWidget* list, const std::vector<std::string>& lines);

// A tree view without expand buttons: the trees are always shown fully expanded.
QTreeWidget* newTreeView(const char* name);

}  // namespace ramovia::ui
