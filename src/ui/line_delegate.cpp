#include "line_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <array>

namespace ramovia::ui {

namespace {

// Advances summed character by character, with each pair's kerning: close to shaping the whole
// line (a line of names, digits and punctuation has no ligatures) and far cheaper.
class Advances {
 public:
  explicit Advances(const QFont& font) : metrics_(font) {
    single_.fill(-1.0);
    pair_.fill(qQNaN());
  }
  // Width of the character at i, and its kerning with the one before; step is set to its
  // length in UTF-16 units.
  qreal at(const QString& text, qsizetype i, qsizetype& step) {
    const QChar c = text[i];
    step = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    if (c.unicode() >= 128) return metrics_.horizontalAdvance(text.mid(i, step));
    return single(c.unicode()) + kerning(text, i);
  }
  // How far the character at i moves for the one before it.
  qreal kerning(const QString& text, qsizetype i) {
    const char16_t c = text[i].unicode();
    if (i == 0 || c >= 128 || text[i - 1].unicode() >= 128) return 0;
    const char16_t before = text[i - 1].unicode();
    qreal& k = pair_[before * 128u + c];
    if (qIsNaN(k))
      k = metrics_.horizontalAdvance(QString(QChar(before)) + QChar(c)) - single(before) -
          single(c);
    return k;
  }

 private:
  qreal single(char16_t c) {
    qreal& w = single_[c];
    if (w < 0) w = metrics_.horizontalAdvance(QChar(c));
    return w;
  }
  QFontMetricsF metrics_;
  std::array<qreal, 128> single_{};
  std::array<qreal, 128 * 128> pair_{};
};

QStyle* styleOf(const QStyleOptionViewItem& o) {
  return o.widget ? o.widget->style() : QApplication::style();
}

}  // namespace

QSize LineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem o = option;
  initStyleOption(&o, index);
  if (o.text.size() <= kLongLine) return QStyledItemDelegate::sizeHint(option, index);
  Advances advances(o.font);
  qreal width = 0;
  for (qsizetype i = 0, step = 1; i < o.text.size(); i += step)
    width += advances.at(o.text, i, step);
  // The frame and margins of a one-character item, widened by the rest of the line.
  const QString first = o.text.left(1);
  qsizetype step = 1;
  const qreal firstWidth = advances.at(o.text, 0, step);
  o.text = first;
  QSize s = styleOf(o)->sizeFromContents(QStyle::CT_ItemViewItem, &o, QSize(), o.widget);
  s.setWidth(s.width() + qCeil(width - firstWidth));
  return s;
}

void LineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  QStyleOptionViewItem o = option;
  initStyleOption(&o, index);
  if (o.text.size() <= kLongLine) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const QString text = o.text;
  o.text.clear();
  QStyle* style = styleOf(o);
  style->drawControl(QStyle::CE_ItemViewItem, &o, painter, o.widget);
  // Only the characters in sight, each where the whole line would put it.
  o.text = text.left(1);
  const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &o, o.widget);
  const QRectF visible =
      painter->hasClipping() ? painter->clipBoundingRect() : QRectF(painter->window());
  const qreal margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, o.widget) + 1;
  Advances advances(o.font);
  qreal x = textRect.left() + margin;
  qsizetype i = 0, step = 1;
  const qreal from = std::max(visible.left(), qreal(textRect.left())) - 8;
  while (i < text.size()) {
    const qreal w = advances.at(text, i, step);
    if (x + w >= from) break;
    x += w;
    i += step;
  }
  const qsizetype start = i;
  if (start < text.size()) x += advances.kerning(text, start);
  qreal end = x;
  while (i < text.size() && end <= visible.right() + 8) {
    end += advances.at(text, i, step);
    i += step;
  }
  if (start < text.size()) end -= advances.kerning(text, start);
  if (i == start) return;
  painter->save();
  painter->setFont(o.font);
  const bool selected = o.state & QStyle::State_Selected;
  const QPalette::ColorGroup group = !(o.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (o.state & QStyle::State_Active) ? QPalette::Normal
                                                                        : QPalette::Inactive;
  painter->setPen(o.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  const QRectF line(x, textRect.top(), end - x + 1, textRect.height());
  painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                    text.mid(start, i - start));
  painter->restore();
}

}  // namespace ramovia::ui
