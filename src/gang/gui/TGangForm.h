#pragma once
// Program > "Gang Auto Program...": several Writers side by side, one tile
// each, so a technician seats parts in turn while the others program. Every
// Writer runs its passes on a station of its own (its own port, copy of the
// image and pass count; numbers from the ledger); the tile says what it does
// in words large enough to read from across the bench.
//
// The window stays over the main window without blocking it; while any
// Writer runs a pass or waits for a part, the main window's own commands are
// off, since the stations read its image. Closing the window stops every
// Writer at once; a pass cut short is recorded interrupted in the ledger.

#include <QDialog>
#include <QFrame>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gang/PortProbe.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class TMainForm;


// What a tile shows. Written from the station's thread, drawn on the GUI thread.
struct GangTileView {
  enum class Tone { Idle, Busy, Ok, Fail };
  Tone tone = Tone::Idle;
  std::string status;      // "Waiting for a part", "Programming 45%", "OK  serial 0012" ...
  std::string activity;    // under a verdict: what the Writer does meanwhile ("Waiting for a part")
  int gauge = 0;           // 0-100
  long long passes = 0;    // passes this Writer ran since the window opened
  std::string lastSerial;  // the number the last good part got
  std::vector<std::string> lines;  // the last lines of its Auto Program panel
  bool operator==(const GangTileView&) const = default;
};

// The gauge a tile draws: the figure of "Programming 45%" words when they
// carry one, so the words and the bar never disagree; else the view's gauge.
int TileGauge(const GangTileView& view);

// One Writer's tile: its port, the status in large bold text on a coloured
// ground, the gauge, the pass count, the last serial number, and on demand
// the last lines of its Auto Program panel.
class TGangTile : public QFrame {
  Q_OBJECT

 public:
  TGangTile(const std::string& port, QWidget* parent);
  void Show(const GangTileView& view);
  const std::string& Port() const { return port_; }
  QLabel* Status() const { return status_; }
  QPushButton* ContinueButton() const { return continue_; }
  QPlainTextEdit* Lines() const { return lines_; }

 signals:
  void ContinueClicked();

 private:
  std::string port_;
  QLabel* status_;
  QLabel* activity_;
  QProgressBar* gauge_;
  QLabel* passes_;
  QLabel* serial_;
  QPushButton* continue_;
  QPushButton* showLines_;
  QPlainTextEdit* lines_;
};

class TGangForm : public QDialog {
  Q_OBJECT

 public:
  explicit TGangForm(TMainForm& main, PortOpener ports = {});
  ~TGangForm() override;

  // The tile of "Com1" ... "Com8", or null while that Writer is not chosen.
  TGangTile* Tile(const std::string& port) const;
  // A Writer runs a pass or waits for a part.
  bool Busy() const;
  // Columns of the tile grid: as many as the screen holds, at most four.
  int TileColumns() const { return columns_; }
  // The available area of the screen the window keeps to: the main window's.
  QRect ScreenArea() const;

 public slots:
  void done(int result) override;

 signals:
  // A tile was redrawn (tests wait on it).
  void TilesShown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Writer;
  struct Run;
  void PortToggled(int index, bool chosen);
  void StartClicked();
  void StopClicked();
  void StartStation(Writer& writer);
  void Change(Writer& writer, const std::function<void(GangTileView&)>& change);  // any thread
  void ShowChanged();  // GUI thread: redraws what changed, a frame at a time
  void Watch();        // GUI thread: notes the stations that have ended
  void UpdateControls();
  void StopAll();

  // The window's shape and remembered choices, apart from the stations.
  void ArrangeTiles();  // the chosen Writers' tiles in a grid that fits the screen
  void FitOnScreen();   // the window's size and place, inside ScreenArea
  void UpdateTitle();   // "Gang Auto Program - example - 4 Writers"
  void LoadChoices();   // the ticked ports and both options, from Writer.ini
  void KeepChoices();   // ... and back, whenever one changes

  TMainForm& main_;
  PortOpener ports_;
  std::array<QCheckBox*, 8> portBoxes_{};
  QRadioButton* withBlankCheck_;
  QRadioButton* withoutBlankCheck_;
  QRadioButton* waitForPart_;
  QRadioButton* continueButtons_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* close_;
  QWidget* tileArea_;
  QScrollArea* tileScroll_;  // scrolls only where even one column would not fit
  int columns_ = 4;
  bool loadingChoices_ = false;
  std::array<std::unique_ptr<Writer>, 8> writers_;
  std::mutex changedMutex_;
  bool framePosted_ = false;
  QTimer frameTimer_;
  QTimer watchTimer_;
  std::unique_ptr<Run> run_;  // from Start until every Writer has stopped
  bool stopping_ = false;     // Stop was pressed: no pass starts any more
  bool locked_ = false;       // the main window's commands are off
};
