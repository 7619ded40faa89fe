#pragma once
// A label for text whose characters stand for raw bytes: the user ID and the
// IC checksum characters. A character that the font has no glyph for (0x7F of
// a blank ID, a control code) is drawn as a dimmed middle dot, as hex editors
// do, rather than as a missing-glyph box. text() keeps the text as it was set;
// only the drawing changes.

#include <QLabel>

class ByteTextLabel : public QLabel {
  Q_OBJECT

 public:
  static constexpr QChar kPlaceholder{0x00B7};

  explicit ByteTextLabel(QWidget* parent = nullptr);

  // True when the label's font draws c as itself (a blank counts).
  bool Drawable(QChar c) const { return Drawable(c, font()); }
  // The text as drawn: every character without a glyph replaced by the dot.
  QString DrawnText() const { return DrawnText(text(), font()); }
  // The same rule for any font, also for the fields that edit such text.
  static bool Drawable(QChar c, const QFont& font);
  static QString DrawnText(const QString& text, const QFont& font);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
