#include "views/gui/TIDModify.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>

#include "app/MainState.h"
#include "views/IdChecksum.h"
#include "views/gui/ByteTextEdit.h"
#include "views/gui/HexKeyFilter.h"

TIDModify::TIDModify(MainState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      state_(state),
      hex_(state.IdShowHex == 1) {
  setObjectName("TIDModify");
  setWindowTitle("ID Modify");
  setFixedSize(320, 120);

  Label1 = new QLabel("Enter the ID :", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(16, 12, 200, 20);

  Edit1 = new ByteTextEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(16, 36, 288, 24);
  Edit1->setMaxLength(kIdAsciiChars);
  // Each character becomes one ID byte, so only Latin-1 characters are taken.
  Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression("[\\x{1}-\\x{FF}]*"), Edit1));

  MaskEdit2 = new QLineEdit(this);
  MaskEdit2->setObjectName("MaskEdit2");
  MaskEdit2->setGeometry(16, 36, 288, 24);
  MaskEdit2->setInputMask(">hh hh hh hh hh hh hh hh hh hh hh hh; ");
  MaskEdit2->installEventFilter(new HexKeyFilter(MaskEdit2));

  const QString idText = QString::fromStdString(IdLabelText(state));
  if (hex_) {
    MaskEdit2->setText(idText);
    Edit1->hide();
  } else {
    Edit1->setText(idText);
    MaskEdit2->hide();
  }

  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(136, 80, 80, 27);
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(224, 80, 80, 27);

  connect(BitBtn1, &QPushButton::clicked, this, &TIDModify::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TIDModify::BitBtn2Click);
}

void TIDModify::BitBtn1Click() {
  if (hex_) {
    // The display text keeps a blank in every empty position, so groups stay in place.
    StoreIdHexEntry(state_, MaskEdit2->displayText().toStdString());
  } else {
    StoreIdAsciiEntry(state_, Edit1->Bytes().toStdU32String());
  }
  accept();
}

void TIDModify::BitBtn2Click() { reject(); }
