#include "link/Clock.h"

#include <thread>

Clock::Duration SystemClock::Now() {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

std::chrono::microseconds SystemClock::PreciseNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::Sleep(Duration d) { std::this_thread::sleep_for(d); }

SystemClock& SystemClock::Instance() {
  static SystemClock clock;
  return clock;
}

Clock::Duration FakeClock::Now() {
  std::lock_guard lock(mutex_);
  const Duration t = now_;
  now_ += step_;
  return t;
}

void FakeClock::Advance(Duration d) {
  std::lock_guard lock(mutex_);
  now_ += d;
}

void FakeClock::SetStepPerRead(Duration d) {
  std::lock_guard lock(mutex_);
  step_ = d;
}
