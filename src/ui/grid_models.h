// The two string grids of the analysis window as Qt models that read the core's grids on demand,
// and the cell drawing of the input grid.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

namespace ramovia {
class InputGrid;
class MatrixGrid;
}  // namespace ramovia

namespace ramovia::ui {

// Row 0 and column 0 are ordinary cells here (the grid's fixed header row and column).
class InputGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  InputGridModel(const InputGrid& grid, QObject* parent);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool isBlockHeader(const QModelIndex& index) const;
  void reload();  // after every reading

 private:
  const InputGrid& grid_;
};

// The input grid's cells: bold underlined block headers and row 0, centred cells beyond column 0,
// highlight / button-face / window backgrounds, text at the top edge, focus rectangle.
class InputGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

class MatrixGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  MatrixGridModel(MatrixGrid& grid, QObject* parent);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // While a computation rewrites the grid on another thread, the model shows nothing.
  void setBlocked(bool blocked);
  bool blocked() const { return blocked_; }
  void reload();

 private:
  MatrixGrid& grid_;
  bool blocked_ = false;
};

// The matrix grid's view: a double click anywhere is one command, after any open edit is stored.
class MatrixView : public QTableView {
  Q_OBJECT
 public:
  using QTableView::QTableView;
  void commitOpenEditor();

 signals:
  void gridDoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Names and labels are never cut off: a column is widened where its name needs it.
void fitInputColumns(QTableView* view, const InputGrid& grid);
void fitMatrixColumns(QTableView* view, const MatrixGrid& grid, int columns);

}  // namespace ramovia::ui
