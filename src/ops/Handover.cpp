#include "ops/Handover.h"

bool InlineHandover::Run(const std::function<void()>& fn, std::stop_token stop) {
  if (stop.stop_requested()) return false;
  fn();
  return true;
}

struct QueuedHandover::Task {
  const std::function<void()>* fn;  // valid while its worker waits
  bool done = false;
  bool dropped = false;
};

QueuedHandover::QueuedHandover(std::function<void()> wake) : wake_(std::move(wake)) {}

QueuedHandover::~QueuedHandover() { Close(); }

bool QueuedHandover::Run(const std::function<void()>& fn, std::stop_token stop) {
  auto task = std::make_shared<Task>();
  task->fn = &fn;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || stop.stop_requested()) return false;
    queue_.push_back(task);
  }
  if (wake_) wake_();
  std::unique_lock lock(mutex_);
  done_.wait(lock, stop, [&] { return task->done || task->dropped; });
  if (!task->done) {
    // Stopped while queued: the routine must never run once we have returned.
    task->dropped = true;
    return false;
  }
  return true;
}

void QueuedHandover::Serve() {
  if (serving_) return;
  serving_ = true;
  struct Done {
    bool& serving;
    ~Done() { serving = false; }
  } done{serving_};
  for (;;) {
    std::unique_lock lock(mutex_);
    if (queue_.empty()) return;
    auto task = queue_.front();
    queue_.pop_front();
    if (task->dropped) continue;
    // The worker waits under the same lock for done or dropped, so running the
    // routine with the lock held keeps its function alive; routines are short
    // and never hand over again.
    (*task->fn)();
    task->done = true;
    lock.unlock();
    done_.notify_all();
  }
}

void QueuedHandover::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (auto& task : queue_) task->dropped = true;
    queue_.clear();
  }
  done_.notify_all();
}
