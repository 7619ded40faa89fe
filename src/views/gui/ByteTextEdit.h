#pragma once
// A one-line field for text whose characters stand for raw bytes (the ID
// typed as text). A character the font has no glyph for (0x7F of a blank ID)
// is shown as the dot ByteTextLabel draws, not as a missing-glyph box, while
// Bytes() keeps it as it was; what the user types is taken as typed.

#include <QLineEdit>

class ByteTextEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit ByteTextEdit(QWidget* parent = nullptr);

  // The bytes behind the shown text; setText() replaces them too.
  QString Bytes() const { return bytes_; }

 private:
  void Changed(const QString& shown);

  QString bytes_;
  QString shown_;
  bool showing_ = false;  // the field is being set to the stand-ins of bytes_
};
