#include "link/TracingSerialDevice.h"

#include <cstdio>
#include <fstream>

std::shared_ptr<std::ostream> OpenTraceFile(const std::string& path) {
  auto file = std::make_shared<std::ofstream>(path, std::ios::trunc);
  if (!*file) return nullptr;
  return file;
}

TracingSerialDevice::TracingSerialDevice(std::unique_ptr<SerialDevice> device, std::shared_ptr<std::ostream> out,
                                         Clock& clock)
    : device_(std::move(device)), out_(std::move(out)), clock_(clock) {}

TracingSerialDevice::~TracingSerialDevice() { Close(); }

int TracingSerialDevice::Open(const std::string& name) {
  const int error = device_->Open(name);
  if (error == 0) {
    std::lock_guard lock(mutex_);
    opened_ = clock_.Now();
  }
  return error;
}

void TracingSerialDevice::Close() {
  device_->Close();
  std::lock_guard lock(mutex_);
  EndRun();
}

IoResult TracingSerialDevice::Read(void* buffer, std::int32_t count) {
  const IoResult r = device_->Read(buffer, count);
  if (r.count > 0) Record('<', clock_.Now(), buffer, r.count);
  return r;
}

IoResult TracingSerialDevice::Write(const void* buffer, std::int32_t count, int timeoutMs) {
  // Stamped as it leaves: a write may wait for the line.
  const Clock::Duration at = clock_.Now();
  const IoResult r = device_->Write(buffer, count, timeoutMs);
  if (r.count > 0) Record('>', at, buffer, r.count);
  return r;
}

void TracingSerialDevice::Record(char direction, Clock::Duration at, const void* bytes, std::int32_t count) {
  std::lock_guard lock(mutex_);
  if (direction != direction_) {
    EndRun();
    direction_ = direction;
    run_ = std::to_string((at - opened_).count()) + ' ' + direction;
  }
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  for (std::int32_t i = 0; i < count; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", p[i]);
    run_ += hex;
  }
}

void TracingSerialDevice::EndRun() {
  if (direction_ == 0) return;
  // Flushed line by line: the trace of a program that crashed is the one wanted.
  *out_ << run_ << std::endl;
  direction_ = 0;
  run_.clear();
}
