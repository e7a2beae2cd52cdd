// Items of one long line of text (a tree of thousands of taxa as text is hundreds of kilobytes):
// Qt would lay the whole line out for every size query and every paint, seconds at 20,000 taxa.
#pragma once

#include <QStyledItemDelegate>

namespace ramovia::ui {

class LineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // Lines up to this many characters go the usual way.
  static constexpr qsizetype kLongLine = 4096;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace ramovia::ui
