#include "production/gui/TSerialNoSetupForm.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "app/gui/TMainForm.h"
#include "production/QtpFile.h"
#include "files/SafeFile.h"
#include "files/HexText.h"
#include "production/Ledger.h"
#include "production/SerialNumber.h"

namespace {

constexpr const char* kCountInvalid = "\"No. of Byte\" is not a valid value!!";
constexpr const char* kStepInvalid = " \"Increment\" is not a valid value!!";
constexpr const char* kPartsOverflow = "\"No. of Parts\" value overflow!";
constexpr const char* kValueOverflow = "Start value overflow!!";
constexpr const char* kNotRtiw = "The program memory is not 'RTIW'. Serial No. will be disable!";
constexpr const char* kCannotSave = "File can't be saved!";
constexpr int kMaxParts = 100000;
// Filters of the save dialog; the QTP file is a text file.
constexpr int kTextFilter = 1;

// Hex digits only, shown in upper case: typed and pasted text alike.
class UpperHexValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    for (const QChar c : input)
      if (!c.isDigit() && (c < QChar('A') || c > QChar('F'))) return Invalid;
    return Acceptable;
  }
};

QLineEdit* NewField(const char* name, int maxLength, QValidator* validator, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  validator->setParent(edit);
  edit->setValidator(validator);
  return edit;
}

QValidator* Digits(const char* pattern) { return new QRegularExpressionValidator(QRegularExpression(pattern)); }

QString PadLeft(const QString& text, int width) { return text.rightJustified(width, '0'); }

// A decimal field's value; false when it holds no number.
bool FieldNumber(const QLineEdit* edit, int& value) {
  bool ok = false;
  value = edit->text().toInt(&ok);
  return ok;
}

QGroupBox* NewRadioGroup(const char* name, const char* title, const char* first, const char* second,
                         QButtonGroup*& group, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  auto* row = new QHBoxLayout(box);
  group = new QButtonGroup(box);
  group->setObjectName(name);
  int id = 0;
  for (const char* caption : {first, second}) {
    auto* button = new QRadioButton(caption, box);
    button->setObjectName(QString("%1_%2").arg(name).arg(id));
    group->addButton(button, id++);
    row->addWidget(button);
  }
  return box;
}

}  // namespace

TSerialNoSetupForm::TSerialNoSetupForm(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_(main),
      state_(main.State()) {
  setObjectName("TSerialNoSetupForm");
  setWindowTitle("Serial No.");
  BuildControls();
  FormCreate();
}

TSerialNoSetupForm::~TSerialNoSetupForm() {
  // Leaving a field as the dialog goes is no edit.
  for (QLineEdit* edit : {startAddress_, noOfByte_, startValue_, increment_, noOfPart_})
    edit->removeEventFilter(this);
}

void TSerialNoSetupForm::BuildControls() {
  auto* grid = new QGridLayout;
  struct Row {
    const char* caption;
    QLineEdit* edit;
    const char* unit;
  };
  startAddress_ = NewField("StartAddress", 4, new UpperHexValidator, this);
  noOfByte_ = NewField("NoOfByte", 1, Digits("[1-8]?"), this);
  startValue_ = NewField("StartValue", 2 * kMaxSerialBytes, new UpperHexValidator, this);
  increment_ = NewField("Increment", 3, Digits("[0-9]*"), this);
  noOfPart_ = NewField("NoOfPart", 6, Digits("[0-9]*"), this);
  const Row rows[] = {{"Start Address :", startAddress_, "(HEX)"},
                      {"No. of Byte :", noOfByte_, "(1 ~ 8)"},
                      {"Start Value :", startValue_, "(HEX)"},
                      {"Increment :", increment_, "(1~255)"},
                      {"No. of Parts :", noOfPart_, "(DEC)"}};
  int r = 0;
  for (const Row& row : rows) {
    grid->addWidget(new QLabel(row.caption, this), r, 0);
    grid->addWidget(row.edit, r, 1);
    grid->addWidget(new QLabel(row.unit, this), r, 2);
    row.edit->installEventFilter(this);
    ++r;
  }

  auto* mode = NewRadioGroup("RadioGroup1", "Serial No. Mode", "Sequential", "Pseudo-random", radio1_, this);
  auto* order = NewRadioGroup("RadioGroup2", "MSB or LSB First", "MSB->LSB", "LSB->MSB", radio2_, this);
  connect(radio1_, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });

  auto* note = new QLabel("( Only available in Auto program mode!! )", this);
  note->setObjectName("Label9");

  auto* ok = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  ok->setObjectName("BitBtn1");
  ok->setDefault(true);
  auto* abort = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Abort", this);
  abort->setObjectName("BitBtn2");
  auto* disable = new QPushButton("Disable Serial Mode", this);
  disable->setObjectName("BitBtn3");
  auto* qtp = new QPushButton("QTP File", this);
  qtp->setObjectName("BitBtn4");
  for (QPushButton* button : {abort, disable, qtp}) button->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &TSerialNoSetupForm::BitBtn1Click);
  connect(abort, &QPushButton::clicked, this, &QDialog::reject);
  connect(disable, &QPushButton::clicked, this, &TSerialNoSetupForm::BitBtn3Click);
  connect(qtp, &QPushButton::clicked, this, &TSerialNoSetupForm::BitBtn4Click);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(qtp);
  buttons->addWidget(disable);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(abort);

  auto* column = new QVBoxLayout(this);
  column->addLayout(grid);
  column->addWidget(mode);
  column->addWidget(order);
  column->addWidget(note);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);
}

QLineEdit* TSerialNoSetupForm::Field(const char* name) const { return findChild<QLineEdit*>(name); }

void TSerialNoSetupForm::FormCreate() {
  const int n = std::clamp(state_.SerialLength, 1, kMaxSerialBytes);
  startAddress_->setText(QString::fromStdString(HexDigits(state_.SerialAddress & 0xFFFF, 4)));
  noOfByte_->setText(QString::number(n));
  QString value;
  for (int k = n - 1; k >= 0; --k) value += QString::fromStdString(HexDigits(state_.SerialValue[k] & 0xFF, 2));
  startValue_->setMaxLength(2 * kMaxSerialBytes);
  startValue_->setText(value);
  startValue_->setMaxLength(2 * n);
  increment_->setText(QString::number(state_.SerialStep));
  noOfPart_->setText("1");
  radio1_->button(state_.SerialRandom == 1 ? 1 : 0)->setChecked(true);
  radio2_->button(state_.SerialLsbFirst == 1 ? 1 : 0)->setChecked(true);
  RadioGroup1Click();
}

bool TSerialNoSetupForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Switching to another program or opening a menu is no leaving of the field.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == startAddress_) StartAddressExit();
      else if (watched == noOfByte_) NoOfByteExit();
      else if (watched == startValue_) StartValueExit();
      else if (watched == increment_) IncrementExit();
      else if (watched == noOfPart_) NoOfPartExit();
    }
  }
  return QDialog::eventFilter(watched, event);
}

int TSerialNoSetupForm::ByteCount() const {
  int n = 0;
  return FieldNumber(noOfByte_, n) ? std::clamp(n, 1, kMaxSerialBytes) : 1;
}

void TSerialNoSetupForm::FitStartValue(int count) {
  QString value = startValue_->text();
  if (value.size() > 2 * count) value = value.right(2 * count);
  startValue_->setText(PadLeft(value, 2 * count));
}

void TSerialNoSetupForm::StartAddressExit() { startAddress_->setText(PadLeft(startAddress_->text(), 4)); }

void TSerialNoSetupForm::NoOfByteExit() {
  // Left empty, the number is one byte long.
  if (noOfByte_->text().isEmpty()) noOfByte_->setText("1");
  const int n = ByteCount();
  FitStartValue(n);
  startValue_->setMaxLength(2 * n);
}

void TSerialNoSetupForm::StartValueExit() {
  const int n = ByteCount();
  FitStartValue(n);
  // All ones is the one state the shift register never leaves.
  if (radio1_->checkedId() == 1 && startValue_->text() == QString(2 * n, 'F'))
    startValue_->setText(QString(2 * n, '0'));
}

void TSerialNoSetupForm::IncrementExit() {
  int step = 0;
  if (!FieldNumber(increment_, step) || step <= 0) increment_->setText("1");
}

void TSerialNoSetupForm::NoOfPartExit() {
  int parts = 0;
  if (!FieldNumber(noOfPart_, parts) || parts <= 0) noOfPart_->setText("1");
}

void TSerialNoSetupForm::RadioGroup1Click() { increment_->setEnabled(radio1_->checkedId() != 1); }

bool TSerialNoSetupForm::ReadCountAndStep(int& count, int& step) {
  if (!FieldNumber(noOfByte_, count) || count < 1 || count > kMaxSerialBytes) {
    main_.prompts().Message(kCountInvalid);
    return false;
  }
  if (!FieldNumber(increment_, step)) {
    main_.prompts().Message(kStepInvalid);
    return false;
  }
  if (step <= 0 || step > 255) {
    main_.prompts().Message(kStepInvalid);
    increment_->clear();
    return false;
  }
  return true;
}

int TSerialNoSetupForm::TakeStartAddress() {
  StartAddressExit();
  return startAddress_->text().toInt(nullptr, 16);
}

bool TSerialNoSetupForm::CheckRtiwWords(int address, int count) {
  if (SerialWordsAreRtiw(state_, address, count)) return true;
  state_.SerialMode = 0;
  main_.prompts().Message(kNotRtiw, "Error", PromptIcon::Error);
  return false;
}

void TSerialNoSetupForm::StoreSettings(int address, int count, int step) {
  state_.SerialAddress = address;
  state_.SerialLength = count;
  // The rightmost pair is byte 0.
  const QString value = PadLeft(startValue_->text(), 2 * count);
  for (int k = 0; k < count; ++k)
    state_.SerialValue[k] = value.mid(2 * (count - 1 - k), 2).toInt(nullptr, 16);
  state_.SerialStep = step;
  state_.SerialRandom = radio1_->checkedId() == 1 ? 1 : 0;
  state_.SerialLsbFirst = radio2_->checkedId() == 1 ? 1 : 0;
}

SerialNumberSettings TSerialNoSetupForm::TypedSettings(int address, int count, int step) const {
  SerialNumberSettings s;
  s.random = radio1_->checkedId() == 1;
  s.address = address;
  s.bytes = count;
  s.increment = step;
  s.lsbFirst = radio2_->checkedId() == 1;
  s.start = PadLeft(startValue_->text(), 2 * count).toStdString();
  return s;
}

void TSerialNoSetupForm::BitBtn1Click() {
  int count = 0, step = 0;
  if (!ReadCountAndStep(count, step)) return;
  const int address = TakeStartAddress();
  if (startValue_->text().size() > 2 * count) {
    main_.prompts().Message(kValueOverflow);
    return;
  }
  SerialNumberSettings typed = TypedSettings(address, count, step);
  if (const std::string error = SerialSettingsError(typed); !error.empty()) {
    main_.prompts().Message(error);
    return;
  }
  if (!CheckRtiwWords(address, count)) return;
  if (!main_.TakeSerialSettings(typed)) return;
  state_.SerialMode = 1;
  StoreSettings(address, count, step);
  SetSerialValue(state_, typed.start);
  accept();
  SerialNo2Memory(state_);
  main_.SetSingleAreaProgramming(false);
}

void TSerialNoSetupForm::BitBtn3Click() {
  state_.SerialMode = 0;
  state_.SimMode = 0;
  state_.Panel.SpeedButton1 = "QTP Sim Disable";
  main_.SetSingleAreaProgramming(true);
  accept();
}

void TSerialNoSetupForm::BitBtn4Click() {
  Prompts& prompts = main_.prompts();
  int parts = 0;
  if (!FieldNumber(noOfPart_, parts) || parts < 1 || parts > kMaxParts) {
    prompts.Message(kPartsOverflow);
    return;
  }
  int count = 0, step = 0;
  if (!ReadCountAndStep(count, step)) return;
  const int address = TakeStartAddress();
  // The records are made from the number as shown, fitted to its length.
  FitStartValue(count);
  // Kept even when no file is written.
  StoreSettings(address, count, step);
  if (const std::string error = SerialSettingsError(SerialSettingsOf(state_)); !error.empty()) {
    prompts.Message(error);
    return;
  }
  if (!CheckRtiwWords(address, count)) return;

  FileDialogRequest request;
  request.title = "Save QTP File";
  request.filters = {{"Disassemble files", "*.dis"}, {"Text files", "*.txt"}};
  request.filterIndex = kTextFilter;
  request.defaultExt = "txt";
  const std::optional<FileChoice> choice = prompts.SaveFile(request);
  if (!choice) return;
  if (choice->filterIndex != kTextFilter || choice->path.empty()) {
    prompts.Message(kCannotSave);
    return;
  }
  std::string path = choice->path;
  if (std::filesystem::path(path).filename().string().find('.') == std::string::npos) path += ".txt";
  std::error_code ec;
  if (std::filesystem::exists(path, ec) &&
      prompts.Ask("File Exists, Replace?", "Confirm", PromptButtons::YesNo) != PromptAnswer::Yes)
    return;

  // The number moves on past the file's last record only once the file is written.
  const auto start = state_.SerialValue;
  const std::string text = QtpFileText(state_, parts);
  std::string error;
  if (!WriteFileSafely(path, text, &error)) {
    state_.SerialValue = start;
    prompts.Message(std::string(kCannotSave) + "\n" + path + ": " + error, {}, PromptIcon::Error);
    return;
  }
  accept();
}
