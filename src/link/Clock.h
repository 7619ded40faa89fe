#pragma once
// Time as the link sees it. Protocol time-outs, progress ticks and sleeps all
// go through a Clock so tests can run them on a fake one in milliseconds.

#include <chrono>
#include <mutex>

class Clock {
 public:
  using Duration = std::chrono::milliseconds;
  virtual ~Clock() = default;
  // Monotonic time since an arbitrary origin.
  virtual Duration Now() = 0;
  // The same, to the microsecond where the clock has it (a line model at
  // 115200 baud moves a byte in 87 microseconds).
  virtual std::chrono::microseconds PreciseNow() { return Now(); }
  virtual void Sleep(Duration d) = 0;
};

// The real thing: steady_clock and this_thread::sleep_for.
class SystemClock final : public Clock {
 public:
  Duration Now() override;
  std::chrono::microseconds PreciseNow() override;
  void Sleep(Duration d) override;
  static SystemClock& Instance();
};

// A clock that only moves when told to, or by a fixed step on every reading,
// so a loop that waits for a time-out finishes after a bounded number of polls.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(Duration stepPerRead = Duration{0}) : step_(stepPerRead) {}
  Duration Now() override;
  void Sleep(Duration d) override { Advance(d); }
  void Advance(Duration d);
  void SetStepPerRead(Duration d);

 private:
  std::mutex mutex_;
  Duration now_{0};
  Duration step_;
};
