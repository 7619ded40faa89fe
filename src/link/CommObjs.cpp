#include "link/CommObjs.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

THandleObject::~THandleObject() {
  if (handle_ >= 0) ::close(handle_);
}

// An eventfd: readable while signalled, so it can also be polled beside a device.
TEvent::TEvent(bool manualReset, bool initialState, const std::string& name)
    : THandleObject(::eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)),
      manualReset_(manualReset),
      name_(name) {
  if (handle_ < 0) lastError_ = errno;
}

TEventWaitResult TEvent::WaitFor(std::int32_t timeoutMs) {
  if (handle_ < 0) return TEventWaitResult::wrError;
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd p{handle_, POLLIN, 0};
    const int r = ::poll(&p, 1, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      return TEventWaitResult::wrError;
    }
    if (r == 0) return TEventWaitResult::wrTimeout;
    if (manualReset_) return TEventWaitResult::wrSignaled;
    std::uint64_t value = 0;
    if (::read(handle_, &value, sizeof value) == sizeof value) return TEventWaitResult::wrSignaled;
    // Another waiter took the signal first: wait on.
    if (errno != EAGAIN && errno != EINTR) {
      lastError_ = errno;
      return TEventWaitResult::wrError;
    }
  }
}

void TEvent::SetEvent() {
  if (handle_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(handle_, &one, sizeof one);
}

void TEvent::ResetEvent() {
  if (handle_ < 0) return;
  std::uint64_t value = 0;
  [[maybe_unused]] auto n = ::read(handle_, &value, sizeof value);
}
