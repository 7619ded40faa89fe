#pragma once
// Acting on a modal dialog that the code under test opens with exec().

#include <QApplication>
#include <QTimer>
#include <functional>

// Runs action on the next modal Dialog as soon as it is up. The action must
// close the dialog. Gives up after a bounded number of event-loop turns.
template <class Dialog>
void OnNextModal(std::function<void(Dialog*)> action) {
  auto* timer = new QTimer;
  auto turns = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, turns, action] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr && ++*turns < 1000) return;
    timer->stop();
    timer->deleteLater();
    if (dialog != nullptr) action(dialog);
  });
  timer->start(0);
}

inline void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
