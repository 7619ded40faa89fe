#include "gang/PortProbe.h"

#include <exception>

#include "app/MainState.h"
#include "link/Comm.h"

std::function<std::unique_ptr<SerialDevice>()> LineOf(const PortOpener& ports, const std::string& port) {
  if (!ports) return {};
  return [ports, port] { return ports(port); };
}

PortProbe ProbePort(const std::function<std::unique_ptr<SerialDevice>()>& open, const PortSelection& choice,
                    int writerType, Clock& clock, std::stop_token stop) {
  MainState state;
  state.WriterType = writerType;
  TComm comm(open ? open() : nullptr);
  WriterLink link(state, comm, clock);
  link.SetStopToken(std::move(stop));
  PortProbe out;
  try {
    if (link.Reopen(choice)) {
      const std::int32_t status = link.CheckWriter();
      out.ok = status >= kLinkWriterModel1 && status <= kLinkWriterUniversal;
      out.words = ConnectResultText(status, choice.port);
    } else {
      out.words = PortOpenErrorText(choice.port);
    }
  } catch (const std::exception& e) {
    out.words = e.what();  // the line failed under the probe
  }
  comm.Close();
  return out;
}
