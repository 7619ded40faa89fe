#include "gang/gui/TGangForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>
#include <tuple>

#include "app/gui/OffGuiThread.h"
#include "app/gui/TMainForm.h"
#include "commands/RunPreparation.h"
#include "commands/WriterSession.h"
#include "gang/PortProbe.h"
#include "link/PortMap.h"
#include "production/WriterSettings.h"

namespace {

// The shortest time between two redraws of the tiles: 25 a second.
constexpr std::chrono::milliseconds kFrame(40);

// How often the window looks for Writers whose station has ended.
constexpr std::chrono::milliseconds kWatch(50);
// The panel lines a tile keeps.
constexpr std::size_t kTileLines = 12;

std::string PortName(int index) { return "Com" + std::to_string(index + 1); }

// A box of two options side by side with the others, the first chosen.
struct Option {
  const char* name;
  const char* caption;
};
std::pair<QRadioButton*, QRadioButton*> AddChoice(QHBoxLayout& row, const char* name, const char* title,
                                                  Option first, Option second) {
  auto* box = new QGroupBox(title);
  box->setObjectName(name);
  auto* column = new QVBoxLayout(box);
  QRadioButton* buttons[2];
  for (int i = 0; i < 2; ++i) {
    const Option& option = i == 0 ? first : second;
    buttons[i] = new QRadioButton(option.caption, box);
    buttons[i]->setObjectName(option.name);
    column->addWidget(buttons[i]);
  }
  buttons[0]->setChecked(true);
  row.addWidget(box);
  return {buttons[0], buttons[1]};
}

// The tiles' own room: as large as the grid wants, so the window's size
// follows its tiles; it scrolls only where the screen holds less.
class TileScroll final : public QScrollArea {
 public:
  explicit TileScroll(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  QSize sizeHint() const override {
    const QSize grid = widget() ? widget()->sizeHint() : QSize();
    return grid + QSize(2 * frameWidth(), 2 * frameWidth());
  }
};

// Writer.ini keys of the window's choices.
constexpr const char* kPortsKey = "GangWriters";      // "Com1 Com3"
constexpr const char* kPassKey = "GangPass";          // 0 Auto Program, 1 without Blank Check
constexpr const char* kNextPartKey = "GangNextPart";  // 0 when a part is seated, 1 Continue button

constexpr int kMostColumns = 4;

void KeepLast(std::vector<std::string>& lines) {
  if (lines.size() > kTileLines) lines.erase(lines.begin(), lines.end() - kTileLines);
}

// What a station's words do to its tile. A verdict stays up while the Writer
// waits for its part to be taken out and the next seated, or has finished:
// the technician sorts good parts from bad by the colour.
void ShowWords(GangTileView& v, const std::string& words) {
  using Tone = GangTileView::Tone;
  // "Writer does not answer", "Writer answers wrongly": red, with the last
  // verdict under it; the Writer back, the tile waits again.
  const bool trouble = words.starts_with("Writer ");
  const bool troubleShown = v.status.starts_with("Writer ");
  if (trouble) {
    if (!troubleShown) v.activity = v.tone == Tone::Ok || v.tone == Tone::Fail ? v.status : std::string();
    v.tone = Tone::Fail;
    v.status = words;
    return;
  }
  if (troubleShown) v.tone = Tone::Idle;
  const bool verdictShown = v.tone == Tone::Ok || v.tone == Tone::Fail;
  if (words.starts_with("OK")) {
    v.tone = Tone::Ok;
  } else if (words.starts_with("FAIL") || words.ends_with(" error")) {  // "Port error", "Ledger error"
    v.tone = Tone::Fail;
  } else if (words.starts_with("Waiting") || words == "Finished" || words == "Stopped") {
    if (verdictShown) {
      v.activity = words;
      return;
    }
    v.tone = Tone::Idle;
  } else {
    v.tone = Tone::Busy;  // a pass under way
  }
  v.status = words;
  v.activity.clear();
}

}  // namespace

// What every Writer of one run shares: the options chosen at Start and the
// run's job, ledger and log, prepared once as every front end prepares them.
struct TGangForm::Run {
  WriterCommand command = WriterCommand::AutoProgram;
  bool waitForPart = true;
  HeaderInputs inputs;
  int handshake = 0;
  std::shared_ptr<const RunStart> prepared;
};

// One chosen Writer: its tile, the probe made when it was chosen, and the
// session of its passes (a copy of the image as the main window held it at
// Start, its own ledger connection). Its listener calls come on its thread.
struct TGangForm::Writer final : SessionListener {
  Writer(TGangForm& f, std::string p) : form(f), port(std::move(p)) {}

  void StateChanged(const WriterSession&, const std::string& words) override {
    form.Change(*this, [&](GangTileView& v) { ShowWords(v, words); });
  }
  void Progress(const WriterSession&, int percent) override {
    form.Change(*this, [&](GangTileView& v) { v.gauge = percent; });
  }
  void Note(const WriterSession&, const std::string& text) override {
    form.Change(*this, [&](GangTileView& v) {
      v.lines.push_back(text);
      KeepLast(v.lines);
    });
  }
  void PassEnded(const WriterSession&, const PassReport& pass) override {
    form.Change(*this, [&](GangTileView& v) {
      ++v.passes;
      if (pass.outcome.Succeeded()) {
        v.gauge = 100;  // the stream reports its progress a word row at a time
        if (!pass.serial.empty()) v.lastSerial = pass.serial;
      }
      v.lines = pass.lines;
      // Why the Writer stopped, where the technician looks.
      if (!pass.outcome.ledgerError.empty()) v.lines.push_back(pass.outcome.ledgerError);
      if (!pass.logError.empty()) v.lines.push_back(pass.logError);
      KeepLast(v.lines);
    });
    // The main window's status line and panel follow the passes made here.
    QMetaObject::invokeMethod(&form, [f = &form, pass] { f->main_.PassReported(pass, true); }, Qt::QueuedConnection);
  }

  TGangForm& form;
  std::string port;
  TGangTile* tile = nullptr;
  GangTileView view;     // the latest, under changedMutex_
  bool changed = false;  // under changedMutex_
  std::jthread probe;    // opens the port and asks the Writer, once chosen
  std::unique_ptr<WriterSession> session;  // last: stopped and joined first
  bool Running() const { return session && !session->Finished(); }
};

TGangForm::TGangForm(TMainForm& main, PortOpener ports)
    : QDialog(&main, Qt::Window), main_(main), ports_(std::move(ports)) {
  setObjectName("TGangForm");
  setWindowTitle("Gang Auto Program");
  auto* column = new QVBoxLayout(this);

  auto* writers = new QGroupBox("Writers", this);
  writers->setObjectName("WritersBox");
  auto* portRow = new QHBoxLayout(writers);
  for (int i = 0; i < 8; ++i) {
    auto* box = new QCheckBox(QString::fromStdString(PortName(i)), writers);
    box->setObjectName(QString::fromStdString(PortName(i)));
    box->setToolTip("Opens the port and asks the Writer on it");
    connect(box, &QCheckBox::toggled, this, [this, i](bool on) { PortToggled(i, on); });
    portBoxes_[i] = box;
    portRow->addWidget(box);
  }
  // The boxes keep their places whatever the window's width: the next click
  // lands where the last one did.
  portRow->addStretch(1);
  column->addWidget(writers);

  auto* options = new QHBoxLayout;
  std::tie(withBlankCheck_, withoutBlankCheck_) =
      AddChoice(*options, "PassBox", "Pass", {"AutoProgramOption", "Auto Program"},
                {"NoBlankCheckOption", "Auto Program without Blank Check"});
  std::tie(waitForPart_, continueButtons_) =
      AddChoice(*options, "NextPartBox", "Next part", {"WaitForPartOption", "start when a part is seated"},
                {"ContinueOption", "Continue button per tile"});
  column->addLayout(options);

  tileScroll_ = new TileScroll(this);
  tileScroll_->setObjectName("TileScroll");
  tileArea_ = new QWidget(tileScroll_);
  tileArea_->setObjectName("Tiles");
  (new QGridLayout(tileArea_))->setContentsMargins(0, 0, 0, 0);
  tileScroll_->setWidget(tileArea_);
  column->addWidget(tileScroll_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  start_ = new QPushButton("&Start", this);
  start_->setObjectName("StartButton");
  start_->setDefault(true);
  stop_ = new QPushButton("S&top", this);
  stop_->setObjectName("StopButton");
  stop_->setToolTip("Every Writer ends the pass it runs, then stops");
  close_ = new QPushButton("&Close", this);
  close_->setObjectName("CloseButton");
  for (QPushButton* button : {start_, stop_, close_}) buttons->addWidget(button);
  column->addLayout(buttons);
  connect(start_, &QPushButton::clicked, this, &TGangForm::StartClicked);
  connect(stop_, &QPushButton::clicked, this, &TGangForm::StopClicked);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);

  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, &TGangForm::ShowChanged);
  // The main window closing takes this window with it: the Writers stop first.
  main_.installEventFilter(this);
  connect(&watchTimer_, &QTimer::timeout, this, &TGangForm::Watch);
  UpdateControls();
  LoadChoices();
  for (QAbstractButton* choice : std::initializer_list<QAbstractButton*>{withBlankCheck_, waitForPart_})
    connect(choice, &QAbstractButton::toggled, this, &TGangForm::KeepChoices);
  for (QCheckBox* box : portBoxes_) connect(box, &QCheckBox::toggled, this, &TGangForm::KeepChoices);
  UpdateTitle();
}

TGangForm::~TGangForm() {
  main_.removeEventFilter(this);
  StopAll();
}

TGangTile* TGangForm::Tile(const std::string& port) const {
  for (const auto& writer : writers_)
    if (writer && writer->port == port) return writer->tile;
  return nullptr;
}

void TGangForm::done(int result) {
  StopAll();
  QDialog::done(result);
}

void TGangForm::closeEvent(QCloseEvent* event) {
  StopAll();
  QDialog::closeEvent(event);
}

bool TGangForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &main_ && event->type() == QEvent::Close) close();
  return QDialog::eventFilter(watched, event);
}

void TGangForm::Change(Writer& writer, const std::function<void(GangTileView&)>& change) {
  {
    std::lock_guard lock(changedMutex_);
    change(writer.view);
    writer.changed = true;
    if (framePosted_) return;
    framePosted_ = true;
  }
  // One redraw per frame, however fast the stations report.
  QMetaObject::invokeMethod(
      this, [this] { if (!frameTimer_.isActive()) frameTimer_.start(kFrame); }, Qt::QueuedConnection);
}

void TGangForm::ShowChanged() {
  std::vector<std::pair<TGangTile*, GangTileView>> shown;
  {
    std::lock_guard lock(changedMutex_);
    framePosted_ = false;
    for (auto& writer : writers_)
      if (writer && writer->changed) {
        writer->changed = false;
        shown.emplace_back(writer->tile, writer->view);
      }
  }
  for (const auto& [tile, view] : shown) tile->Show(view);
  emit TilesShown();
}

void TGangForm::PortToggled(int index, bool chosen) {
  auto& writer = writers_[index];
  if (!chosen) {
    if (writer) delete writer->tile;
    writer.reset();
  } else {
    writer = std::make_unique<Writer>(*this, PortName(index));
    writer->tile = new TGangTile(writer->port, tileArea_);
    connect(writer->tile, &TGangTile::ContinueClicked, this, [this, w = writer.get()] {
      if (run_ && !stopping_ && !w->Running()) StartStation(*w);
    });
    Change(*writer, [](GangTileView& v) { v.status = "Connecting..."; });
    // Opened and asked on a thread of its own: a silent Writer takes seconds.
    Writer* w = writer.get();
    w->probe = std::jthread([this, w, open = LineOf(ports_, w->port), choice = PortSelection{w->port, main_.HandShakeIndex()},
                             writerType = main_.State().WriterType](std::stop_token stop) {
      const PortProbe probe = ProbePort(open, choice, writerType, main_.clock(), stop);
      if (stop.stop_requested()) return;
      Change(*w, [&](GangTileView& v) {
        v.status = probe.words;
        v.tone = probe.ok ? GangTileView::Tone::Idle : GangTileView::Tone::Fail;
      });
    });
  }
  ArrangeTiles();
  UpdateControls();
}

void TGangForm::StartClicked() {
  if (run_) return;
  MainState& state = main_.State();
  if (state.QtpMode) {
    main_.prompts().Message("Gang Auto Program takes its serial numbers from the ledger, not from a QTP file.");
    return;
  }
  // The question about a blank reset vector is asked once, here, for every Writer.
  if (!main_.Link().CheckResetAddr(main_.prompts())) return;
  auto run = std::make_unique<Run>();
  run->command = withoutBlankCheck_->isChecked() ? WriterCommand::AutoProgramNoBlankCheck : WriterCommand::AutoProgram;
  run->waitForPart = waitForPart_->isChecked();
  run->inputs = main_.CurrentHeaderInputs();
  run->handshake = main_.HandShakeIndex();
  // The main window's ledger, job and log: parts made side by side draw from
  // the same sequence as the parts made one by one.
  const MainState image = state;
  const RunSettings settings = main_.LedgerRunSettings(true);
  run->prepared = OffGuiThread([&] { return std::make_shared<const RunStart>(PrepareRun(image, settings)); });
  if (!run->prepared->Ready()) {
    main_.prompts().Message(run->prepared->message, {}, PromptIcon::Warning);
    return;
  }
  for (const std::string& note : run->prepared->notes) main_.prompts().Message(note);
  run_ = std::move(run);
  stopping_ = false;
  for (auto& writer : writers_)
    if (writer) StartStation(*writer);
  watchTimer_.start(kWatch);
  UpdateControls();
}

void TGangForm::StartStation(Writer& writer) {
  writer.probe = {};  // the probe lets go of the port
  if (writer.session) writer.session->Join();
  if (!writer.session) {
    SessionSetup setup;
    setup.name = writer.port;
    setup.port = {writer.port, run_->handshake};
    setup.yes = true;  // asked above
    setup.clock = &main_.clock();
    setup.device = LineOf(ports_, writer.port);
    writer.session = WriterSession::OnCopy(std::move(setup), main_.State(), writer);
    writer.session->UseRun(run_->prepared);
  }
  BatchSetup batch;
  batch.command = run_->command;
  batch.inputs = run_->inputs;
  batch.passes = run_->waitForPart ? 0 : 1;
  batch.waitForPart = run_->waitForPart;
  Change(writer, [](GangTileView& v) {
    v.gauge = 0;
    v.activity.clear();
  });
  writer.tile->ContinueButton()->setEnabled(false);
  writer.session->Start(batch);
  UpdateControls();
}

void TGangForm::StopClicked() {
  if (!run_) return;
  if (stopping_) {
    // A second press: the passes are cut off now.
    for (auto& writer : writers_)
      if (writer && writer->session) writer->session->StopNow();
  } else {
    stopping_ = true;
    for (auto& writer : writers_)
      if (writer && writer->session) writer->session->StopAfterPass();
  }
  Watch();
}

void TGangForm::Watch() {
  if (!run_) return;
  bool running = false;
  for (auto& writer : writers_) {
    if (!writer) continue;
    running = running || writer->Running();
    // A Writer that has ended may go again, unless the run is stopping.
    writer->tile->ContinueButton()->setEnabled(!stopping_ && !writer->Running());
  }
  if (stopping_ && !running) {
    watchTimer_.stop();
    for (auto& writer : writers_)
      if (writer) writer->session.reset();
    run_.reset();
    stopping_ = false;
  }
  UpdateControls();
}

void TGangForm::StopAll() {
  watchTimer_.stop();
  // A pass the stop cut off is recorded interrupted by its session, on its thread.
  for (auto& writer : writers_)
    if (writer && writer->session) writer->session->StopNow();
  for (auto& writer : writers_)
    if (writer) {
      writer->probe = {};
      writer->session.reset();
    }
  run_.reset();
  stopping_ = false;
  UpdateControls();
}

bool TGangForm::Busy() const { return run_ != nullptr; }

void TGangForm::UpdateControls() {
  const bool busy = Busy();
  if (busy != locked_) {
    locked_ = busy;
    main_.SetCommandsEnabled(!busy);
  }
  bool chosen = false;
  for (const auto& writer : writers_) chosen = chosen || writer;
  start_->setEnabled(chosen && !busy);
  stop_->setEnabled(busy);
  stop_->setText(stopping_ ? "Stop &now" : "S&top");
  for (QCheckBox* box : portBoxes_) box->setEnabled(!busy);
  for (QRadioButton* option : {withBlankCheck_, withoutBlankCheck_, waitForPart_, continueButtons_})
    option->setEnabled(!busy);
}

QRect TGangForm::ScreenArea() const {
  QScreen* screen = main_.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
}

void TGangForm::ArrangeTiles() {
  auto* grid = static_cast<QGridLayout*>(tileArea_->layout());
  std::vector<TGangTile*> tiles;
  for (auto& w : writers_)
    if (w) tiles.push_back(w->tile);
  for (TGangTile* tile : tiles) grid->removeWidget(tile);
  // As many columns as the screen's width holds beside the window's frame,
  // at most four; rows follow, in port order.
  const QRect area = ScreenArea();
  const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize();
  const QMargins margins = layout()->contentsMargins() + grid->contentsMargins();
  const int spacing = std::max(grid->horizontalSpacing(), 0);
  const int tileWidth = tiles.empty() ? 1 : std::max(tiles.front()->minimumSizeHint().width(), 1);
  const int room = area.width() - frame.width() - margins.left() - margins.right() -
                   tileScroll_->verticalScrollBar()->sizeHint().width();
  columns_ = std::clamp((room + spacing) / (tileWidth + spacing), 1, kMostColumns);
  if (!tiles.empty()) {
    // Balanced rows: six tiles are two rows of three, not four and two.
    const int rows = (static_cast<int>(tiles.size()) + columns_ - 1) / columns_;
    columns_ = (static_cast<int>(tiles.size()) + rows - 1) / rows;
  }
  for (std::size_t n = 0; n < tiles.size(); ++n) {
    grid->addWidget(tiles[n], static_cast<int>(n) / columns_, static_cast<int>(n) % columns_);
    // At once, not from the event loop as a layout would: a hidden tile
    // counts for nothing in the size the window is given below.
    tiles[n]->show();
    if (!tiles[n]->property("fitsOnScreen").toBool()) {
      tiles[n]->setProperty("fitsOnScreen", true);
      // A tile that shows its panel lines grows: the window follows, on screen.
      connect(tiles[n]->findChild<QPushButton*>("PanelButton"), &QPushButton::toggled, this,
              [this] { QTimer::singleShot(0, this, &TGangForm::FitOnScreen); });
    }
  }
  UpdateTitle();
  FitOnScreen();
}

void TGangForm::FitOnScreen() {
  tileArea_->layout()->activate();
  // The grid's new size reaches the window's layout only through its room.
  tileScroll_->updateGeometry();
  layout()->activate();
  const QRect area = ScreenArea();
  const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize();
  const QSize most = area.size() - frame;
  QSize want = sizeHint().expandedTo(minimumSizeHint());
  // A grid taller than the screen scrolls: its bar takes room beside the tiles.
  if (want.height() > most.height()) want.rwidth() += tileScroll_->verticalScrollBar()->sizeHint().width();
  resize(want.boundedTo(most));
  if (!isVisible()) return;  // placed when shown
  // Kept inside the screen: a window that grew past an edge moves back.
  QRect outer = frameGeometry();
  outer.moveLeft(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
  outer.moveTop(std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
  if (outer.topLeft() != frameGeometry().topLeft()) move(outer.topLeft());
}

void TGangForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The main window's screen, whichever screen the window opened on.
  const QRect area = ScreenArea();
  if (!area.intersects(frameGeometry())) move(area.topLeft());
  ArrangeTiles();
}

void TGangForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // The main window's job may have changed meanwhile.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) UpdateTitle();
}

void TGangForm::UpdateTitle() {
  int chosen = 0;
  for (const auto& writer : writers_) chosen += writer ? 1 : 0;
  QString title = "Gang Auto Program";
  if (main_.LedgerOn()) title += " - " + QString::fromStdString(main_.LedgerJobName());
  if (chosen > 0) title += QString(" - %1 Writer%2").arg(chosen).arg(chosen == 1 ? "" : "s");
  if (windowTitle() != title) setWindowTitle(title);
}

void TGangForm::LoadChoices() {
  const std::string& dir = main_.State().StartDir;
  loadingChoices_ = true;
  if (LoadWriterSetting(dir, kPassKey).value_or("0") == "1") withoutBlankCheck_->setChecked(true);
  if (LoadWriterSetting(dir, kNextPartKey).value_or("0") == "1") continueButtons_->setChecked(true);
  std::istringstream ports(LoadWriterSetting(dir, kPortsKey).value_or(""));
  for (std::string port; ports >> port;)
    if (const int n = ComNumber(port); n > 0 && !portBoxes_[n - 1]->isChecked()) portBoxes_[n - 1]->setChecked(true);
  loadingChoices_ = false;
}

void TGangForm::KeepChoices() {
  if (loadingChoices_) return;
  std::string ports;
  for (int i = 0; i < 8; ++i)
    if (portBoxes_[i]->isChecked()) ports += (ports.empty() ? "" : " ") + PortName(i);
  // A choice that cannot be kept costs the next start a few clicks, no more:
  // nothing to stop the bench for.
  const std::string& dir = main_.State().StartDir;
  SaveWriterSetting(dir, kPortsKey, ports, nullptr);
  SaveWriterSetting(dir, kPassKey, withoutBlankCheck_->isChecked() ? "1" : "0", nullptr);
  SaveWriterSetting(dir, kNextPartKey, continueButtons_->isChecked() ? "1" : "0", nullptr);
}
