#pragma once
// An in-process serial line for tests: one end is a SerialDevice for TComm
// (the PC), the other is driven by the test or an emulated Writer.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "link/SerialDevice.h"

class DevicePair {
 public:
  DevicePair();
  ~DevicePair();
  DevicePair(const DevicePair&) = delete;
  DevicePair& operator=(const DevicePair&) = delete;

  // Hand to TComm; any name opens. Exclusive like a real port: a second open
  // while open fails with EBUSY. The end may outlive the pair.
  std::unique_ptr<SerialDevice> MakePcEnd();

  // The far end (the Writer's side). The receiver gets every chunk the PC
  // writes, on the writing thread, before the PC's Write returns; it may call
  // SendToPc and the Set... functions from inside (no deadlock).
  void SetReceiver(std::function<void(std::span<const std::uint8_t>)> receiver);
  // Queues bytes for the PC to read; dropped while the PC end is closed.
  void SendToPc(std::span<const std::uint8_t> bytes);

  // Modem inputs of the PC end. At first CTS and DSR are on.
  void SetCts(bool on);
  void SetDsr(bool on);
  void SetRing(bool on);
  void SetRlsd(bool on);

  // Next opens fail with this system error code; 0 = open normally.
  void FailOpen(int systemErrorCode);
  // Reads and writes of the open PC end fail with this code, as when the
  // cable is pulled (EIO: the device is gone); 0 = they work.
  void FailIo(int systemErrorCode);

  // Outputs of the PC end as the far end sees them.
  bool Dtr() const;
  bool Rts() const;
  bool Break() const;
  bool PcOpen() const;
  // The line settings the PC applied last.
  SerialSettings Settings() const;

  struct Line;

 private:
  std::shared_ptr<Line> line_;
};
