#include "ops/gui/OperationRunner.h"

#include <QListWidget>
#include <QPalette>
#include <QtGlobal>
#include <QProgressBar>
#include <QAbstractButton>
#include <QLabel>
#include <algorithm>
#include <exception>
#include <optional>
#include <string>

#include "app/gui/TMainForm.h"
#include "link/Comm.h"
#include "ops/Handover.h"
#include "ops/OperationPanel.h"

namespace {

const QColor kRed(255, 0, 0);
// The shortest time between two redraws of the window: 25 a second.
constexpr std::chrono::milliseconds kFrame(40);

}  // namespace

// The worker's side: every call is queued to the runner with its pass number
// and applied on the GUI thread only while that pass is the current one. A
// panel of pass kNow, used on the GUI thread itself, applies each call at once.
class OperationRunner::Panel final : public OperationPanel {
 public:
  static constexpr int kNow = -1;
  Panel(OperationRunner& runner, int pass) : runner_(runner), pass_(pass) {}

  void SetText(std::string_view control, std::string_view text) override {
    if (!Known(control)) return;
    Post([c = Name(control), t = QString::fromUtf8(text.data(), static_cast<int>(text.size()))](QWidget& w) {
      QWidget* target = w.findChild<QWidget*>(c);
      if (auto* label = qobject_cast<QLabel*>(target)) label->setText(t);
      else if (auto* button = qobject_cast<QAbstractButton*>(target)) button->setText(t);
    });
  }
  void SetRed(std::string_view control) override {
    if (!Known(control)) return;
    Post([c = Name(control)](QWidget& w) { SetTextColour(w, c, kRed); });
  }
  void ClearRed(std::string_view control) override {
    if (!Known(control)) return;
    Post([c = Name(control)](QWidget& w) { SetTextColour(w, c, w.palette().color(QPalette::WindowText)); });
  }
  void SetVisible(std::string_view control, bool visible) override {
    if (!Known(control)) return;
    Post([c = Name(control), visible](QWidget& w) {
      if (auto* target = w.findChild<QWidget*>(c)) target->setVisible(visible);
    });
  }
  void SetEnabled(std::string_view control, bool enabled) override {
    if (!Known(control)) return;
    Post([c = Name(control), enabled](QWidget& w) {
      if (auto* target = w.findChild<QWidget*>(c)) target->setEnabled(enabled);
    });
  }
  void SetGauge(int percent) override {
    Post([percent](QWidget& w) {
      if (auto* gauge = w.findChild<QProgressBar*>("CGauge1")) gauge->setValue(std::clamp(percent, 0, 100));
    });
  }
  void Message(std::string_view text) override {
    TMainForm* main = &runner_.main_;
    Post([main, t = std::string(text)](QWidget&) { main->prompts().Message(t); });
  }
  void SelectRow(int row) override {
    Post([row](QWidget& w) {
      if (auto* list = w.findChild<QListWidget*>()) list->setCurrentRow(row);
    });
  }

 private:
  // The worker names only controls of its window's layout.
  bool Known(std::string_view control) const {
    if (runner_.layout_.Names(control)) return true;
    const std::string name(control);
    qWarning("The window \"%s\" has no control \"%s\"", runner_.layout_.caption.c_str(), name.c_str());
    Q_ASSERT_X(false, "OperationRunner", "a worker named a control its window does not have");
    return false;
  }
  static void SetTextColour(QWidget& window, const QString& control, const QColor& colour) {
    if (auto* target = window.findChild<QWidget*>(control)) {
      QPalette palette = target->palette();
      palette.setColor(QPalette::WindowText, colour);
      target->setPalette(palette);
    }
  }
  static QString Name(std::string_view control) {
    return QString::fromUtf8(control.data(), static_cast<int>(control.size()));
  }

  template <class Apply>
  void Post(Apply apply) {
    if (pass_ == kNow)
      apply(runner_.window_);
    else
      runner_.Queue(pass_, std::move(apply));
  }

  OperationRunner& runner_;
  const int pass_;
};

// Runs the worker's routines on the GUI thread and redraws the main window's
// panel there while the worker still waits: the panel reads fields the worker
// writes between hand-overs (the device index of each header), so it must not
// be drawn once the worker has gone on. Most routines only read; the panel is
// drawn again only when what it shows has changed.
class OperationRunner::PanelHandover final : public Handover {
 public:
  PanelHandover(QueuedHandover& queue, TMainForm& main) : queue_(queue), main_(main) {}
  bool Run(const std::function<void()>& fn, std::stop_token stop) override {
    return queue_.Run(
        [&] {
          fn();
          Shown now{main_.State().Panel, main_.State().SerialMode, main_.State().DeviceIndex};
          if (drawn_ && *drawn_ == now) return;
          main_.ShowPanel();
          drawn_ = std::move(now);
        },
        stop);
  }

 private:
  // What ShowPanel draws from.
  struct Shown {
    PanelTexts panel;
    int serialMode;
    int deviceIndex;
    bool operator==(const Shown&) const = default;
  };
  QueuedHandover& queue_;
  TMainForm& main_;
  std::optional<Shown> drawn_;  // GUI thread only
};

// The message boxes of the routines a worker hands over. A box runs an event
// loop of its own, and one inside a routine would serve the hand-over again
// from within: each comes up once the routine has returned. No routine asks a
// question; one that did would get the safe answer.
class OperationRunner::QueuedMessages final : public Prompts {
 public:
  explicit QueuedMessages(TMainForm& main) : main_(main) {}
  void Message(const std::string& text, const std::string& caption, PromptIcon icon) override {
    TMainForm* main = &main_;
    QMetaObject::invokeMethod(
        main, [main, text, caption, icon] { main->prompts().Message(text, caption, icon); }, Qt::QueuedConnection);
  }
  PromptAnswer Ask(const std::string&, const std::string&, PromptButtons buttons, PromptIcon) override {
    return SafeAnswer(buttons);
  }
  std::optional<FileChoice> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileChoice> SaveFile(const FileDialogRequest&) override { return std::nullopt; }

 private:
  TMainForm& main_;
};

OperationRunner::OperationRunner(TMainForm& main, QWidget& window, const OperationLayout& layout,
                                 WriterCommand command)
    : main_(main),
      window_(window),
      layout_(layout),
      messages_(std::make_unique<QueuedMessages>(main)),
      command_(command) {
  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, &OperationRunner::ApplyQueued);
}

OperationRunner::~OperationRunner() { Stop(); }

bool OperationRunner::IsRed(const QWidget* control) {
  return control && control->palette().color(QPalette::WindowText) == kRed;
}

bool OperationRunner::Running() const { return running_; }

void OperationRunner::ApplyNow(const std::function<void(OperationPanel&)>& change) {
  Panel now(*this, Panel::kNow);
  change(now);
}

void OperationRunner::Start(Worker worker) {
  Stop();
  // The Writer went away under an earlier pass or since ("Continue" after a
  // cable was re-seated): the port is opened afresh through the port map. If
  // it still cannot be, the pass's first stage says the Writer does not answer.
  if (main_.Link().PortGone()) main_.Link().Reopen(main_.CurrentPortSelection());
  const int pass = ++pass_;
  panel_ = std::make_unique<Panel>(*this, pass);
  handover_ = std::make_unique<QueuedHandover>([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          // What the worker showed before it handed the routine over comes first.
          ApplyQueued();
          if (handover_) handover_->Serve();
        },
        Qt::QueuedConnection);
  });
  redraw_ = std::make_unique<PanelHandover>(*handover_, main_);
  running_ = true;
  main_.Session().StartOperation(
      command_, std::move(worker), *panel_, *redraw_, messages_.get(), main_.CurrentHeaderInputs(),
      [this, pass](PassReport report, std::string fault) {
        QMetaObject::invokeMethod(
            this,
            [this, pass, fault, report = std::move(report)] {
              if (pass_ != pass) return;
              ApplyQueued();
              // The worker has returned: the join is immediate, and whoever
              // hears of the end finds the pass over (a "Continue" may start the next).
              main_.Session().Join();
              running_ = false;
              if (!fault.empty()) {
                // The port is opened afresh by the next command's entry guard.
                main_.Comm1().Close();
                main_.State().PortFailed = 1;
              }
              report_ = report;
              emit Finished(report.outcome);
              if (!fault.empty()) main_.prompts().Message(fault, {}, PromptIcon::Error);
            },
            Qt::QueuedConnection);
      });
}

void OperationRunner::Stop() {
  // A window closed mid-pass: the worker stops, and the session records the
  // pass interrupted on its own thread before it is joined.
  if (handover_) handover_->Close();
  if (running_) {
    main_.Session().StopNow();
    main_.Session().Join();
    running_ = false;
  }
  // What the stopped worker left in the queue belongs to a finished pass.
  ++pass_;
  std::lock_guard lock(queueMutex_);
  queued_.clear();
}

void OperationRunner::Queue(int pass, std::function<void(QWidget&)> apply) {
  {
    std::lock_guard lock(queueMutex_);
    queued_.push_back({pass, std::move(apply)});
    if (framePosted_) return;
    framePosted_ = true;
  }
  QMetaObject::invokeMethod(this, &OperationRunner::NextFrame, Qt::QueuedConnection);
}

void OperationRunner::NextFrame() {
  const auto since = std::chrono::steady_clock::now() - lastFrame_;
  if (since >= kFrame)
    ApplyQueued();
  else if (!frameTimer_.isActive())
    frameTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(kFrame - since));
}

void OperationRunner::ApplyQueued() {
  std::vector<Change> changes;
  {
    std::lock_guard lock(queueMutex_);
    changes.swap(queued_);
    framePosted_ = false;
  }
  frameTimer_.stop();
  if (changes.empty()) return;
  lastFrame_ = std::chrono::steady_clock::now();
  for (const Change& change : changes)
    if (change.pass == pass_) change.apply(window_);
}
