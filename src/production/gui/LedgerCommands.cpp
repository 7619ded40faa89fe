// The part ledger of the main window: the choice kept in Writer.ini, the
// status line, and the serial-number dialog's settings against the job's.

#include <QLabel>
#include <QStatusBar>

#include "app/MainState.h"
#include "files/HexText.h"
#include "production/SerialNumber.h"
#include "production/WriterSettings.h"
#include "production/gui/LedgerArea.h"
#include "production/gui/TLedgerForm.h"

namespace {

constexpr int kStatusWidth = 440;  // pixels: the menus keep the rest of an 800-pixel window

LedgerArea& Area(const std::unique_ptr<AreaState>& area) { return static_cast<LedgerArea&>(*area); }

void OpenChosen(LedgerArea& a) {
  a.ledger.reset();
  a.problem.clear();
  if (!a.on) return;
  try {
    a.ledger = OpenLedger(a.location);
  } catch (const std::exception& e) {
    a.problem = e.what();
  }
}

std::string ShownLocation(const LedgerArea& a) {
  if (a.ledger) return a.ledger->Location();
  return RedactLocation(a.location.empty() ? DefaultLedgerLocation() : a.location);
}

}  // namespace

std::string SerialSettingsText(const SerialNumberSettings& s) {
  std::string text = s.random ? "Pseudo-random" : "Sequential";
  text += ", " + std::to_string(s.bytes) + (s.bytes == 1 ? " byte" : " bytes") + " at " +
          HexDigits(static_cast<std::uint32_t>(s.address) & 0xFFFF, 4) + "h";
  if (!s.random) text += ", increment " + std::to_string(s.increment);
  return text + (s.lsbFirst ? ", LSB first" : ", MSB first");
}

void TMainForm::InitLedger() {
  ledgerArea_ = std::make_unique<LedgerArea>();
  LedgerArea& a = Area(ledgerArea_);
  const std::string& dir = state_.StartDir;
  a.on = LoadWriterSetting(dir, kLedgerOnKey).value_or("1") != "0";
  a.location = LoadWriterSetting(dir, kLedgerKey).value_or("");
  a.job = LoadWriterSetting(dir, kLedgerJobKey).value_or("");
  a.jobImage = LoadWriterSetting(dir, kLedgerJobImageKey).value_or("");
  // In a status bar of its own; the window grows by its height, so the views
  // keep the room their cascade at the design size needs.
  a.status = new QLabel(this);
  a.status->setObjectName("LedgerStatus");
  a.status->setContentsMargins(6, 0, 6, 0);
  statusBar()->setSizeGripEnabled(false);
  statusBar()->addWidget(a.status, 1);
  resize(width(), height() + statusBar()->sizeHint().height());
  OpenChosen(a);
  ShowLedgerStatus();
}

bool TMainForm::LedgerOn() const { return Area(ledgerArea_).on; }
std::string TMainForm::LedgerLocation() const { return Area(ledgerArea_).location; }
Ledger* TMainForm::CurrentLedger() const { return Area(ledgerArea_).ledger.get(); }
std::shared_ptr<Ledger> TMainForm::SharedLedger() const { return Area(ledgerArea_).ledger; }
std::string TMainForm::LedgerProblem() const { return Area(ledgerArea_).problem; }
std::string TMainForm::LedgerStatusText() const { return Area(ledgerArea_).status->toolTip().toStdString(); }

void TMainForm::UseLedger(bool on, const std::string& location, std::shared_ptr<Ledger> ledger) {
  LedgerArea& a = Area(ledgerArea_);
  a.on = on;
  a.location = location;
  a.ledger = std::move(ledger);
  a.problem.clear();
  // Another ledger holds other passes: its interrupted ones are reported afresh.
  a.portsRecovered.clear();
  std::string error;
  if (!SaveWriterSetting(state_.StartDir, kLedgerOnKey, on ? "1" : "0", &error) ||
      // Writer.ini is no place for a password: the next start finds it in
      // ~/.pgpass, or the dialog asks for the location again.
      !SaveWriterSetting(state_.StartDir, kLedgerKey, SplitUriPassword(location).first, &error))
    prompts_.Message("The choice could not be kept for the next start (" + error + ")", {}, PromptIcon::Warning);
  ShowLedgerStatus();
}

std::string TMainForm::LedgerJobName() const {
  const LedgerArea& a = Area(ledgerArea_);
  if (!a.job.empty() && a.jobImage == state_.CurrentFileName) return a.job;
  const std::string name = DefaultJobName(state_.CurrentFileName);
  return name.empty() ? "untitled" : name;
}

void TMainForm::SetLedgerJobName(const std::string& name) {
  LedgerArea& a = Area(ledgerArea_);
  a.job = name;
  a.jobImage = state_.CurrentFileName;
  std::string error;
  if (!SaveWriterSetting(state_.StartDir, kLedgerJobKey, a.job, &error) ||
      !SaveWriterSetting(state_.StartDir, kLedgerJobImageKey, a.jobImage, &error))
    prompts_.Message("The job name could not be kept for the next start (" + error + ")", {}, PromptIcon::Warning);
}

namespace {
// What the status line shows after "Next" while serial-number mode is on.
std::string NextNumberText(Ledger& ledger, const std::string& job, const MainState& state) {
  try {
    const std::optional<Job> found = ledger.FindJob(job);
    if (!found) return SerialNumberText(state) + " (new job)";
    if (found->usedUp) return "none: the job is used up";
    if (found->kind == JobKind::Qtp) return "QTP record " + std::to_string(found->nextRecord);
    return found->next;
  } catch (const std::exception& e) {
    return "unknown: " + std::string(e.what());
  }
}
}  // namespace

void TMainForm::ShowLedgerStatus() {
  if (!ledgerArea_) return;
  LedgerArea& a = Area(ledgerArea_);
  std::string text;
  if (!a.on) {
    text = "Ledger off";
  } else if (!a.ledger) {
    text = "Ledger " + ShownLocation(a) + " can't be opened: " + a.problem;
  } else {
    const std::string job = LedgerJobName();
    text = "Job " + job + "   Ledger " + ShownLocation(a) + "   Next ";
    // The ledger is asked only when a number is due: every redraw of the panel comes here.
    if (!state_.SerialMode) text += "-- (Serial No. Mode off)";
    else text += NextNumberText(*a.ledger, job, state_);
  }
  // A long location is shortened in its middle; the whole line is the tool tip.
  const QString full = QString::fromStdString(text);
  a.status->setToolTip(full);
  a.status->setText(a.status->fontMetrics().elidedText(full, Qt::ElideMiddle, kStatusWidth));
}

void TMainForm::ProductionLedger1Click() {
  {
    TLedgerForm form(*this);
    form.exec();
  }
  ShowPanel();
}

bool TMainForm::TakeSerialSettings(SerialNumberSettings& settings) {
  Ledger* ledger = CurrentLedger();
  // Off: the old behaviour. Not open: every numbered pass is refused until it is.
  if (!ledger) return true;
  try {
    std::string name = LedgerJobName();
    JobOpening opening = ledger->OpenJob({name, JobKind::Serial, settings, {}, {}});
    while (opening.outcome == JobOpening::Outcome::Refused || opening.job.usedUp) {
      // To start another sequence, name another job.
      const std::string why =
          opening.outcome == JobOpening::Outcome::Refused ? opening.message : "Job " + name + " has no number left";
      const std::optional<std::string> answer =
          prompts_.AskText(why + ".\nName a new job for these settings:", "New job", name + "-2");
      if (!answer) return false;
      if (answer->empty()) continue;
      name = *answer;
      opening = ledger->OpenJob({name, JobKind::Serial, settings, {}, {}});
    }
    if (name != LedgerJobName()) SetLedgerJobName(name);
    if (opening.outcome == JobOpening::Outcome::Created) {
      prompts_.Message(opening.message, {}, PromptIcon::Information);
    } else if (NormalizeSerialText(settings.start, settings.bytes) != opening.job.next) {
      prompts_.Message("Job " + name + " goes on from " + opening.job.next +
                           ": a start value counts only when its job is created",
                       {}, PromptIcon::Information);
    }
    settings.start = opening.job.next;
  } catch (const std::exception& e) {
    prompts_.Message("The part ledger can't be reached: " + std::string(e.what()), {}, PromptIcon::Warning);
  }
  return true;
}

PassLedger* TMainForm::CurrentPassLedger() const { return Area(ledgerArea_).pass.get(); }

void TMainForm::EndLedgerPasses() { Area(ledgerArea_).pass.reset(); }

void TMainForm::QtpFileLoaded(const std::string& path) { Area(ledgerArea_).qtpFile = path; }

bool TMainForm::PrepareLedgerPasses(bool numbered) {
  LedgerArea& a = Area(ledgerArea_);
  a.pass.reset();
  if (!a.on) return true;
  if (!a.ledger) OpenChosen(a);  // the server may be back
  if (!a.ledger) {
    // Without serial numbers nothing can be stamped twice: such passes go on unrecorded.
    if (!numbered) return true;
    prompts_.Message("Passes with serial numbers need the part ledger, which can't be opened: " + a.problem +
                         "\nChoose a ledger that works, or switch it off (Edit > Production Ledger...).",
                     {}, PromptIcon::Error);
    return false;
  }
  const std::string job = LedgerJobName();
  const std::string port = PortChoice();
  try {
    QtpRecordReader qtp;
    if (numbered) {
      if (state_.QtpMode) qtp = QtpFileRecords(a.qtpFile, state_.SerialLsbFirst != 0);
      const JobOpening opening = a.ledger->OpenJob(JobSpecOf(state_, job, a.qtpFile, std::nullopt));
      if (opening.outcome == JobOpening::Outcome::Refused) {
        prompts_.Message(opening.message + "\nTo start another sequence, name another job in Edit > Serial No. Mode.",
                         {}, PromptIcon::Error);
        return false;
      }
      if (opening.outcome == JobOpening::Outcome::Created)
        prompts_.Message(opening.message, {}, PromptIcon::Information);
    }
    auto pass = std::make_unique<PassLedger>(a.ledger, job, DefaultStationName(), port, std::move(qtp));
    if (!a.portsRecovered.contains(port)) {
      std::string shown;
      for (const std::string& text : pass->RecoverInterrupted()) shown += (shown.empty() ? "" : "\n") + text;
      a.portsRecovered.insert(port);
      if (!shown.empty()) prompts_.Message(shown, {}, PromptIcon::Warning);
    }
    a.pass = std::move(pass);
  } catch (const std::exception& e) {
    prompts_.Message("The part ledger can't be reached: " + std::string(e.what()), {}, PromptIcon::Error);
    ShowLedgerStatus();
    return !numbered;
  }
  return true;
}
