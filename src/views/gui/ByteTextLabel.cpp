#include "views/gui/ByteTextLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

ByteTextLabel::ByteTextLabel(QWidget* parent) : QLabel(parent) {
  // An ID such as "<b>" is text, never markup.
  setTextFormat(Qt::PlainText);
}

bool ByteTextLabel::Drawable(QChar c, const QFont& font) {
  // A blank draws as a blank; tab, line feed and the like are control codes.
  if (c.category() == QChar::Separator_Space) return true;
  return c.isPrint() && QFontMetrics(font).inFont(c);
}

QString ByteTextLabel::DrawnText(const QString& text, const QFont& font) {
  QString drawn = text;
  for (QChar& c : drawn)
    if (!Drawable(c, font)) c = kPlaceholder;
  return drawn;
}

void ByteTextLabel::paintEvent(QPaintEvent* event) {
  const QString raw = text();
  const QString drawn = DrawnText();
  if (drawn == raw) {
    QLabel::paintEvent(event);
    return;
  }

  QPainter painter(this);
  drawFrame(&painter);
  const int m = margin();
  const QRect area = contentsRect().adjusted(m, m, -m, -m);

  QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
  option.setWrapMode(wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
  QTextLayout layout(drawn, font());
  layout.setTextOption(option);

  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  QTextCharFormat dimmed;
  dimmed.setForeground(palette().color(group, QPalette::PlaceholderText));
  QList<QTextLayout::FormatRange> ranges;
  for (int i = 0; i < raw.size(); ++i)
    if (drawn[i] != raw[i]) ranges.append({i, 1, dimmed});
  layout.setFormats(ranges);

  qreal height = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(area.width());
    line.setPosition(QPointF(0, height));
    height += line.height();
  }
  layout.endLayout();

  qreal top = area.top();
  if (alignment() & Qt::AlignVCenter) top += (area.height() - height) / 2;
  else if (alignment() & Qt::AlignBottom) top += area.height() - height;
  painter.setPen(palette().color(group, foregroundRole()));
  painter.setClipRect(area);
  layout.draw(&painter, QPointF(area.left(), top));
}
