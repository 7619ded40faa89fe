#pragma once
// The PC's link to an emulated Writer over the in-process line, built and torn
// down in the order its parts need: the clock first, the link last.

#include <memory>
#include <utility>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "files/Checksum.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/WriterLink.h"

template <class ClockType>
struct EmulatedWriter {
  template <class... ClockArgs>
  explicit EmulatedWriter(ClockArgs&&... args) : clock(std::forward<ClockArgs>(args)...) {}

  // Opens Com1 as the window's entry guard would; true when it is open.
  bool OpenLink(int pollIntervalMs = 1) {
    comm.SetDeviceName("Com1");
    comm.Open();
    link.SetPollIntervalMs(pollIntervalMs);
    return comm.Enabled();
  }

  ClockType clock;
  WriterEmulator emulator{clock};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line = AttachEmulator(pair, emulator);
  TComm comm{pair.MakePcEnd()};
  MainState state;
  WriterLink link{state, comm, clock};
};

// A whole K7E1/E3 image of Auto Program's making: every word written, an
// OPTION word each field accepts, the checksums as a load leaves them.
inline void ProgrammableImage(MainState& state) {
  GetICInfo(state, "K7E1/E3");
  for (int n = 0; n < 1024; ++n) state.SetProgramWord(n, static_cast<std::uint16_t>(0x2800 | (n & 0xFF)));
  state.OptionLow = 0x7A;  // the device forces its oscillator bits to 1010b
  state.OptionHigh = 0x5F;
  state.OptionErrors = 0;
  CalChecksum(state);
}

// The first built-in device and a flash part with 64 bytes of data EEPROM
// (kEepromPart), for the EEPROM phases.
inline constexpr const char* kEepromPart = "K7F8/EE";
inline constexpr DeviceRecord kEepromPartRows[] = {
    {"K7E1/E3", 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00, 0x00, 0, 0, 0x3F, 0},
    {"K7F8/EE", 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 2, 0x00, 0x3F, 0, 0, 0x3F, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};
