// Closing the program-memory and Auto Program windows while their worker
// streams to a Writer on a paced line: the close returns promptly, nothing
// more reaches the Writer, and the next pass on the same window or the next
// command works.

#include <algorithm>
#include <chrono>
#include <thread>

#include "ops/gui/ProgrammingFixture.h"
#include "ops/gui/ProgrammingForms.h"

namespace {

struct CloseCase {
  const char* name;
  void (TMainForm::*command)();
  int sentBytes;  // bytes the operation sends before its stream runs long
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

using Millis = std::chrono::duration<double, std::milli>;

class ClosingProgramming : public OnPacedLine<ProgrammingTest>, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClosingProgramming, ClosesMidPassReturnPromptlyAndSendNothingMore) {
  const CloseCase& c = GetParam();
  Loaded();
  Millis slowest{0};
  int running = 0;
  for (int i = 0; i < 24; ++i) {
    SCOPED_TRACE(i);
    FreshPart();
    const std::size_t before = emulator.BytesReceived();
    const int sent = 1 + (i * 5) % c.sentBytes;
    std::size_t atClose = 0;
    RunCommand(c.command, [&](QDialog& w) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return emulator.BytesReceived() >= before + sent; }, 5000))
          << "the operation stopped short of the close point";
      running += dynamic_cast<TOperationForm&>(w).WorkerRunning();
      const auto start = std::chrono::steady_clock::now();
      if (i % 2) w.close();
      else w.done(QDialog::Accepted);
      slowest = std::max<Millis>(slowest, std::chrono::steady_clock::now() - start);
      atClose = emulator.BytesReceived();
    });
    ExpectNothingSentAfter(atClose);
    if (HasFatalFailure()) return;
  }
  EXPECT_GE(running, 22);
  EXPECT_LT(slowest.count(), 1000.0);

  emulator.SetLineModel({});
  FreshPart();
  prompts.messages.clear();
  const WindowEnd next = RunToEnd(c.command);
  EXPECT_TRUE(next.okEnabled);
  EXPECT_FALSE(next.lines.empty());
  for (const std::string& line : next.lines) EXPECT_EQ(line.rfind("error:", 0), std::string::npos) << line;
  EXPECT_TRUE(prompts.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ClosingProgramming,
    // Program memory: probe, header, then the stream. Auto Program: probe,
    // the three blank-check headers, then the program read runs long.
    ::testing::Values(CloseCase{"ProgramMemory", &TMainForm::ProgramMemory2Click, 1 + 10 + 40},
                      CloseCase{"AutoProgram", &TMainForm::AutoProgram1Click, 1 + 10 + 10 + 10}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

}  // namespace
