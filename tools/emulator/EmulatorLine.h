#pragma once
// Wires a WriterEmulator to the far end of an in-process DevicePair, so TComm
// talks to an emulated Writer: bytes the PC writes reach the emulator on the
// PC's writing thread, replies go back with SendToPc and CTS follows the
// emulator (low while it is busy, high when it is ready for the next byte).
//
// Without a line model the emulator answers at once from inside the PC's
// Write. With one, a pump thread delivers the paced replies when they fall
// due; it sleeps between events and is stopped by the destructor.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "emulator/WriterEmulator.h"

class DevicePair;

class EmulatorLine {
 public:
  EmulatorLine(DevicePair& pair, WriterEmulator& emulator);
  // Detaches from the pair and the emulator. Close the PC end first: a Write
  // still running on another thread may be inside the emulator.
  ~EmulatorLine();
  EmulatorLine(const EmulatorLine&) = delete;
  EmulatorLine& operator=(const EmulatorLine&) = delete;

  // Wakes the pump after a change made directly on the emulator (a new line
  // model, a fault) so that it re-reads when the next event is due.
  void Poke();

 private:
  void Run(std::stop_token stop);

  DevicePair& pair_;
  WriterEmulator& emulator_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool poked_ = false;
  std::jthread pump_;
};

// The usual way to use it: keep the result alive while the pair is in use.
[[nodiscard]] std::unique_ptr<EmulatorLine> AttachEmulator(DevicePair& pair, WriterEmulator& emulator);
