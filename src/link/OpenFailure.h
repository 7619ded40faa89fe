#pragma once
// Why a port did not open, in words a person at the station can act on:
// writer-cli prints it under "Open  ... Port Error!!".

#include <filesystem>
#include <string>

#include "link/PortMap.h"

// The reason for the system error `error` of opening `name` ("Com3" or a
// device path): busy (and by which program, when the system's lock table
// says), missing, no permission (and the group to join), not a serial device.
// Empty when error is 0 (the port opened but refused its line settings).
std::string PortOpenFailureReason(const std::string& name, int error,
                                  const std::filesystem::path& portMapDir = PortMapDir());

// The program holding an advisory lock on the file at path, as
// "writer-cli, process 1234"; empty when nobody does or it cannot be told.
std::string LockHolder(const std::filesystem::path& path);
