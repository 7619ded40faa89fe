#pragma once
// Main-window routines a worker needs (storing what it read, the checksums,
// the panel texts) run where the main window runs, one at a time, so MainState
// has one writer at a time. The worker hands the routine over and waits.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

class Handover {
 public:
  virtual ~Handover() = default;
  // Runs fn on the main window's thread and waits until it has run. False when
  // the stop came first (or the hand-over is closed): fn then never runs.
  virtual bool Run(const std::function<void()>& fn, std::stop_token stop) = 0;
};

// writer-cli and tests without a GUI thread: the routine runs on the caller.
class InlineHandover final : public Handover {
 public:
  bool Run(const std::function<void()>& fn, std::stop_token stop) override;
};

// A queue some other thread serves: the GUI thread of an operation window, or
// the thread that plays the GUI in a test.
class QueuedHandover final : public Handover {
 public:
  // wake is called on the worker after a routine was queued, so the serving
  // thread calls Serve() soon. Whatever must see the routine's result before
  // the worker goes on (a panel redraw) belongs inside the routine.
  explicit QueuedHandover(std::function<void()> wake);
  ~QueuedHandover() override;

  bool Run(const std::function<void()>& fn, std::stop_token stop) override;
  // Runs the queued routines; on the serving thread only. A call from within
  // a routine (a wake-up delivered inside an event loop the routine runs)
  // returns at once: the call already serving goes on with the queue.
  void Serve();
  // Drops what is queued and refuses what comes; waiting workers return false.
  void Close();

 private:
  struct Task;
  std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable_any done_;
  std::deque<std::shared_ptr<Task>> queue_;
  bool closed_ = false;
  bool serving_ = false;  // serving thread only
};
