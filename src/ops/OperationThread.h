#pragma once
// One worker on a thread of its own, as an operation window runs it. Stop()
// asks the worker to stop and joins it: every wait of a worker and of the
// link looks at the stop at least every few milliseconds, so it returns
// promptly and leaves no lock held. The link gets its stop token for the
// worker's lifetime and an unstoppable one back afterwards, so the GUI
// thread's next probe waits normally.

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

class WriterLink;

class OperationThread {
 public:
  OperationThread() = default;
  ~OperationThread() { Stop(); }
  OperationThread(const OperationThread&) = delete;
  OperationThread& operator=(const OperationThread&) = delete;

  // Starts body(token) on a new thread; a running worker is stopped first.
  void Start(WriterLink& link, std::function<void(std::stop_token)> body);
  void Stop();
  bool Started() const { return thread_.joinable(); }
  // True once the worker has returned (or none was started).
  bool Finished() const;

 private:
  WriterLink* link_ = nullptr;
  std::stop_source source_{std::nostopstate};
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> finished_;
};
