// Writer sessions against emulated Writers on fake clocks: waiting for parts
// to be seated, the reminder while the socket stays empty, stopping after the
// pass or at once, one Writer's failure left to itself, and the run's ledger.

#include "commands/WriterSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "app/DeviceCatalogue.h"
#include "emulator/EmulatorLine.h"
#include "support/EmulatedWriter.h"
#include "emulator/WriterEmulator.h"
#include "link/DevicePair.h"
#include "link/PosixSerialDevice.h"
#include "production/PassLedger.h"
#include "support/FaultyStore.h"
#include "support/SerialWords.h"

#include <filesystem>
#include <set>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// An emulated Writer with its own line and clock; time moves only by what
// the station sleeps, so a pass never looks like a pause to the technician.
struct Bench {
  FakeClock clock;
  WriterEmulator emulator{clock};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line = AttachEmulator(pair, emulator);
};

// What a front end would show, in order.
class Record final : public SessionListener {
 public:
  std::function<void(WriterSession&, int percent)> onProgress;
  std::function<void(int waits)> onWaiting;
  std::function<void(const std::string& text)> onNote;
  std::vector<std::string> serials;

  void Note(const WriterSession& s, const std::string& text) override {
    std::lock_guard lock(mutex_);
    events_.push_back(s.Name() + " " + text);
    if (text == "waiting for a part" && onWaiting) onWaiting(++waits_);
    if (onNote) onNote(text);
  }
  void Progress(const WriterSession& s, int percent) override {
    if (onProgress) onProgress(const_cast<WriterSession&>(s), percent);
  }
  void PassEnded(const WriterSession& s, const PassReport& pass) override {
    std::lock_guard lock(mutex_);
    if (pass.outcome.pass && !pass.outcome.pass->serial.empty()) serials.push_back(pass.outcome.pass->serial);
    events_.push_back(s.Name() + " pass " + ResultName(pass.outcome.result) + (pass.outcome.Failed() ? " " + pass.outcome.text + " " + StageName(pass.outcome.stage) : std::string()));
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
  int waits_ = 0;
};

class WriterSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ProgrammableImage(image); }
  // One Writer's session on a copy of the image and the batch it is to run.
  struct Writer {
    std::unique_ptr<WriterSession> session;
    BatchSetup batch;
    WriterSession* operator->() { return session.get(); }
    void Start() { session->Start(batch); }
  };
  Writer Make(Bench* bench, const std::string& name, int passes, bool wait, SessionListener& listener) {
    SessionSetup s;
    s.name = name;
    s.port = {name, 1};
    if (bench) {
      s.clock = &bench->clock;
      s.device = [bench] { return bench->pair.MakePcEnd(); };
    }
    BatchSetup b;
    b.inputs = HeaderInputs{"K7E1/E3"};
    b.passes = passes;
    b.waitForPart = wait;
    return {WriterSession::OnCopy(std::move(s), image, listener), b};
  }
  Writer Make(Bench& bench, const std::string& name, int passes, bool wait) {
    return Make(&bench, name, passes, wait, record);
  }
  SessionTotals RunToEnd(Writer& writer) {
    writer.Start();
    writer->Join();
    return writer->Totals();
  }

  MainState image;
  Record record;
};

TEST_F(WriterSessionTest, EverySeatedPartGetsOnePassAndAnEmptySocketNone) {
  Bench bench;
  bench.emulator.SetReseat(1000ms);
  Writer station = Make(bench, "Com1", 3, true);
  const SessionTotals t = RunToEnd(station);
  EXPECT_EQ(t.passes, 3);
  EXPECT_EQ(t.ok, 3);
  EXPECT_EQ(bench.emulator.PartsSwapped(), 2);
  // The first part was in the socket at the start: no wait before it.
  EXPECT_EQ(record.Events(), (std::vector<std::string>{"Com1 pass ok", "Com1 waiting for a part", "Com1 pass ok",
                                                      "Com1 waiting for a part", "Com1 pass ok"}));
  EXPECT_EQ(image.Panel.Label13, MainState{}.Panel.Label13);
}

TEST_F(WriterSessionTest, AnEmptySocketIsMentionedAgainEveryMinute) {
  Bench bench;
  bench.emulator.TakePartOut();
  std::vector<Clock::Duration> noted;
  record.onWaiting = [&](int waits) {
    noted.push_back(bench.clock.Now());
    if (waits == 3) bench.emulator.SeatFreshPart();
  };
  Writer station = Make(bench, "Com1", 1, true);
  const SessionTotals t = RunToEnd(station);
  EXPECT_EQ(t.ok, 1);
  ASSERT_EQ(noted.size(), 3u);
  EXPECT_GE(noted[1] - noted[0], 60s);
  EXPECT_LT(noted[1] - noted[0], 61s);
  EXPECT_GE(noted[2] - noted[1], 60s);
}

// A Writer that answers garbage while the session waits for a part: said
// once in words, and once more when it is back.
TEST_F(WriterSessionTest, AWriterInTroubleWhileWaitingIsSaidOnceAndWhenBack) {
  Bench bench;
  bench.emulator.TakePartOut();
  Record rec;
  // Garbage after the first wait, gone once it was said; a part after the second.
  rec.onWaiting = [&](int n) {
    EmulatorFaults faults;
    faults.garbage = n == 1;
    bench.emulator.SetFaults(faults);
    if (n == 2) bench.emulator.SeatFreshPart();
  };
  rec.onNote = [&](const std::string& text) {
    if (text.rfind("the Writer ", 0) == 0) bench.emulator.SetFaults({});
  };
  Writer writer = Make(&bench, "Com1", 1, true, rec);
  EXPECT_EQ(RunToEnd(writer).ok, 1);
  EXPECT_EQ(rec.Events(), (std::vector<std::string>{
                              "Com1 waiting for a part", "Com1 the Writer answers wrongly", "Com1 the Writer is back",
                              "Com1 waiting for a part", "Com1 pass ok"}));
}

// A stop during the data stream: after the pass the part is whole; at once it is not.
TEST_F(WriterSessionTest, StopAfterThePassOrAtOnce) {
  struct Case {
    bool now;
    int ok, interrupted;
  };
  for (const Case c : {Case{false, 1, 0}, Case{true, 0, 1}}) {
    SCOPED_TRACE(c.now);
    Bench bench;
    bench.emulator.SetReseat(10ms);
    Record rec;
    rec.onProgress = [&](WriterSession& s, int percent) {
      if (percent >= 50) c.now ? s.StopNow() : s.StopAfterPass();
    };
    Writer station = Make(&bench, "Com1", 0, true, rec);
    const SessionTotals t = RunToEnd(station);
    EXPECT_EQ(t.passes, 1);
    EXPECT_EQ(t.ok, c.ok);
    EXPECT_EQ(t.interrupted, c.interrupted);
    EXPECT_EQ(bench.emulator.ProgramWord(1023) == 0x28FF, !c.now);
  }
}

TEST_F(WriterSessionTest, AFailingWriterOrPortLeavesTheOthersAlone) {
  Bench good, bad;
  bad.emulator.SetSwapOnProbe(true);
  good.emulator.SetSwapOnProbe(true);
  EmulatorFaults faults;
  faults.failAtByte = 10;
  bad.emulator.SetFaults(faults);
  Writer a = Make(good, "Com1", 3, false), b = Make(bad, "Com2", 3, false);
  // The system's own device: the path does not exist.
  Writer c = Make(nullptr, "/nonexistent/tty", 3, false, record);
  for (Writer* s : {&a, &b, &c}) s->Start();
  for (Writer* s : {&a, &b, &c}) (*s)->Join();
  EXPECT_EQ(a->Totals().ok, 3);
  EXPECT_TRUE(a->Totals().Clean());
  EXPECT_EQ(b->Totals().passes, 1);
  EXPECT_EQ(b->Totals().failed, 1);
  EXPECT_TRUE(c->Totals().portFailed);
  EXPECT_EQ(c->Totals().passes, 0);
  const auto events = record.Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "/nonexistent/tty Open  /nonexistent/tty Port Error!!"),
            events.end());
}

// Two Writers on one ledger job, each on a connection of its own: every part
// its own number; a pass cut off is recorded interrupted.
TEST_F(WriterSessionTest, WritersDrawTheirNumbersFromOneLedger) {
  const auto path = std::filesystem::temp_directory_path() / ("session-ledger-" + std::to_string(getpid()) + ".sqlite");
  std::filesystem::remove(path);
  UseSerialNumbers(image);
  RunSettings settings;
  settings.location = path.string();
  settings.job = "job";
  settings.station = "bench";
  const auto run = std::make_shared<RunStart>(PrepareRun(image, settings));
  ASSERT_TRUE(run->Ready()) << run->message;
  {
    Bench a, b;
    a.emulator.SetSwapOnProbe(true);
    b.emulator.SetSwapOnProbe(true);
    Writer first = Make(a, "Com1", 3, false), second = Make(b, "Com2", 3, false);
    for (Writer* w : {&first, &second}) {
      (*w)->UseRun(run);
      w->Start();
    }
    first->Join();
    second->Join();
    EXPECT_EQ(first->Totals().ok + second->Totals().ok, 6);
  }
  EXPECT_EQ(std::set<std::string>(record.serials.begin(), record.serials.end()).size(), 6u);
  {
    Bench c;
    Record cut;
    cut.onProgress = [](WriterSession& s, int percent) {
      if (percent >= 50) s.StopNow();
    };
    Writer third = Make(&c, "Com1", 1, false, cut);
    third->UseRun(run);
    EXPECT_EQ(RunToEnd(third).interrupted, 1);
  }
  const LedgerStatus status = run->ledger->Status("job");
  ASSERT_EQ(status.jobs.size(), 1u);
  EXPECT_EQ(status.jobs[0].ok, 6);
  EXPECT_EQ(status.jobs[0].interrupted, 1);
  EXPECT_EQ(status.jobs[0].open, 0);
  std::filesystem::remove(path);
}

// The ledger failing under a batch of two numbered passes, at every call a
// pass makes: the Writer stops with the reason, no part goes on without its
// record, and a ledger that was only busy lets both parts through.
TEST_F(WriterSessionTest, ALedgerThatFailsStopsTheWriterWithTheReason) {
  struct Case {
    const char* name;
    Fault fault;
    int ok;             // passes that succeeded
    bool lost;          // the Writer stopped: the ledger lost
    bool partWritten;   // the first part got its program memory
  };
  const auto fault = [](Fault::What what, const char* when, int times = 1) {
    Fault f;
    f.what = what;
    f.when = when;
    f.times = times;
    return f;
  };
  const Case cases[] = {
      {"LostAtReservation", fault(Fault::Lose, "INSERT INTO passes"), 0, true, false},
      {"LostAtStreamMark", fault(Fault::Lose, "SET stream_started"), 0, true, false},
      {"StallAtStreamMark", fault(Fault::Stall, "SET stream_started"), 0, true, false},
      {"LostAtFinish", fault(Fault::Lose, "SET result = $2"), 0, true, true},
      {"BusyThenFree", fault(Fault::Busy, "BEGIN", 3), 2, false, true},
  };
  UseSerialNumbers(image);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = std::filesystem::temp_directory_path() /
                      ("session-fault-" + std::to_string(getpid()) + "-" + c.name + ".sqlite");
    std::filesystem::remove(path);
    Bench bench;
    bench.emulator.SetSwapOnProbe(true);
    auto plan = std::make_shared<FaultPlan>(&bench.clock);
    FaultyLedgerOpener opener(plan);
    RunSettings settings;
    settings.location = path.string();
    settings.station = "bench";
    const auto run = std::make_shared<RunStart>(PrepareRun(image, settings));
    ASSERT_TRUE(run->Ready()) << run->message;
    plan->Add(c.fault);
    Record rec;
    Writer writer = Make(&bench, "Com1", 2, false, rec);
    writer->UseRun(run);
    const SessionTotals t = RunToEnd(writer);
    EXPECT_EQ(t.ok, c.ok);
    EXPECT_EQ(t.ledgerFailed, c.lost);
    EXPECT_EQ(t.passes, c.lost ? 1 : 2);
    EXPECT_EQ(t.ledgerError.find("Ledger error") != std::string::npos, c.lost) << t.ledgerError;
    EXPECT_EQ(bench.emulator.ProgramWord(1023) == 0x28FF || bench.emulator.PartsSwapped() > 0, c.partWritten);
    std::filesystem::remove(path);
  }
}

}  // namespace
