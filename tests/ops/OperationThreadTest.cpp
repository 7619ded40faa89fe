// Workers on their own thread against a paced emulated Writer, with a second
// thread playing the GUI: hand-overs, the main window's timer, and stops at
// any moment. Meant to run under ThreadSanitizer as well.

#include "ops/OperationThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "app/StateReset.h"
#include "files/Checksum.h"
#include "ops/OpsFixture.h"
#include "ops/ReadIcWorker.h"
#include "ops/VerifyWorker.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;
using Steady = std::chrono::steady_clock;

// Real time that a test can move forward at once: the pause a user leaves
// before the next operation, without waiting for it.
class JumpingClock final : public Clock {
 public:
  Duration Now() override { return SystemClock::Instance().Now() + Duration{offsetMs_.load()}; }
  void Sleep(Duration d) override { SystemClock::Instance().Sleep(d); }
  void Jump(Duration d) { offsetMs_ += d.count(); }

 private:
  std::atomic<Duration::rep> offsetMs_{0};
};

// The GUI thread: serves hand-overs when woken and runs the state part of the
// main window's timer every few milliseconds, as it does while an operation
// window is open.
class GuiThread {
 public:
  explicit GuiThread(MainState& state) : state_(state) {}
  ~GuiThread() {
    thread_.request_stop();
    thread_.join();
  }
  QueuedHandover& Handover() { return handover_; }
  int Ticks() const { return ticks_.load(); }

 private:
  void Wake() {
    {
      std::lock_guard lock(mutex_);
      woken_ = true;
    }
    wake_.notify_one();
  }
  void Loop(std::stop_token stop) {
    while (!stop.stop_requested()) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, stop, 3ms, [this] { return woken_; });
        woken_ = false;
      }
      handover_.Serve();
      TimerTick(state_, /*operationOpen=*/true);
      ++ticks_;
    }
  }

  MainState& state_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool woken_ = false;
  std::atomic<int> ticks_{0};
  QueuedHandover handover_{[this] { Wake(); }};
  std::jthread thread_{[this](std::stop_token stop) { Loop(stop); }};
};

// A small part, so that a whole operation at 115200 baud takes some tens of
// milliseconds and a hundred of them fit in a test.
constexpr const char* kSmallPart = "K7S1";
constexpr DeviceRecord kSmallPartRows[] = {
    {"K7E1/E3", 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00, 0x00, 0, 0, 0x3F, 0},
    {"K7S1", 0x00, 0x0F, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00, 0x00, 0, 0, 0x3F, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

class OperationThreadTest : public ::testing::Test, protected EmulatedWriter<JumpingClock> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(OpenLink(2));
    emulator.SetLineModel(LineModel{115200});
    line->Poke();
  }

  // Puts a part whose ID carries the checksum of its program in the socket,
  // so a read followed by a verify passes every line.
  void Insert(const std::string& device) {
    state.DeviceIndex = GetICInfo(state, device);
    ASSERT_GE(state.DeviceIndex, 0);
    IcDescription ic = *IcDescription::ForDevice(device);
    MainState image;
    image.ProgramBytes = ic.words * 2;
    for (int n = 0; n < ic.words; ++n) {
      ic.program.push_back(static_cast<std::uint16_t>((n * 97 + 3) & 0x3FFF));
      image.SetProgramWord(n, ic.program.back());
    }
    CalChecksum(image);
    ic.id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (char c : image.Panel.Label11) ic.id.push_back(static_cast<std::uint8_t>(c));
    emulator.SetIc(ic);
    inputs = HeaderInputs{device};
  }

  // Starts the worker on `thread` with a fresh panel.
  RecordingPanel& Start(OperationThread& thread, const OperationLayout& layout, Worker worker, Handover& via) {
    panel = std::make_unique<RecordingPanel>(layout);
    thread.Start(link, [this, worker = std::move(worker), &via](std::stop_token stop) {
      OperationContext ctx{state, link, clock, inputs, stop, *panel, via};
      worker(ctx);
    });
    return *panel;
  }

  static void WaitFinished(const OperationThread& thread) {
    const auto limit = Steady::now() + 20s;
    while (!thread.Finished() && Steady::now() < limit) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(thread.Finished());
  }

  // Lets the Writer finish what it was sending and forget a half-received
  // command, as it does in the seconds before a user starts the next operation.
  void Settle() {
    clock.Jump(3s);
    line->Poke();
    const auto limit = Steady::now() + 5s;
    while (emulator.NextEventIn() && Steady::now() < limit) std::this_thread::sleep_for(1ms);
    ASSERT_FALSE(emulator.NextEventIn());
    emulator.Pump();  // the line's last delivery reaches the PC before the next purge
  }

  HeaderInputs inputs{"K7E1/E3"};
  std::unique_ptr<RecordingPanel> panel;
};

const Texts kReadOk = {"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"};
const Texts kVerifyOk = {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"};

TEST_F(OperationThreadTest, ReadHandsItsResultsToTheGuiThread) {
  Insert("K7E1/E3");
  GuiThread gui(state);
  OperationThread thread;
  RecordingPanel& shown = Start(thread, ReadIcLayout(), ReadIcWorker, gui.Handover());
  WaitFinished(thread);
  thread.Stop();
  EXPECT_EQ(shown.Lines(), kReadOk);
  EXPECT_GT(gui.Ticks(), 10);  // the timer ran all along
  for (int n = 0; n < 1024; ++n) ASSERT_EQ(state.ProgramWord(n), emulator.ProgramWord(n)) << n;
  EXPECT_EQ(state.IcReadDone, 1);
  EXPECT_EQ(state.IdBuffer, emulator.IdArea());
}

TEST_F(OperationThreadTest, StopAtAnyMomentIsPromptAndLeavesTheLineUsable) {
  ScopedDeviceTable table{kSmallPartRows};
  Insert(kSmallPart);
  GuiThread gui(state);
  OperationThread thread;

  // A whole read: how long an operation takes, and the buffers a verify needs.
  const auto begun = Steady::now();
  RecordingPanel* shown = &Start(thread, ReadIcLayout(), ReadIcWorker, gui.Handover());
  WaitFinished(thread);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - begun);
  thread.Stop();
  ASSERT_EQ(shown->Lines(), kReadOk);

  Steady::duration longest{};
  for (int i = 0; i < 100; ++i) {
    SCOPED_TRACE(i);
    const bool read = i % 2 == 0;
    Start(thread, read ? ReadIcLayout() : VerifyLayout(), read ? Worker(ReadIcWorker) : Worker(VerifyWorker),
          gui.Handover());
    std::this_thread::sleep_for(whole * ((i * 37) % 100) / 100);
    const auto asked = Steady::now();
    thread.Stop();
    const auto took = Steady::now() - asked;
    longest = std::max(longest, took);
    EXPECT_LT(took, 2s);
    const auto sent = emulator.BytesReceived();
    Settle();
    EXPECT_EQ(emulator.BytesReceived(), sent);

    // The next operation on the same line: the other kind, run to its end.
    shown = &Start(thread, read ? VerifyLayout() : ReadIcLayout(), read ? Worker(VerifyWorker) : Worker(ReadIcWorker),
                   gui.Handover());
    WaitFinished(thread);
    thread.Stop();
    EXPECT_EQ(shown->Lines(), read ? kVerifyOk : kReadOk);
  }
  const auto ms = std::chrono::duration<double, std::milli>(longest).count();
  std::cout << "longest Stop(): " << ms << " ms (an operation takes "
            << std::chrono::duration<double, std::milli>(whole).count() << " ms)\n";
  RecordProperty("longest_stop_ms", std::to_string(ms));
}

// A routine whose worker was stopped while it waited in the queue is dropped.
TEST(QueuedHandoverTest, StoppedWhileQueuedNeverRuns) {
  for (int i = 0; i < 200; ++i) {
    std::atomic<bool> queued{false};
    QueuedHandover via([&queued] { queued = true; });
    std::stop_source stop;
    std::atomic<bool> ran{false};
    std::atomic<bool> result{true};
    std::thread worker([&] { result = via.Run([&ran] { ran = true; }, stop.get_token()); });
    while (!queued) std::this_thread::yield();
    stop.request_stop();
    worker.join();
    via.Serve();
    ASSERT_FALSE(result);
    ASSERT_FALSE(ran);
  }
}

// A wake-up delivered while a routine runs (inside an event loop of its own)
// serves nothing twice and blocks nothing: the serving call goes on with the queue.
TEST(QueuedHandoverTest, ServeFromWithinARoutineReturnsAtOnce) {
  std::atomic<int> queued{0};
  QueuedHandover via([&queued] { ++queued; });
  std::vector<std::string> ran;
  std::jthread first([&] { EXPECT_TRUE(via.Run(
        [&] {
          ran.push_back("first");
          via.Serve();
        },
        {})); });
  while (queued < 1) std::this_thread::yield();
  std::jthread second([&] { EXPECT_TRUE(via.Run([&] { ran.push_back("second"); }, {})); });
  while (queued < 2) std::this_thread::yield();
  via.Serve();
  first.join();
  second.join();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
}

}  // namespace
