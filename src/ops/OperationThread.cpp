#include "ops/OperationThread.h"

#include <atomic>
#include <memory>

#include "link/WriterLink.h"

void OperationThread::Start(WriterLink& link, std::function<void(std::stop_token)> body) {
  Stop();
  link_ = &link;
  source_ = std::stop_source();
  link.SetStopToken(source_.get_token());
  finished_ = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([body = std::move(body), token = source_.get_token(), done = finished_] {
    body(token);
    done->store(true);
  });
}

void OperationThread::Stop() {
  if (!thread_.joinable()) return;
  source_.request_stop();
  thread_.join();
  link_->SetStopToken({});
}

bool OperationThread::Finished() const { return !finished_ || finished_->load(); }
