#pragma once
// A serial device of this system: a tty opened raw, non-blocking and
// exclusive. "ComN" names are resolved through the port map.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "link/SerialDevice.h"

class PosixSerialDevice final : public SerialDevice {
 public:
  // portMapDir: where "ComN" links live; none = PortMapDir().
  explicit PosixSerialDevice(std::optional<std::filesystem::path> portMapDir = std::nullopt);
  ~PosixSerialDevice() override;

  int Open(const std::string& name) override;
  void Close() override;
  bool IsOpen() const override;
  IoResult Read(void* buffer, std::int32_t count) override;
  IoResult Write(const void* buffer, std::int32_t count, int timeoutMs) override;
  int GetStatus(SerialStatus& status) override;
  int Purge(bool receive, bool transmit) override;
  int GetModemLines(std::uint32_t& lines) override;
  int Escape(CommEscape function) override;
  int GetSettings(SerialSettings& settings) override;
  int ApplySettings(const SerialSettings& settings) override;
  int SetQueueSizes(std::int32_t receive, std::int32_t transmit) override;
  int WaitEvents(std::uint32_t mask, int timeoutMs, std::uint32_t& events) override;
  void CancelWait() override;
  bool WaitReadable(int timeoutMs) override;
  bool WaitModemLine(std::uint32_t line, int timeoutMs) override;
  bool Gone() const override;

  // True while open on a driver that hands over received bytes at once (asked
  // for at open); false where the driver has no such setting, as on a terminal.
  bool LowLatency() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
