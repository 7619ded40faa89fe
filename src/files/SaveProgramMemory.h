#pragma once
// "Save Program Memory": the device's part of ProgramBuffer as a QEL binary image.

#include <cstdint>
#include <string>
#include <vector>

#include "app/MainState.h"

// 8-bit image of all words: low byte, then high byte (bits 8-13).
std::vector<std::uint8_t> ProgramImageBytes(const MainState& state);

// The first ProgramBytes bytes of that image: what the device holds.
std::vector<std::uint8_t> DeviceImageBytes(const MainState& state);

// Writes DeviceImageBytes to path. False (target untouched) on any failure.
bool SaveProgramImage(const MainState& state, const std::string& path);
