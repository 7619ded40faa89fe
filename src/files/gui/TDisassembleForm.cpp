#include "files/gui/TDisassembleForm.h"

#include <QCloseEvent>
#include <QFont>
#include <QPlainTextEdit>

#include "files/Disassembler.h"

TDisassembleForm::TDisassembleForm(const MainState& state, QWidget* parent)
    : QMdiSubWindow(parent), listing_(DisassemblyListing(state)) {
  setObjectName("DisassembleForm");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Disassembly");

  Memo1_ = new QPlainTextEdit(this);
  Memo1_->setObjectName("Memo1");
  Memo1_->setReadOnly(true);
  Memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);  // any fixed-pitch face keeps the columns aligned
  font.setFixedPitch(true);
  font.setPixelSize(12);
  Memo1_->setFont(font);
  Memo1_->setPlainText(QString::fromStdString(listing_).replace("\r\n", "\n"));
  setWidget(Memo1_);
  resize(560, 420);
}

void TDisassembleForm::closeEvent(QCloseEvent* event) {
  QMdiSubWindow::closeEvent(event);
  if (event->isAccepted()) emit Closed();
}
