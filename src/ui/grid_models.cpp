#include "grid_models.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>

#include "output/grids.h"
#include "ui_support.h"

namespace ramovia::ui {

namespace {

int widthFor(const QFontMetrics& fm, const QStringList& texts, int least) {
  int w = least;
  for (const QString& t : texts) w = std::max(w, fm.horizontalAdvance(t) + 10);
  return w;
}

// A header repaints (and finds every section's place) once after a run of resizes, not after
// each: at thousands of columns that is the difference between quadratic and linear time.
class Unrepainted {
 public:
  explicit Unrepainted(QHeaderView* h) : h_(h), was_(h->updatesEnabled()) {
    h_->setUpdatesEnabled(false);
  }
  ~Unrepainted() {
    h_->setUpdatesEnabled(was_);
    h_->viewport()->update();
  }
  Unrepainted(const Unrepainted&) = delete;
  Unrepainted& operator=(const Unrepainted&) = delete;

 private:
  QHeaderView* h_;
  bool was_;
};

}  // namespace

InputGridModel::InputGridModel(const InputGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int InputGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.rowCount();
}

int InputGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.colCount();
}

QVariant InputGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return toDisplay(grid_.cell(index.column(), index.row()));
}

bool InputGridModel::isBlockHeader(const QModelIndex& index) const {
  return index.isValid() && grid_.isBlockHeader(index.column(), index.row());
}

void InputGridModel::reload() {
  beginResetModel();
  endResetModel();
}

void InputGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const auto* model = qobject_cast<const InputGridModel*>(index.model());
  const QRect r = option.rect;
  const QString text = index.data(Qt::DisplayRole).toString();
  const bool header = model && model->isBlockHeader(index);
  QFont font = option.font;
  font.setBold(header || index.row() == 0);
  font.setUnderline(header || index.row() == 0);
  const QFontMetrics fm(font);
  int left = r.left();
  if (!header && index.column() != 0) {
    left = r.left() + r.width() / 2 - fm.horizontalAdvance(text) / 2;
    if (left < r.left()) left = r.left();
  }
  const QPalette& pal = option.palette;
  QColor background = pal.color(QPalette::Base);
  QColor foreground = pal.color(QPalette::Text);
  if (option.state & QStyle::State_Selected) {
    background = pal.color(QPalette::Highlight);
    foreground = pal.color(QPalette::HighlightedText);
  } else if (index.row() == 0 || index.column() == 0) {
    background = pal.color(QPalette::Button);
    foreground = pal.color(QPalette::ButtonText);
  }
  painter->save();
  painter->setClipRect(r);
  painter->fillRect(r, background);
  painter->setFont(font);
  painter->setPen(foreground);
  painter->drawText(QRect(left, r.top(), r.right() - left + 1, r.height()),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.rect = r;
    focus.backgroundColor = background;
    const QWidget* w = option.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, w);
  }
  painter->restore();
}

MatrixGridModel::MatrixGridModel(MatrixGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int MatrixGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || blocked_ ? 0 : grid_.rowCount();
}

int MatrixGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || blocked_ ? 0 : grid_.colCount();
}

QVariant MatrixGridModel::data(const QModelIndex& index, int role) const {
  if (blocked_ || !index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole)
    return toDisplay(grid_.cell(index.column(), index.row()));
  if (role == Qt::BackgroundRole && (index.row() == 0 || index.column() == 0))
    return QApplication::palette().brush(QPalette::Button);
  return {};
}

bool MatrixGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (blocked_ || !index.isValid() || role != Qt::EditRole) return false;
  grid_.setCell(index.column(), index.row(), toBytes(value.toString()));
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

Qt::ItemFlags MatrixGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  // Row 0 and column 0 are the fixed names.
  if (!blocked_ && index.row() > 0 && index.column() > 0) f |= Qt::ItemIsEditable;
  return f;
}

void MatrixGridModel::setBlocked(bool blocked) {
  if (blocked == blocked_) return;
  beginResetModel();
  blocked_ = blocked;
  endResetModel();
}

void MatrixGridModel::reload() {
  beginResetModel();
  endResetModel();
}

void MatrixView::commitOpenEditor() {
  if (state() != QAbstractItemView::EditingState) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return;
  }
  if (QWidget* editor = QApplication::focusWidget(); editor && isAncestorOf(editor)) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void MatrixView::mouseDoubleClickEvent(QMouseEvent* event) {
  commitOpenEditor();
  QTableView::mouseDoubleClickEvent(event);
  emit gridDoubleClicked();
}

void fitInputColumns(QTableView* input, const InputGrid& grid) {
  QFont bold = input->font();
  bold.setBold(true);
  bold.setUnderline(true);
  const QFontMetrics plain(input->font()), strong(bold);
  QStringList labels;
  QStringList headers;
  for (int r = 1; r < grid.rowCount(); ++r)
    (grid.isBlockHeader(0, r) ? headers : labels) << toDisplay(grid.cell(0, r));
  QHeaderView* h = input->horizontalHeader();
  const Unrepainted quiet(h);
  h->resizeSection(0, std::max(widthFor(plain, labels, 116), widthFor(strong, headers, 116)));
  for (int c = 1; c < grid.colCount(); ++c)
    h->resizeSection(c, widthFor(strong, {toDisplay(grid.cell(c, 0))}, h->defaultSectionSize()));
}

void fitMatrixColumns(QTableView* matrix, const MatrixGrid& grid, int columns) {
  const QFontMetrics fm(matrix->font());
  QHeaderView* mh = matrix->horizontalHeader();
  QStringList names;
  for (const auto& n : grid.names()) names << toDisplay(n);
  const int least = mh->defaultSectionSize();
  const Unrepainted quiet(mh);
  mh->resizeSection(0, widthFor(fm, names, least));
  for (int c = 1; c < columns; ++c)
    mh->resizeSection(c, c <= names.size() ? widthFor(fm, {names[c - 1]}, least) : least);
}

}  // namespace ramovia::ui
