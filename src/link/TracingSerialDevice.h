#pragma once
// A wire trace: a SerialDevice that passes everything to the real one and
// writes every byte each way to a text stream, one line per run of bytes in
// one direction, stamped with the milliseconds since the port was opened:
//
//   12 > A0
//   13 < B4
//   15 > A1 00 00 FF 03 00 30 02 C1 A5
//
// ">" is to the Writer, "<" from it; bytes in upper-case hex. A run ends when
// the direction turns and when the port closes. It is what a technician sends
// when a Writer misbehaves (writer-cli --trace FILE, WRITER_TRACE=FILE).

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "link/Clock.h"
#include "link/SerialDevice.h"

// A trace file, emptied; null when it cannot be written.
std::shared_ptr<std::ostream> OpenTraceFile(const std::string& path);

class TracingSerialDevice final : public SerialDevice {
 public:
  // The trace goes to out; clock stamps it.
  TracingSerialDevice(std::unique_ptr<SerialDevice> device, std::shared_ptr<std::ostream> out, Clock& clock);
  ~TracingSerialDevice() override;

  int Open(const std::string& name) override;
  void Close() override;
  bool IsOpen() const override { return device_->IsOpen(); }
  IoResult Read(void* buffer, std::int32_t count) override;
  IoResult Write(const void* buffer, std::int32_t count, int timeoutMs) override;
  int GetStatus(SerialStatus& status) override { return device_->GetStatus(status); }
  int Purge(bool receive, bool transmit) override { return device_->Purge(receive, transmit); }
  int GetModemLines(std::uint32_t& lines) override { return device_->GetModemLines(lines); }
  int Escape(CommEscape function) override { return device_->Escape(function); }
  int GetSettings(SerialSettings& settings) override { return device_->GetSettings(settings); }
  int ApplySettings(const SerialSettings& settings) override { return device_->ApplySettings(settings); }
  int SetQueueSizes(std::int32_t receive, std::int32_t transmit) override {
    return device_->SetQueueSizes(receive, transmit);
  }
  int WaitEvents(std::uint32_t mask, int timeoutMs, std::uint32_t& events) override {
    return device_->WaitEvents(mask, timeoutMs, events);
  }
  void CancelWait() override { device_->CancelWait(); }
  bool WaitReadable(int timeoutMs) override { return device_->WaitReadable(timeoutMs); }
  bool WaitModemLine(std::uint32_t line, int timeoutMs) override { return device_->WaitModemLine(line, timeoutMs); }
  bool Gone() const override { return device_->Gone(); }

 private:
  void Record(char direction, Clock::Duration at, const void* bytes, std::int32_t count);
  void EndRun();  // caller holds mutex_

  std::unique_ptr<SerialDevice> device_;
  std::shared_ptr<std::ostream> out_;
  Clock& clock_;
  std::mutex mutex_;
  Clock::Duration opened_{};
  char direction_ = 0;  // of the run being written, 0 when none
  std::string run_;
};
