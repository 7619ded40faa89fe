#pragma once
// Thin synchronisation objects used by the comm component: a handle owner,
// events with a time-out and a critical section.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

// Owns one operating-system handle (a file descriptor) and closes it on destruction.
class THandleObject {
 public:
  explicit THandleObject(int handle = -1) : handle_(handle) {}
  virtual ~THandleObject();
  THandleObject(const THandleObject&) = delete;
  THandleObject& operator=(const THandleObject&) = delete;

  int Handle() const { return handle_; }
  // System error code of the last failed wait (see TEvent::WaitFor).
  int LastError() const { return lastError_; }

 protected:
  int handle_;
  int lastError_ = 0;
};

enum class TEventWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// An event that threads wait for with a time-out. Manual reset: stays signalled
// until ResetEvent. Auto reset: one successful wait consumes the signal. The
// handle is pollable (readable while signalled).
class TEvent : public THandleObject {
 public:
  // The security attributes of the original call have no meaning here and are
  // left out; the name is kept for diagnostics only.
  TEvent(bool manualReset, bool initialState, const std::string& name = {});

  // timeoutMs < 0: wait without limit. On wrError the code is in LastError().
  TEventWaitResult WaitFor(std::int32_t timeoutMs);
  void SetEvent();
  void ResetEvent();
  const std::string& Name() const { return name_; }

 private:
  bool manualReset_;
  std::string name_;
};

// Manual reset, not signalled at first, no name.
class TSimpleEvent : public TEvent {
 public:
  TSimpleEvent() : TEvent(true, false) {}
};

// Mutual exclusion; re-entrant on the owning thread like the system's critical section.
class TCriticalSection {
 public:
  void Acquire() { mutex_.lock(); }
  void Release() { mutex_.unlock(); }
  void Enter() { Acquire(); }
  void Leave() { Release(); }
  // For std::lock_guard / std::unique_lock.
  void lock() { Acquire(); }
  void unlock() { Release(); }

 private:
  std::recursive_mutex mutex_;
};
