#include "views/gui/TEditSingleData.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/Prompts.h"
#include "views/EditSingleData.h"
#include "views/gui/HexKeyFilter.h"

TEditSingleData::TEditSingleData(const std::string& initialText, Prompts& prompts, int limit,
                                 QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      initialText_(initialText),
      limit_(limit),
      result_(CellHexValue(initialText)) {
  setObjectName("TEditSingleData");
  setWindowTitle("Enter new value");
  setFixedSize(233, 107);

  Label1 = new QLabel("Enter new value :", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(16, 16, 120, 20);

  Edit1 = new QLineEdit(QString::fromStdString(initialText), this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(136, 14, 80, 24);
  Edit1->setMaxLength(kCellEntryChars);
  Edit1->installEventFilter(new HexKeyFilter(Edit1));
  // Pasted text gets past the key filter; the validator holds it to hex digits.
  Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]*"), Edit1));

  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(32, 64, 75, 25);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(126, 64, 75, 25);

  connect(OKBtn, &QPushButton::clicked, this, &TEditSingleData::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TEditSingleData::CancelBtnClick);
}

void TEditSingleData::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Edit1->setFocus();
  Edit1->selectAll();  // typing replaces the old value
}

void TEditSingleData::OKBtnClick() {
  const std::string field = PaddedCellEntry(Edit1->text().toStdString());
  Edit1->setText(QString::fromStdString(field));
  if (auto value = AcceptCellEntry(field, limit_)) {
    result_ = *value;
    accept();
    return;
  }
  prompts_.Message(kTooLargeMessage, kTooLargeCaption, PromptIcon::Error);
  Edit1->setText(QString::fromStdString(initialText_));
}

void TEditSingleData::CancelBtnClick() {
  result_ = CellHexValue(initialText_);
  reject();
}
