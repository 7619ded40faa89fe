#pragma once
// The few calls a window waits on that may wait on the part ledger (a
// dialog's OK, Start of the gang) run on a thread of their own while the
// window goes on drawing itself; clicks and keys wait until the call is back.
// Nothing that may wait on the database runs on the GUI thread.

#include <QEventLoop>
#include <QMetaObject>
#include <exception>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

template <class Fn>
auto OffGuiThread(Fn&& fn) -> decltype(fn()) {
  using Result = decltype(fn());
  QEventLoop loop;
  std::exception_ptr error;
  std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> result{};
  std::thread thread([&] {
    try {
      if constexpr (std::is_void_v<Result>)
        fn();
      else
        result.emplace(fn());
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  thread.join();
  if (error) std::rethrow_exception(error);
  if constexpr (!std::is_void_v<Result>) return std::move(*result);
}
