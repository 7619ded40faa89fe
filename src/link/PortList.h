#pragma once
// What `writer-cli ports` shows: for Com1 ... Com8 where the port map points
// (or the default device), whether it is free, busy or missing, and for a
// USB adapter its stable name under /dev/serial/by-id, which stays the same
// whichever USB socket the adapter is plugged into.

#include <filesystem>
#include <string>
#include <vector>

#include "link/PortMap.h"

// "Com1 -> /dev/ttyUSB0 free /dev/serial/by-id/usb-USB_Serial_Adapter_A1B2-if00-port0"
std::vector<std::string> PortListing(const std::filesystem::path& portMapDir = PortMapDir(),
                                     const std::filesystem::path& byIdDir = "/dev/serial/by-id");

// "free", "busy", "missing" or "no permission" for the device at path.
std::string PortState(const std::string& path);
