#pragma once
// One Writer of several that work side by side (writer-cli with several
// ports, the gang window). A station runs its passes on a thread of its own,
// on its own copy of the main state taken when it is made: its transfer
// buffer, pass count and stamped image are its own, and the main state is
// never touched while the batch runs. Its port, link and panel are its own
// too, so nothing of one Writer's failure reaches another. Passes are the
// operations' workers, prepared through PrepareCommand as any front end does.
//
// With "wait for a part" the station asks the Writer every poll interval
// with the read header of the OPTION area (answered 0xFE while the socket is
// empty): a part already seated is programmed at once; after each pass it
// waits for the socket to empty and then to hold a new part. A failed pass
// then does not end the batch: the technician takes that part out.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "commands/WriterCommands.h"
#include "link/Clock.h"
#include "link/WriterLink.h"
#include "ops/Handover.h"
#include "ops/Outcome.h"
#include "ops/RecordingPanel.h"

class SerialDevice;
class TComm;
class PassLedger;
class WriterStation;

struct StationSetup {
  std::string name;    // as the user gave it: "Com2" or a device path
  PortSelection port;  // what is opened; port.port is usually the name
  // AutoProgram, AutoProgramNoBlankCheck, ForceWrite, BlankCheck or Verify.
  WriterCommand command = WriterCommand::AutoProgram;
  HeaderInputs inputs;
  int passes = 1;  // 0: until stopped (with waitForPart)
  bool waitForPart = false;
  bool yes = false;  // questions get the go-ahead instead of the safe answer
  // The station's own use of the ledger; null: none.
  PassLedger* ledger = nullptr;
  Clock* clock = &SystemClock::Instance();
  // The line to the Writer; null: the system's serial device.
  std::function<std::unique_ptr<SerialDevice>()> device;
  std::chrono::milliseconds pollInterval{250};
  std::chrono::milliseconds waitingRepeat{60000};
};

// A pass that has ended, as the front end reports it.
struct StationPass {
  const Outcome& outcome;
  std::vector<std::string> lines;     // the window's lines, as writer-cli prints them
  const MainState& state;             // the station's copy, valid during the call
  std::chrono::system_clock::time_point started, ended;
};

// Called on the station's thread.
class StationListener {
 public:
  virtual ~StationListener() = default;
  // "Waiting for a part", "Programming 45%", "OK  serial 0012", "FAIL  Data verify Fail!!".
  virtual void StateChanged(const WriterStation&, const std::string& /*words*/) {}
  virtual void Progress(const WriterStation&, int /*percent*/) {}
  // A line for the user: a message box or question, a port that did not
  // open, "waiting for a part".
  virtual void Note(const WriterStation&, const std::string& /*text*/) {}
  virtual void PassEnded(const WriterStation&, const StationPass&) {}
};

struct StationTotals {
  int passes = 0, ok = 0, failed = 0, interrupted = 0;
  std::string firstSerial, lastSerial;  // the numbers parts got, first and last
  bool portFailed = false;              // the port never opened
  bool aborted = false;                 // a question was answered Abort
  // Every pass succeeded and the batch ran as asked.
  bool Clean() const { return !portFailed && !aborted && failed == 0 && interrupted == 0; }
};

class WriterStation final : private CommandFrontEnd {
 public:
  // Copies `main` here, on the caller's thread.
  WriterStation(StationSetup setup, const MainState& main, StationListener& listener);
  ~WriterStation() override;  // stops at once and joins
  WriterStation(const WriterStation&) = delete;
  WriterStation& operator=(const WriterStation&) = delete;

  const std::string& Name() const { return setup_.name; }
  void Start();
  // No pass starts after the running one; a wait for a part ends at once.
  void StopAfterPass();
  // The running pass is cut off through the stop token.
  void StopNow();
  void Join();
  bool Finished() const { return finished_.load(); }
  StationTotals Totals() const;

 private:
  enum class Socket { Seated, Empty, NoWriter };
  class Panel;
  class StationPrompts;

  void Run(std::stop_token stop);
  bool WaitForPart(std::stop_token stop, bool afterPass);
  Socket Look();
  bool Nap(std::stop_token stop);
  void RunPass(std::stop_token stop);
  void SetState(const std::string& words);
  bool Halted(std::stop_token stop) const { return stop.stop_requested() || stopAfterPass_.load(); }

  // CommandFrontEnd
  bool PortReady() override;
  WriterLink& Link() override { return *link_; }
  Prompts& prompts() override;

  StationSetup setup_;
  StationListener& listener_;
  MainState state_;
  std::unique_ptr<TComm> comm_;
  std::unique_ptr<WriterLink> link_;
  std::unique_ptr<Panel> panel_;
  std::unique_ptr<StationPrompts> prompts_;
  InlineHandover handover_;
  mutable std::mutex mutex_;
  StationTotals totals_;
  std::atomic<bool> stopAfterPass_{false};
  std::atomic<bool> finished_{false};
  bool lastPassOk_ = true;
  bool lineLost_ = false;
  bool batchOver_ = false;
  // Made with the station, never replaced: a stop may come from any thread.
  std::stop_source stopSource_;
  std::thread thread_;
};
