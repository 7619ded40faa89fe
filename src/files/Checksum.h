#pragma once
// The buffer checksums shown beside the device panel, and the OPTION word
// brought into the form the selected device allows.

#include <cstdint>
#include <string>

struct MainState;

// Device masks applied in place: AND with the masks in the state, then OR with
// the force values of the device row DeviceIndex. Without a valid row the
// bytes are left as they are.
void ApplyOptionMasks(MainState& state);

// Sets CodeSum, Panel.Label11 (data), Panel.OptChecksum (data plus OPTION) and
// Panel.ProtectSum (read-back of a protected IC), normalising the OPTION word
// on the way.
void CalChecksum(MainState& state);

// A 16-bit value as four upper-case hex digits.
std::string Hex4(std::uint32_t value);
