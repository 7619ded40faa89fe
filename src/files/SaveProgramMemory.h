#pragma once
// "Save Program Memory": the device's part of ProgramBuffer as a QEL binary image.

#include <cstdint>
#include <string>
#include <vector>

#include "app/MainState.h"

// 8-bit image of all words: low byte, then high byte (bits 8-13).
std::vector<std::uint8_t> ProgramImageBytes(const MainState& state);

// Writes the first ProgramBytes bytes of the image to path through a temporary
// file beside it, renamed into place. False (target untouched) on any failure.
bool SaveProgramImage(const MainState& state, const std::string& path);

// Writes bytes to path through a temporary file beside it, renamed into place.
bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);
