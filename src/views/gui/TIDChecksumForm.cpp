#include "views/gui/TIDChecksumForm.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include "app/MainState.h"
#include "views/IdChecksum.h"
#include "views/gui/ByteTextLabel.h"
#include "views/gui/TIDModify.h"

namespace {

constexpr int kFormWidth = 420;

QLabel* Place(QLabel* label, const char* name, const QString& text, int x, int y, int w) {
  if (name != nullptr) label->setObjectName(name);
  label->setText(text);
  label->setGeometry(x, y, w, 20);
  return label;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  return Place(new QLabel(parent), name, text, x, y, w);
}

// The ID and checksum characters: bytes without a glyph are drawn visibly.
QLabel* MakeByteLabel(QWidget* parent, const char* name, int x, int y, int w) {
  return Place(new ByteTextLabel(parent), name, {}, x, y, w);
}

// A caption-less spot the user double-clicks to open more of the window.
QLabel* MakeSpot(QWidget* parent, const char* name, int x, int y) {
  auto* spot = new QLabel(parent);
  spot->setObjectName(name);
  spot->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  spot->setGeometry(x, y, 12, 12);
  return spot;
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

TIDChecksumForm::TIDChecksumForm(MainState& state, QWidget* parent)
    : QMdiSubWindow(parent), state_(state) {
  setObjectName("TIDChecksumForm");
  setWindowTitle("ID and Checksum");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  auto* client = new QWidget(this);
  Panel1 = new QFrame(client);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(8, 8, 400, 60);
  Label1 = MakeLabel(Panel1, "Label1", "ID: ", 8, 8, 40);
  Label2 = MakeByteLabel(Panel1, "Label2", 48, 8, 344);
  Label3 = MakeLabel(Panel1, "Label3", "IC Checksum:", 8, 32, 90);
  Label4 = MakeByteLabel(Panel1, "Label4", 100, 32, 120);
  Label2->installEventFilter(this);

  RadioGroup1 = new QGroupBox("ASCII or HEX", client);
  RadioGroup1->setObjectName("RadioGroup1");
  RadioGroup1->setGeometry(8, 74, 200, 50);
  radioButtons_ = new QButtonGroup(this);
  auto* ascii = new QRadioButton("ASCII", RadioGroup1);
  ascii->setGeometry(12, 22, 80, 20);
  auto* hex = new QRadioButton("HEX", RadioGroup1);
  hex->setGeometry(100, 22, 80, 20);
  radioButtons_->addButton(ascii, 0);
  radioButtons_->addButton(hex, 1);

  Button1 = new QPushButton("Edit ID", client);
  Button1->setObjectName("Button1");
  Button1->setGeometry(236, 92, 80, 25);
  Button2 = new QPushButton("Exit", client);
  Button2->setObjectName("Button2");
  Button2->setGeometry(326, 92, 80, 25);
  StaticText1 = MakeSpot(client, "StaticText1", 396, 130);
  StaticText1->installEventFilter(this);

  Panel2 = new QFrame(client);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setGeometry(8, 150, 400, 228);
  const char* captions[] = {"Writer ID :", "Writer Model :", "Firmware Ver. :",
                            "Gang Writer ID :", "Gang Writer Model :", "Gang Writer Ver. :"};
  const char* names[] = {"Label5", "Label6", "Label7", "Label9", "Label10", "Label11"};
  QLabel** values[] = {&Label5, &Label6, &Label7, &Label9, &Label10, &Label11};
  for (int i = 0; i < 6; ++i) {
    MakeLabel(Panel2, nullptr, captions[i], 8, 8 + 26 * i, 140);
    *values[i] = MakeLabel(Panel2, names[i], {}, 150, 8 + 26 * i, 60);
  }
  Label8 = MakeLabel(Panel2, "Label8", {}, 8, 172, 384);
  StaticText5 = MakeSpot(Panel2, "StaticText5", 380, 206);
  StaticText5->installEventFilter(this);

  BodyOption1 = MakeLabel(client, "BodyOption1", {}, 8, 386, 300);
  BodyOption2 = MakeLabel(client, "BodyOption2", {}, 8, 408, 300);
  setWidget(client);

  FormCreate();

  connect(radioButtons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) RadioGroup1Change(id);
  });
  connect(Button1, &QPushButton::clicked, this, &TIDChecksumForm::Label2DblClick);
  connect(Button2, &QPushButton::clicked, this, &TIDChecksumForm::Button2Click);
}

void TIDChecksumForm::FormCreate() {
  SetFormHeight(kIdHeight);
  radioButtons_->button(state_.IdShowHex == 1 ? 1 : 0)->setChecked(true);
  const std::string checksum = IcChecksumText(state_);
  Label4->setText(Text(checksum));
  state_.Panel.Label17 = checksum;
  const WriterInfoTexts info = WriterInfoText(state_);
  Label5->setText(Text(info.WriterId));
  Label6->setText(Text(info.WriterModel));
  Label7->setText(Text(info.FirmwareVer));
  Label9->setText(Text(info.GangWriterId));
  Label10->setText(Text(info.GangModel));
  Label11->setText(Text(info.GangVer));
  Label8->setText(Text(info.AllBytes));
  BodyOption1->setText(Text(BodyOptionText(state_, 0)));
  BodyOption2->setText(Text(BodyOptionText(state_, 1)));
  IDLabelShow();
}

void TIDChecksumForm::IDLabelShow() {
  ShowIdOnPanel(state_);
  Label2->setText(Text(state_.Panel.Label18));
  emit PanelTextsChanged();
}

void TIDChecksumForm::RadioGroup1Change(int index) {
  state_.IdShowHex = index;
  IDLabelShow();
}

void TIDChecksumForm::SetFormHeight(int h) {
  setFixedSize(kFormWidth, h);
  // The window's height alone decides what shows, whatever the title bar takes.
  Panel2->setVisible(h >= kWriterInfoHeight);
  BodyOption1->setVisible(h >= kBodyOptionHeight);
  BodyOption2->setVisible(h >= kBodyOptionHeight);
}

void TIDChecksumForm::StaticText1DblClick() {
  SetFormHeight(FormHeight() <= kIdHeight ? kWriterInfoHeight : kIdHeight);
}

void TIDChecksumForm::StaticText5DblClick() {
  SetFormHeight(FormHeight() <= kWriterInfoHeight ? kBodyOptionHeight : kWriterInfoHeight);
}

void TIDChecksumForm::Label2DblClick() {
  QPointer<TIDChecksumForm> self(this);
  bool stored;
  {
    TIDModify editor(state_);  // centred on the screen, not on this window
    stored = editor.exec() == QDialog::Accepted;
  }
  if (stored && !self.isNull()) IDLabelShow();
}

void TIDChecksumForm::Button2Click() { close(); }

bool TIDChecksumForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == Label2) Label2DblClick();
    else if (watched == StaticText1) StaticText1DblClick();
    else if (watched == StaticText5) StaticText5DblClick();
    else return QMdiSubWindow::eventFilter(watched, event);
    return true;
  }
  return QMdiSubWindow::eventFilter(watched, event);
}

void TIDChecksumForm::closeEvent(QCloseEvent* event) {
  state_.IdWindowOpen = 0;
  QMdiSubWindow::closeEvent(event);
}
