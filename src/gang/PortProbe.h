#pragma once
// What the gang window shows for a Writer as soon as it is chosen: its port
// opened and the Writer asked, as the main window does at start-up.

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "link/WriterLink.h"

class Clock;
class SerialDevice;

// Opens the line of "Com1" ... "Com8"; empty: the ports of the port map.
using PortOpener = std::function<std::unique_ptr<SerialDevice>(const std::string& port)>;
// The opener of one port's line; empty for the system's device.
std::function<std::unique_ptr<SerialDevice>()> LineOf(const PortOpener& ports, const std::string& port);

struct PortProbe {
  bool ok = false;    // the Writer answered with a model
  std::string words;  // "Connect OK!", "Connect COM3 Timeout!!", "Open  COM3 Port Error!!" ...
};

// Opens `choice.port` on the line `open` gives (empty: the system's), asks
// the Writer and closes the port again. writerType: the model the selected
// device needs.
PortProbe ProbePort(const std::function<std::unique_ptr<SerialDevice>()>& open, const PortSelection& choice,
                    int writerType, Clock& clock, std::stop_token stop);
