// The production log: one CSV line per pass, quoted where needed, appended.

#include "production/ProductionLog.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/MainState.h"
#include "ops/AutoProgramWorker.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ProductionLogTest, LinesAppendAfterOneHeaderAndQuoteWhatNeedsIt) {
  const std::string path = ::testing::TempDir() + "/production.csv";
  std::filesystem::remove(path);
  const std::string device = "K7E1/E3", image = "/work/batch, final/image.hex";
  Outcome pass;
  pass.pass = PassRecord{true, false, false, "1234", "3A7F", 0, 42, {}};
  pass.Done();
  const auto when = std::chrono::system_clock::from_time_t(1796601600);  // 2026-12-07T00:00:00Z
  ASSERT_TRUE(ProductionLogWritable(path, nullptr));
  ASSERT_TRUE(AppendProductionLog(path, PassLogEntry(device, image, pass, when), nullptr));
  pass = {};
  pass.pass = PassRecord{false, false, false, "", "3A7F", 3, 42, {}};
  pass.Enter(OpStage::BlankCheck);
  pass.Fail(Verdict::NotBlank, "Device not blank!!");
  ASSERT_TRUE(AppendProductionLog(path, PassLogEntry(device, image, pass, when), nullptr));
  EXPECT_EQ(ReadAll(path), std::string(kProductionLogHeader) +
                               "\n2026-12-07T00:00:00Z,K7E1/E3,\"/work/batch, final/image.hex\",3A7F,1234,,42,OK\n"
                               "2026-12-07T00:00:00Z,K7E1/E3,\"/work/batch, final/image.hex\",3A7F,,3,42,"
                               "Blank check: Device not blank!!\n");
  pass = {};
  pass.pass = PassRecord{};
  pass.Simulate();
  EXPECT_EQ(PassLogEntry(device, image, pass, when).result, "Simulated");  // no part was programmed
  ProductionLogEntry quote;
  quote.result = "say \"hi\"";
  EXPECT_EQ(ProductionLogLine(quote), ",,,,,,,\"say \"\"hi\"\"\"");
  std::filesystem::remove(path);
}

TEST(ProductionLogTest, OnlyARegularFileWillDo) {
  std::string error;
  EXPECT_FALSE(ProductionLogWritable(::testing::TempDir(), &error));
  EXPECT_FALSE(ProductionLogWritable("/no/such/folder/log.csv", &error));
  EXPECT_FALSE(error.empty());
}

TEST(ProductionLogTest, ALineThatDoesNotFitLeavesTheFileAsItWas) {
  const std::string path = ::testing::TempDir() + "/full.csv";
  std::filesystem::remove(path);
  ProductionLogEntry entry;
  entry.result = "OK";
  ASSERT_TRUE(AppendProductionLog(path, entry, nullptr));
  const std::string before = ReadAll(path);
  // A disk that fills up in the middle of the line: the file may not grow
  // past 20 more bytes.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = before.size() + 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  entry.result = std::string(100, 'x');
  std::string error;
  const bool appended = AppendProductionLog(path, entry, &error);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldSignal);
  EXPECT_FALSE(appended);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadAll(path), before);
  std::filesystem::remove(path);
}

}  // namespace
