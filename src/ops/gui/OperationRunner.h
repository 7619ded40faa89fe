#pragma once
// Runs a window's worker on the main window's Writer session, one pass at a
// time; the session records and logs the passes of Auto Program and force
// write and hands back one report of each. The
// worker's panel calls are queued to the GUI thread and applied to the
// window's controls by objectName, in order, a frame at a time: a stream that
// names its progress two hundred times a second costs the window no more than
// 25 redraws. A name the window's layout lacks is a fault of the worker (an
// assertion in a debug build, a warning otherwise). Main-window routines it
// hands over run on the GUI thread too; message boxes they ask for come up
// after the routine has returned. Stop() asks the worker to stop and waits for
// it; the calls it had queued are dropped, and none reaches a window that is gone.

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "commands/WriterCommands.h"
#include "commands/WriterSession.h"
#include "ops/Operation.h"
#include "ops/OperationPanel.h"

class QWidget;
class QueuedHandover;
class TMainForm;

class OperationRunner : public QObject {
  Q_OBJECT

 public:
  // layout: the controls the worker may name; it must outlive the runner.
  // command: what the session records and logs of the passes.
  OperationRunner(TMainForm& main, QWidget& window, const OperationLayout& layout,
                  WriterCommand command = WriterCommand::BlankCheck);
  ~OperationRunner() override;

  // Starts a pass; a running one is stopped first. The device inputs of the
  // header are taken now, on the GUI thread.
  void Start(Worker worker);
  void Stop();
  // A pass has been started and its worker has not returned yet.
  bool Running() const;
  // Runs `change` on the GUI thread with a panel that changes the window's
  // controls at once: for putting them back between passes.
  void ApplyNow(const std::function<void(OperationPanel&)>& change);

  // The red of a failure line.
  static bool IsRed(const QWidget* control);

 signals:
  // The current pass's worker has returned with this outcome. A fault of the
  // serial line under it (reported in a message box, the worker's own end
  // never came) is a LineFault verdict.
  void Finished(const Outcome& outcome);

 public:
  // The report of the pass that finished last.
  const PassReport& LastReport() const { return report_; }

 private:
  class Panel;
  class PanelHandover;
  class QueuedMessages;

  // A panel call of the worker of `pass`, waiting for the next frame.
  struct Change {
    int pass;
    std::function<void(QWidget&)> apply;
  };
  void Queue(int pass, std::function<void(QWidget&)> apply);  // any thread
  void NextFrame();     // a frame is due: now, or once the last one is old enough
  void ApplyQueued();   // the calls queued so far, in order

  TMainForm& main_;
  QWidget& window_;
  const OperationLayout& layout_;
  int pass_ = 0;
  std::mutex queueMutex_;
  std::vector<Change> queued_;
  bool framePosted_ = false;  // a frame is on its way for what is queued
  QTimer frameTimer_;
  std::chrono::steady_clock::time_point lastFrame_{};
  std::unique_ptr<QueuedMessages> messages_;
  std::unique_ptr<Panel> panel_;
  std::unique_ptr<QueuedHandover> handover_;
  std::unique_ptr<PanelHandover> redraw_;
  WriterCommand command_;
  bool running_ = false;  // a pass has started and its report has not come back
  PassReport report_;
};
