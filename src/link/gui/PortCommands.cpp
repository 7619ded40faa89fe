// The main window's serial link: Comm1, the protocol primitives, the port and
// handshake choice, the start-up probe and the pulse-width edits.

#include <QLineEdit>
#include <QMetaObject>
#include <QSignalBlocker>
#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <string>

#include "app/gui/TMainForm.h"
#include "commands/WriterSession.h"
#include "link/Comm.h"
#include "link/WriterLink.h"
#include "ops/OperationThread.h"

namespace {

// What the start-up probe found, handed from its thread to the window.
struct ProbeOutcome {
  std::int32_t status = kLinkTimeout;
  bool lineFailed = false;  // the serial line failed under the probe
  std::string lineError;
};

// What the window's Writer session says on its own thread: the ledger's
// notes (a new job, passes found interrupted) come up as message boxes.
class WindowListener final : public SessionListener {
 public:
  explicit WindowListener(TMainForm& main) : main_(main) {}
  void Note(const WriterSession&, const std::string& text) override { Show(text, PromptIcon::Information); }
  void LedgerNote(const WriterSession&, const std::string& text) override { Show(text, PromptIcon::Warning); }

 private:
  void Show(const std::string& text, PromptIcon icon) {
    TMainForm* main = &main_;
    QMetaObject::invokeMethod(
        main, [main, text, icon] { main->prompts().Message(text, {}, icon); }, Qt::QueuedConnection);
  }
  TMainForm& main_;
};

SessionSetup WindowSetup(Clock& clock, const SerialDeviceFactory& devices) {
  SessionSetup setup;
  setup.name = "Com1";
  setup.port = {"Com1", 0};
  setup.clock = &clock;
  if (devices) setup.device = devices;
  return setup;
}

struct LinkArea : AreaState {
  LinkArea(TMainForm& main, MainState& state, const SerialDeviceFactory& devices, Clock& clock)
      : listener(main), session(WindowSetup(clock, devices), state, listener), comm(session.Comm()),
        link(session.Link()) {
    // Comm1 as stored with the window: the Writer's line settings come from
    // CheckComPort before every open.
    comm.SetDeviceName("Com2");
    link.SetExplainMissingPort(true);
  }
  WindowListener listener;
  // The Writer on the chosen port: every operation of the window runs on it.
  WriterSession session;
  TComm& comm;
  WriterLink& link;

  // The start-up probe waits up to 3 s for a silent Writer, so it runs on a
  // thread of its own and the window stays usable meanwhile. Its link over
  // Comm1 reads a state of its own, holding only the Writer model the device
  // needed when the probe began: the user may pick another device meanwhile.
  std::unique_ptr<MainState> probeState;
  std::unique_ptr<WriterLink> probeLink;
  std::future<ProbeOutcome> probeResult;  // valid until the outcome is shown or dropped
  int handshakeAtProbe = 0;
  // Declared last: stopped and joined before the line and the links go.
  OperationThread probe;
};

}  // namespace

void TMainForm::CreateLinkArea() { linkArea_ = std::make_unique<LinkArea>(*this, state_, serialDevices_, clock_); }

WriterSession& TMainForm::Session() { return static_cast<LinkArea&>(*linkArea_).session; }
TComm& TMainForm::Comm1() { return static_cast<LinkArea&>(*linkArea_).comm; }
WriterLink& TMainForm::Link() { return static_cast<LinkArea&>(*linkArea_).link; }

PortSelection TMainForm::CurrentPortSelection() const { return {PortChoice(), HandShakeIndex()}; }

HeaderInputs TMainForm::CurrentHeaderInputs() const {
  return {DeviceListText(), PulseWidthVisible(), PulseWidthEdit()->text().toStdString(),
          EraseWidthEdit()->text().toStdString()};
}

bool TMainForm::PortReady() {
  // The start-up probe owns the line until it ends; its message comes first.
  FinishStartupProbe();
  return Link().PortReady(CurrentPortSelection(), prompts_);
}

namespace {

// Shows what a probe found. A line that failed under it (a cable pulled, an
// adapter gone) is reported and the port counts as failed, so the next
// command opens it afresh.
void ShowProbeOutcome(TMainForm& w, const ProbeOutcome& out) {
  if (out.lineFailed) {
    w.Comm1().Close();
    w.State().PortFailed = 1;
    w.prompts().Message(out.lineError, {}, PromptIcon::Error);
  } else {
    w.prompts().Message(ConnectResultText(out.status, w.Comm1().DeviceName()));
  }
}

ProbeOutcome Probe(WriterLink& link) {
  ProbeOutcome out;
  try {
    out.status = link.CheckWriter();
  } catch (const std::exception& e) {
    out.lineFailed = true;
    out.lineError = e.what();
  }
  return out;
}

// Stops the start-up probe, if one is waiting still, and drops its outcome.
void DropStartupProbe(LinkArea& a) {
  a.probe.Stop();
  a.probeResult = {};
}

// Ends the start-up probe: with waitForIt, a silent Writer's time-out is
// waited for and the message shown; without, a probe still waiting is
// stopped and only one that has finished is reported. Then the handshake
// default, unless the user has chosen a handshake meanwhile.
void EndStartupProbe(TMainForm& w, LinkArea& a, bool waitForIt) {
  if (!a.probeResult.valid()) return;
  const bool finished = a.probeResult.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  if (waitForIt || finished) {
    const ProbeOutcome out = a.probeResult.get();
    a.probe.Stop();
    ShowProbeOutcome(w, out);
  } else {
    DropStartupProbe(a);
  }
  // Every system this runs on drives the CTS line like the later Windows
  // family did, so the default handshake is "CTS".
  if (w.HandShakeIndex() == a.handshakeAtProbe) w.SetHandShakeIndex(1);
}

}  // namespace

void TMainForm::ComboBox1Change() {
  // The user's new choice gets a probe and a message of its own.
  EndStartupProbe(*this, static_cast<LinkArea&>(*linkArea_), false);
  Link().CheckComPort(CurrentPortSelection(), prompts_);
  if (state_.PortFailed) return;
  ShowProbeOutcome(*this, Probe(Link()));
}

void TMainForm::StartupProbe() {
  auto& a = static_cast<LinkArea&>(*linkArea_);
  Link().CheckComPort(CurrentPortSelection(), prompts_);
  if (state_.PortFailed) return;
  a.probeState = std::make_unique<MainState>();
  a.probeState->WriterType = state_.WriterType;
  a.probeLink = std::make_unique<WriterLink>(*a.probeState, a.comm, clock_);
  a.handshakeAtProbe = HandShakeIndex();
  auto result = std::make_shared<std::promise<ProbeOutcome>>();
  a.probeResult = result->get_future();
  a.probe.Start(*a.probeLink, [this, link = a.probeLink.get(), result](std::stop_token) {
    result->set_value(Probe(*link));
    // Shown from the window's event loop; a command that came first has shown it already.
    QMetaObject::invokeMethod(this, [this] { FinishStartupProbe(); }, Qt::QueuedConnection);
  });
}

void TMainForm::FinishStartupProbe() { EndStartupProbe(*this, static_cast<LinkArea&>(*linkArea_), true); }

bool TMainForm::StartupProbePending() const { return static_cast<const LinkArea&>(*linkArea_).probeResult.valid(); }

void TMainForm::ShutdownLink() {
  // A probe still waiting for a silent Writer is stopped, not waited for.
  DropStartupProbe(static_cast<LinkArea&>(*linkArea_));
  TComm& comm = Comm1();
  comm.Close();
  if (state_.PortName.empty()) return;  // the port was never set up
  comm.SetDeviceName(state_.PortName);
  comm.SetBaudRate(static_cast<TBaudrate>(state_.PortBaud));
  comm.SetDatabits(static_cast<TDatabits>(state_.PortDataBits));
  comm.SetParity(static_cast<TParity>(state_.PortParity));
  comm.SetStopbits(static_cast<TStopbits>(state_.PortStopBits));
}

namespace {

void ClampEdit(QLineEdit* edit, int defaultValue, int maxValue) {
  const std::string text = edit->text().toStdString();
  const std::string clamped = ClampPulseText(text, defaultValue, maxValue);
  if (clamped == text) return;
  const QSignalBlocker blocker(edit);
  edit->setText(QString::fromStdString(clamped));
}

}  // namespace

void TMainForm::PulseWidthChange() { ClampEdit(PulseWidthEdit(), kPulseWidthDefault, kPulseWidthMax); }
void TMainForm::EraseWidthChange() { ClampEdit(EraseWidthEdit(), kEraseWidthDefault, kEraseWidthMax); }
