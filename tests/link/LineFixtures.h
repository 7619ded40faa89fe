#pragma once
// The two serial lines the link tests run on: a real pseudo-terminal (the test
// holds the master side) and the in-process device pair.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/DevicePair.h"
#include "link/PosixSerialDevice.h"

using Bytes = std::vector<std::uint8_t>;

// Bounded waits of the tests: long enough for a loaded machine, never hit when all is well.
inline constexpr int kPatienceMs = 5000;

class PtyLine {
 public:
  PtyLine() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    name_ = ::ptsname(master_);
  }
  ~PtyLine() { HangUp(); }
  // The far side goes away, as when the emulator ends.
  void HangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  std::unique_ptr<SerialDevice> MakeDevice() { return std::make_unique<PosixSerialDevice>(); }
  std::string Name() const { return name_; }
  std::string MissingName() const { return "/dev/no-such-serial-device"; }
  void PrepareMissing() {}

  void FarSend(const Bytes& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // What the PC wrote, once n bytes have come (or the patience ran out).
  Bytes FarReceive(std::size_t n) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (got.size() < n && std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      std::uint8_t buf[256];
      const ssize_t r = ::read(master_, buf, sizeof buf);
      if (r > 0) got.insert(got.end(), buf, buf + r);
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string name_;
};

class PairLine {
 public:
  PairLine() {
    pair_.SetReceiver([this](std::span<const std::uint8_t> bytes) {
      std::lock_guard lock(mutex_);
      received_.insert(received_.end(), bytes.begin(), bytes.end());
    });
  }

  std::unique_ptr<SerialDevice> MakeDevice() { return pair_.MakePcEnd(); }
  std::string Name() const { return "Com2"; }
  std::string MissingName() const { return "Com9"; }
  void PrepareMissing() { pair_.FailOpen(ENOENT); }

  void FarSend(const Bytes& bytes) { pair_.SendToPc(bytes); }
  Bytes FarReceive(std::size_t) {
    std::lock_guard lock(mutex_);
    return received_;
  }
  DevicePair& Pair() { return pair_; }

 private:
  DevicePair pair_;
  std::mutex mutex_;
  Bytes received_;
};
