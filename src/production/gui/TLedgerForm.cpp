#include "production/gui/TLedgerForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/gui/DialogButtons.h"
#include "app/gui/TMainForm.h"
#include "app/gui/OffGuiThread.h"
#include "production/Ledger.h"
#include "production/LedgerStore.h"
#include "production/gui/LedgerArea.h"

namespace {

// A text of any length (a ledger's error, a deep home folder) wraps, and the
// dialog keeps the width of its fields instead of the width of the text.
constexpr int kMostTextChars = 64;

void Wrapped(QLabel* label) {
  label->setWordWrap(true);
  label->setFixedWidth(label->fontMetrics().averageCharWidth() * kMostTextChars);
}

// The height its wrapped text takes: a dialog of fixed size asks the label
// its size once, before the lines are known.
void FitHeight(QLabel* label) { label->setMinimumHeight(label->heightForWidth(label->width())); }

}  // namespace

TLedgerForm::TLedgerForm(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      main_(main) {
  setObjectName("TLedgerForm");
  setWindowTitle("Production Ledger");

  ledgerOn_ = new QCheckBox("Record every pass and draw serial numbers from the ledger", this);
  ledgerOn_->setObjectName("LedgerOn");

  auto* where = new QGroupBox("Location", this);
  auto* grid = new QGridLayout(where);
  auto* group = new QButtonGroup(where);
  defaultFile_ = new QRadioButton("This computer's ledger file:", where);
  defaultFile_->setObjectName("DefaultFile");
  auto* defaultPath = new QLabel(QString::fromStdString(DefaultLedgerLocation()), where);
  defaultPath->setObjectName("DefaultPath");
  Wrapped(defaultPath);
  FitHeight(defaultPath);
  otherFile_ = new QRadioButton("Another ledger file:", where);
  otherFile_->setObjectName("OtherFile");
  filePath_ = new QLineEdit(where);
  filePath_->setObjectName("FilePath");
  auto* browse = new QPushButton("Browse...", where);
  browse->setObjectName("Browse");
  browse->setAutoDefault(false);
  server_ = new QRadioButton("A PostgreSQL server (URI):", where);
  server_->setObjectName("Server");
  uri_ = new QLineEdit(where);
  uri_->setObjectName("Uri");
  uri_->setPlaceholderText("postgresql://user@host/database");
  password_ = new QLineEdit(where);
  password_->setObjectName("Password");
  password_->setEchoMode(QLineEdit::Password);
  password_->setPlaceholderText("none: from ~/.pgpass");
  for (QRadioButton* button : {defaultFile_, otherFile_, server_}) group->addButton(button);
  grid->addWidget(defaultFile_, 0, 0);
  grid->addWidget(defaultPath, 0, 1, 1, 2);
  grid->addWidget(otherFile_, 1, 0);
  grid->addWidget(filePath_, 1, 1);
  grid->addWidget(browse, 1, 2);
  grid->addWidget(server_, 2, 0);
  grid->addWidget(uri_, 2, 1, 1, 2);
  grid->addWidget(new QLabel("Password:", where), 3, 0);
  grid->addWidget(password_, 3, 1, 1, 2);

  auto* job = new QGroupBox("Job", this);
  jobText_ = new QLabel(job);
  jobText_->setObjectName("JobText");
  jobText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Wrapped(jobText_);
  (new QVBoxLayout(job))->addWidget(jobText_);

  connect(browse, &QPushButton::clicked, this, &TLedgerForm::BrowseClick);
  connect(ledgerOn_, &QCheckBox::toggled, this, &TLedgerForm::EnableFields);
  connect(group, &QButtonGroup::buttonToggled, this, &TLedgerForm::EnableFields);

  auto* column = new QVBoxLayout(this);
  column->addWidget(ledgerOn_);
  column->addWidget(where);
  column->addWidget(job);
  column->addLayout(OkCancelRow(this, [this] { BitBtn1Click(); }));
  column->setSizeConstraint(QLayout::SetFixedSize);
  ShowChoice();
}

void TLedgerForm::ShowChoice() {
  const std::string location = main_.LedgerLocation();
  ledgerOn_->setChecked(main_.LedgerOn());
  if (location.empty()) {
    defaultFile_->setChecked(true);
  } else if (IsPgLocation(location)) {
    server_->setChecked(true);
    const auto [uri, password] = SplitUriPassword(location);
    uri_->setText(QString::fromStdString(uri));
    password_->setText(QString::fromStdString(password));
  } else {
    otherFile_->setChecked(true);
    filePath_->setText(QString::fromStdString(location));
  }
  jobText_->setText(QString::fromStdString(JobDescription()));
  FitHeight(jobText_);
  EnableFields();
}

void TLedgerForm::EnableFields() {
  const bool on = ledgerOn_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{defaultFile_, otherFile_, server_}) w->setEnabled(on);
  filePath_->setEnabled(on && otherFile_->isChecked());
  findChild<QPushButton*>("Browse")->setEnabled(on && otherFile_->isChecked());
  uri_->setEnabled(on && server_->isChecked());
  password_->setEnabled(on && server_->isChecked());
}

std::string TLedgerForm::JobDescription() const {
  const std::string name = main_.LedgerJobName();
  main_.WaitForLedgerOpen();
  Ledger* ledger = main_.CurrentLedger();
  if (!ledger) {
    if (!main_.LedgerOn()) return "Job " + name + ": the ledger is off";
    return "Job " + name + ": the ledger can't be opened (" + main_.LedgerProblem() + ")";
  }
  try {
    const LedgerStatus status = OffGuiThread([&] { return ledger->Status(name); });
    if (status.jobs.empty() || !status.jobs.front().settings)
      return "Job " + name + ": not in the ledger yet; its first pass creates it from the serial settings";
    const JobStatus& s = status.jobs.front();
    const Job& job = *s.settings;
    std::string text = "Job " + name + "\n";
    if (job.kind == JobKind::Qtp) {
      text += "QTP file " + job.qtpFile + "\nNext record: " +
              (job.usedUp ? std::string("none, the file is used up") : std::to_string(job.nextRecord));
    } else {
      text += SerialSettingsText(job.serial) + ", first number " + job.serial.start + "\nNext number: " +
              (job.usedUp ? std::string("none, the job is used up") : job.next);
    }
    text += std::string("\nPolicy: ") + PolicyName(job.policy) + "\nPasses: ok " + std::to_string(s.ok) +
            ", failed " + std::to_string(s.failed) + ", interrupted " + std::to_string(s.interrupted) +
            ", simulated " + std::to_string(s.simulated) + ", open " + std::to_string(s.open);
    return text;
  } catch (const std::exception& e) {
    return "Job " + name + ": the ledger can't be read (" + e.what() + ")";
  }
}

void TLedgerForm::BrowseClick() {
  FileDialogRequest request;
  request.title = "Ledger file";
  request.filters = {{"Ledger file", "*.sqlite"}, {"All File", "*.*"}};
  request.defaultExt = "sqlite";
  request.fileName = filePath_->text().toStdString();
  request.confirmOverwrite = false;  // an existing ledger is opened, never replaced
  const std::optional<FileChoice> choice = main_.prompts().SaveFile(request);
  if (!choice || choice->path.empty()) return;
  filePath_->setText(QString::fromStdString(choice->path));
  otherFile_->setChecked(true);
}

void TLedgerForm::BitBtn1Click() {
  Prompts& prompts = main_.prompts();
  const bool on = ledgerOn_->isChecked();
  std::string location;
  if (otherFile_->isChecked()) location = filePath_->text().trimmed().toStdString();
  if (server_->isChecked())
    location = JoinUriPassword(uri_->text().trimmed().toStdString(), password_->text().toStdString());
  if (on && !defaultFile_->isChecked() && location.empty()) {
    prompts.Message(otherFile_->isChecked() ? "Choose the ledger file" : "Type the server's URI", {},
                    PromptIcon::Warning);
    return;
  }
  if (on && server_->isChecked() && !IsPgLocation(location)) {
    prompts.Message("A server's URI begins with postgresql://", {}, PromptIcon::Warning);
    return;
  }
  if (!on && main_.LedgerOn() &&
      prompts.Ask("Switch the part ledger off?\nPasses are no longer recorded, and serial numbers are no longer "
                  "checked against the numbers already used: a number can be stamped twice.",
                  "Production Ledger", PromptButtons::YesNo, PromptIcon::Warning) != PromptAnswer::Yes)
    return;
  std::unique_ptr<Ledger> ledger;
  if (on) {
    try {
      ledger = OffGuiThread([&] { return OpenLedger(location); });
    } catch (const std::exception& e) {
      prompts.Message("The ledger can't be opened: " + std::string(e.what()), {}, PromptIcon::Error);
      return;
    }
  }
  main_.UseLedger(on, on ? location : main_.LedgerLocation(), std::move(ledger));
  accept();
}
