// The part ledger of the main window: the choice kept in Writer.ini, the
// status line, and the serial-number dialog's settings against the job's.

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QLabel>
#include <QStatusBar>

#include "app/MainState.h"
#include "app/gui/OffGuiThread.h"
#include "commands/RunPreparation.h"
#include "commands/WriterSession.h"
#include "files/HexText.h"
#include "production/SerialNumber.h"
#include "production/WriterSettings.h"
#include "production/gui/LedgerArea.h"
#include "production/gui/TLedgerForm.h"

namespace {

constexpr int kLeastStatusWidth = 440;  // pixels, before the window has its size

LedgerArea& Area(const std::unique_ptr<AreaState>& area) { return static_cast<LedgerArea&>(*area); }

std::string ShownLocation(const LedgerArea& a) {
  return RedactLocation(a.location.empty() ? DefaultLedgerLocation() : a.location);
}

// What the status line shows after "Next" for the job, asked on a thread
// that is not the window's.
std::string NextNumberText(Ledger& ledger, const std::string& job, const std::string& newJobStart) {
  try {
    const std::optional<Job> found = ledger.FindJob(job);
    if (!found) return newJobStart + " (new job)";
    if (found->usedUp) return "none: the job is used up";
    if (found->kind == JobKind::Qtp) return "QTP record " + std::to_string(found->nextRecord);
    return found->next;
  } catch (const std::exception& e) {
    return "unknown: " + std::string(e.what());
  }
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
  OpenChosenLedger();
}

void TMainForm::OpenChosenLedger() {
  LedgerArea& a = Area(ledgerArea_);
  a.ledger.reset();
  a.problem.clear();
  a.next.clear();
  a.asked.clear();
  a.asking = false;
  const int generation = ++a.generation;
  a.opening = a.on;
  ShowLedgerStatus();
  if (!a.on) return;
  // A server that does not answer keeps nobody waiting: the window works on.
  a.worker = std::jthread([this, generation, location = a.location] {
    std::shared_ptr<Ledger> ledger;
    std::string problem;
    try {
      ledger = OpenLedger(location);
    } catch (const std::exception& e) {
      problem = e.what();
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, ledger = std::move(ledger), problem] {
          LedgerArea& a = Area(ledgerArea_);
          if (generation != a.generation) return;
          a.opening = false;
          a.ledger = ledger;
          a.problem = problem;
          ShowLedgerStatus();
          if (!ledger)
            SayWhenNoBoxIsUp("The part ledger can't be opened: " + problem +
                             "\nPasses with serial numbers are refused until a ledger that works is chosen "
                             "(Edit > Production Ledger...).");
        },
        Qt::QueuedConnection);
  });
}

bool TMainForm::LedgerBusy() const { return Area(ledgerArea_).opening || Area(ledgerArea_).asking; }

void TMainForm::WaitForLedgerOpen() {
  while (Area(ledgerArea_).opening)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}
bool TMainForm::LedgerOn() const { return Area(ledgerArea_).on; }
std::string TMainForm::LedgerLocation() const { return Area(ledgerArea_).location; }
Ledger* TMainForm::CurrentLedger() const { return Area(ledgerArea_).ledger.get(); }
std::string TMainForm::LedgerProblem() const { return Area(ledgerArea_).problem; }
std::string TMainForm::LedgerStatusText() const { return Area(ledgerArea_).status->toolTip().toStdString(); }

void TMainForm::UseLedger(bool on, const std::string& location, std::shared_ptr<Ledger> ledger) {
  LedgerArea& a = Area(ledgerArea_);
  a.on = on;
  a.location = location;
  a.ledger = std::move(ledger);
  a.problem.clear();
  a.next.clear();
  a.asked.clear();
  a.asking = false;
  ++a.generation;  // what an earlier choice finds is stale
  a.opening = false;
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
  return RunJobName(state_, {});
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

void TMainForm::ShowLedgerStatus() {
  if (!ledgerArea_) return;
  LedgerArea& a = Area(ledgerArea_);
  std::string text;
  std::string location;  // the part of the line that may be shortened
  if (!a.on) {
    text = "Ledger off";
  } else if (a.opening) {
    location = ShownLocation(a);
    text = "Ledger " + location + " opening...";
  } else if (!a.ledger) {
    location = ShownLocation(a);
    text = "Ledger " + location + " can't be opened: " + a.problem;
  } else {
    const std::string job = LedgerJobName();
    location = ShownLocation(a);
    text = "Job " + job + "   Ledger " + location + "   Next ";
    if (!state_.SerialMode) {
      text += "-- (Serial No. Mode off)";
    } else {
      AskNextNumber(job);
      text += a.next.empty() ? std::string("...") : a.next;
    }
  }
  // The whole line while the bar holds it; else only the location is
  // shortened, in its middle, so the job, the host and the next number stay
  // readable. The whole line is the tool tip.
  const QString full = QString::fromStdString(text);
  a.status->setToolTip(full);
  const QFontMetrics metrics = a.status->fontMetrics();
  const int room = std::max(kLeastStatusWidth, statusBar()->width() - 24);
  QString shown = full;
  if (metrics.horizontalAdvance(full) > room && !location.empty()) {
    const QString where = QString::fromStdString(location);
    const int rest = metrics.horizontalAdvance(full) - metrics.horizontalAdvance(where);
    shown.replace(shown.indexOf(where), where.size(),
                  metrics.elidedText(where, Qt::ElideMiddle, std::max(room - rest, metrics.averageCharWidth() * 12)));
  }
  a.status->setText(metrics.elidedText(shown, Qt::ElideRight, room));
}

void TMainForm::SayWhenNoBoxIsUp(const std::string& text) {
  // Start-up says one thing at a time: a box that is up (the Writer's
  // probe) is answered first, never covered by this one.
  if (QApplication::activeModalWidget()) {
    QTimer::singleShot(200, this, [this, text] { SayWhenNoBoxIsUp(text); });
    return;
  }
  prompts_.Message(text, {}, PromptIcon::Warning);
}

void TMainForm::AskNextNumber(const std::string& job) {
  LedgerArea& a = Area(ledgerArea_);
  // Every redraw of the panel comes here: the ledger is asked again only
  // when what the answer depends on has changed.
  const std::string start = SerialNumberText(state_);
  const std::string key = job + "\n" + start + "\n" + std::to_string(a.generation);
  if (key == a.asked) return;
  a.asked = key;
  a.asking = true;
  const int generation = a.generation;
  a.worker = std::jthread([this, generation, key, job, start, ledger = a.ledger] {
    std::string next = NextNumberText(*ledger, job, start);
    QMetaObject::invokeMethod(
        this,
        [this, generation, key, next = std::move(next)] {
          LedgerArea& a = Area(ledgerArea_);
          if (generation != a.generation || key != a.asked) return;
          a.asking = false;
          a.next = next;
          ShowLedgerStatus();
        },
        Qt::QueuedConnection);
  });
}

void TMainForm::PassReported(const PassReport& report, bool otherWriter) {
  if (!report.setupFailure.empty()) prompts_.Message(report.setupFailure, {}, PromptIcon::Error);
  if (!report.logError.empty())
    prompts_.Message("Production log can't be written! (" + report.logError + ")", {}, PromptIcon::Error);
  if (!ledgerArea_ || !report.next) return;
  LedgerArea& a = Area(ledgerArea_);
  a.next = report.next->empty() ? std::string("none: the job is used up") : *report.next;
  if (otherWriter && !report.next->empty() && state_.SerialMode && !state_.QtpMode) {
    SetSerialValue(state_, *report.next);
    SerialNo2Memory(state_);
    RecreateMemoryView();
    ShowPanel();  // draws the status line too
    return;
  }
  ShowLedgerStatus();
}

void TMainForm::ProductionLedger1Click() {
  {
    TLedgerForm form(*this);
    form.exec();
  }
  ShowPanel();
}

bool TMainForm::TakeSerialSettings(SerialNumberSettings& settings) {
  WaitForLedgerOpen();
  Ledger* ledger = CurrentLedger();
  // Off: the old behaviour. Not open: every numbered pass is refused until it is.
  if (!ledger) return true;
  const auto open = [ledger](const std::string& job, const SerialNumberSettings& s) {
    return OffGuiThread([&] { return ledger->OpenJob({job, JobKind::Serial, s, {}, {}, {}, {}}); });
  };
  try {
    std::string name = LedgerJobName();
    JobOpening opening = open(name, settings);
    while (opening.outcome == JobOpening::Outcome::Refused || opening.job.usedUp) {
      // To start another sequence, name another job.
      const std::string why =
          opening.outcome == JobOpening::Outcome::Refused ? opening.message : "Job " + name + " has no number left";
      const std::optional<std::string> answer =
          prompts_.AskText(why + ".\nName a new job for these settings:", "New job", name + "-2");
      if (!answer) return false;
      if (answer->empty()) continue;
      name = *answer;
      opening = open(name, settings);
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

void TMainForm::QtpFileLoaded(const std::string& path) { Area(ledgerArea_).qtpFile = path; }

RunSettings TMainForm::LedgerRunSettings(bool logged) const {
  const LedgerArea& a = Area(ledgerArea_);
  RunSettings settings;
  settings.ledgerOn = a.on;
  settings.location = a.location;
  settings.job = LedgerJobName();
  settings.qtpPath = a.qtpFile;
  if (logged) settings.logPath = productionLog_;
  // Without serial numbers nothing can be stamped twice: such passes go on
  // unrecorded when the ledger cannot be opened.
  settings.recordUnnumbered = false;
  return settings;
}
