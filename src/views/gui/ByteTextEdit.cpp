#include "views/gui/ByteTextEdit.h"

#include "views/IdChecksum.h"
#include "views/gui/ByteTextLabel.h"

ByteTextEdit::ByteTextEdit(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, &ByteTextEdit::Changed);
}

void ByteTextEdit::Changed(const QString& shown) {
  if (showing_) return;
  bytes_ = QString::fromStdU32String(
      EditedBytes(bytes_.toStdU32String(), shown_.toStdU32String(), shown.toStdU32String(), cursorPosition()));
  shown_ = ByteTextLabel::DrawnText(bytes_, font());
  if (shown_ == shown) return;
  const int cursor = cursorPosition();
  showing_ = true;
  setText(shown_);
  showing_ = false;
  setCursorPosition(cursor);
}
