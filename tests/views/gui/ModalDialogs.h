#pragma once
// Acting on a modal dialog that the code under test opens with exec().

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

// Runs action on the next modal Dialog as soon as it is up. The action must
// close the dialog. Gives up after ten seconds without one.
template <class Dialog>
void OnNextModal(std::function<void(Dialog*)> action) {
  auto* timer = new QTimer;
  // Bounded by time, not turns: a dialog may wait on a thread (the ledger)
  // before it is shown, and the event loop turns meanwhile.
  auto since = std::make_shared<QElapsedTimer>();
  since->start();
  QObject::connect(timer, &QTimer::timeout, [timer, since, action] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr && since->elapsed() < 10000) return;
    timer->stop();
    timer->deleteLater();
    if (dialog != nullptr) action(dialog);
  });
  timer->start(0);
}

inline void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
