// The main window's serial link: Comm1, the protocol primitives, the port and
// handshake choice, the start-up probe and the pulse-width edits.

#include <QLineEdit>
#include <QSignalBlocker>

#include "app/gui/TMainForm.h"
#include "link/Comm.h"
#include "link/WriterLink.h"

namespace {

struct LinkArea : AreaState {
  LinkArea(MainState& state, std::unique_ptr<SerialDevice> device, Clock& clock)
      : comm(std::move(device)), link(state, comm, clock) {
    // Comm1 as stored with the window: the Writer's line settings come from
    // CheckComPort before every open.
    comm.SetDeviceName("Com2");
    comm.SetReadBufSize(8192);
    comm.SetWriteBufSize(0);
    comm.SetMonitorEvents(kAllCommEvents);
  }
  TComm comm;
  WriterLink link;
};

}  // namespace

void TMainForm::CreateLinkArea() {
  linkArea_ = std::make_unique<LinkArea>(state_, serialDevices_ ? serialDevices_() : nullptr, clock_);
}

TComm& TMainForm::Comm1() { return static_cast<LinkArea&>(*linkArea_).comm; }
WriterLink& TMainForm::Link() { return static_cast<LinkArea&>(*linkArea_).link; }

PortSelection TMainForm::CurrentPortSelection() const { return {PortChoice(), HandShakeIndex()}; }

HeaderInputs TMainForm::CurrentHeaderInputs() const {
  return {DeviceListText(), PulseWidthVisible(), PulseWidthEdit()->text().toStdString(),
          EraseWidthEdit()->text().toStdString()};
}

bool TMainForm::PortReady() { return Link().PortReady(CurrentPortSelection(), prompts_); }

namespace {

// Opens the chosen port and probes the Writer, as at start-up and on every
// port choice. False when the port could not be opened. A line that fails
// under the probe (a cable pulled, an adapter gone) is reported and the port
// counts as failed, so the next command opens it afresh.
bool OpenAndProbe(TMainForm& w) {
  w.Link().CheckComPort(w.CurrentPortSelection(), w.prompts());
  if (w.State().PortFailed) return false;
  try {
    w.prompts().Message(ConnectResultText(w.Link().CheckWriter(), w.Comm1().DeviceName()));
  } catch (const ECommError& e) {
    w.Comm1().Close();
    w.State().PortFailed = 1;
    w.prompts().Message(e.what(), {}, PromptIcon::Error);
  }
  return true;
}

}  // namespace

void TMainForm::ComboBox1Change() { OpenAndProbe(*this); }

void TMainForm::StartupProbe() {
  if (!OpenAndProbe(*this)) return;
  // Every system this runs on drives the CTS line like the later Windows
  // family did, so the default handshake is "CTS".
  SetHandShakeIndex(1);
}

void TMainForm::ShutdownLink() {
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
