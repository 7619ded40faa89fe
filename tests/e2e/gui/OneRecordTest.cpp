// One batch, three front ends, one record: the same serial-number batch, QTP
// batch and failing part run through the window, writer-cli with one Writer
// and writer-cli as a gang, each against its own writer-emulator and ledger.
// Every pass leaves the same ledger row and production-log line, times,
// station and port aside.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/gui/OffGuiThread.h"
#include "cli/CliProcess.h"
#include "link/PortMap.h"
#include "ops/gui/TOperationForm.h"
#include "production/Ledger.h"
#include "production/ProductionLog.h"
#include "production/WriterSettings.h"
#include "support/ScratchDir.h"
#include "support/TestMainForm.h"

namespace {

using namespace cli_test;
using Rows = std::vector<std::string>;

struct Batch {
  const char* name;
  bool qtp;
  std::vector<std::string> faults;  // writer-emulator's
  int passes;
};

// The fields every front end must agree on, as one text per pass.
Rows LedgerRows(const fs::path& ledger) {
  Rows rows;
  const auto records = OffGuiThread([&] { return OpenLedger(ledger.string())->List(); });
  for (const LedgerRecord& r : records)
    rows.push_back(r.job + "|" + r.device + "|" + fs::path(r.image).filename().string() + "|" + r.checksum + "|" +
                   r.serial + "|" + std::to_string(r.qtpRecord) + "|" + std::to_string(r.passCount) + "|" + r.result + "|" + r.stage + "|" +
                   r.message);
  return rows;
}

Rows LogLines(const fs::path& log) {
  Rows rows;
  std::ifstream in(log);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    // Without its time; the image by its name.
    std::string rest = line.substr(line.find(',') + 1);
    const auto device = rest.find(','), image = rest.find(',', device + 1);
    rows.push_back(rest.substr(0, device + 1) + fs::path(rest.substr(device + 1, image - device - 1)).filename().string() +
                   rest.substr(image));
  }
  return rows;
}

class OneRecordTest : public ::testing::TestWithParam<Batch> {
 protected:
  // The image with two RTIW words at 0x100, a configuration in serial-number
  // mode (2 bytes at 0100h from 1234) and a QTP file of two records.
  void MakeFiles(const fs::path& dir) {
    WriteText(dir / "img.bin", std::string("\x05\x28\x06\x28", 4) + std::string(508, '\xff') +
                                   std::string("\x00\x31\x00\x31", 4));
    WriteText(dir / "set.cfg", ConfigText(dir / "img.bin", "Com1", "K7E1/E3", 0x1A, 0x0B, "0 00 1 256 2 1234 1 0 0"));
    WriteText(dir / "parts.txt", ":040100000131023197\r\n:040100000131033196\r\n:00000001FF");
  }
  std::vector<std::string> EmulatorArgs(std::vector<std::string> args) {
    for (const std::string& fault : GetParam().faults) args.insert(args.end(), {"--fault", fault});
    return args;
  }
  std::vector<std::string> CliArgs(const fs::path& dir, const std::string& port) {
    std::vector<std::string> args = {"--port-path", port, "--config", "set.cfg", "--ledger", (dir / "l.sqlite").string(),
                                     "--log", (dir / "log.csv").string()};
    if (GetParam().qtp) args.insert(args.end(), {"--qtp", "parts.txt"});
    return args;
  }
  void Cli(const fs::path& dir, bool gang) {
    MakeFiles(dir);
    Emulator emu(EmulatorArgs(gang ? std::vector<std::string>{"--reseat-ms", "600"}
                                   : std::vector<std::string>{"--swap-parts"}));
    std::vector<std::string> args = CliArgs(dir, emu.Path());
    args.insert(args.end(), {"auto-program", "--passes", std::to_string(GetParam().passes)});
    if (gang) args.push_back("--wait-for-part");
    const CliResult r = RunCli(args, dir, 60000);
    EXPECT_GE(r.status, 0) << r.err;
  }
  void Window(const fs::path& dir) {
    MakeFiles(dir);
    EmulatorProcess emu(EmulatorArgs({"--swap-parts", "--link", "Com1", "--port-map", PortMapDir().string()}));
    ASSERT_TRUE(SaveWriterSetting(dir.string(), "Ledger", (dir / "l.sqlite").string(), nullptr));
    ASSERT_TRUE(SaveProductionLogSetting(dir.string(), (dir / "log.csv").string(), nullptr));
    ScriptedPrompts prompts;
    TestMainForm form(prompts, SystemClock::Instance());
    prompts.files.push_back(FileChoice{(dir / "set.cfg").string(), 0});
    form.LoadConfig1Click();
    if (GetParam().qtp) {
      prompts.files.push_back(FileChoice{(dir / "parts.txt").string(), 1});
      form.LoadQTPFile1Click();
    }
    // The passes: the first as the window opens, the others by Continue while it is offered.
    form.SetOperationWindowHook([&](QDialog& d) {
      d.show();
      auto& w = dynamic_cast<TOperationForm&>(d);
      QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
      for (int pass = 0; pass < GetParam().passes; ++pass) {
        if (!finished.wait(20000)) ADD_FAILURE() << "the pass did not end";
        if (pass + 1 < GetParam().passes && w.Button("Button2")->isEnabled()) w.Button("Button2")->click();
        else break;
      }
      w.Button("Button1")->click();
      return d.result();
    });
    form.AutoProgram1Click();
    form.SetOperationWindowHook({});
    form.ShutdownLink();
  }
};

TEST_P(OneRecordTest, EveryFrontEndLeavesTheSameRows) {
  ScratchDir scratch("one-record");
  const fs::path window = scratch.Path() / "window", single = scratch.Path() / "single",
                 gang = scratch.Path() / "gang";
  for (const fs::path& dir : {window, single, gang}) fs::create_directories(dir);
  fs::current_path(window);
  Window(window);
  fs::current_path(single);
  Cli(single, false);
  fs::current_path(gang);
  Cli(gang, true);
  fs::current_path(scratch.Path());

  const Rows rows = LedgerRows(window / "l.sqlite"), log = LogLines(window / "log.csv");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(GetParam().name == std::string("failing") ? 1 : GetParam().qtp ? 2 : 3));
  EXPECT_EQ(log.size(), rows.size());
  for (const fs::path& dir : {single, gang}) {
    SCOPED_TRACE(dir.filename().string());
    EXPECT_EQ(LedgerRows(dir / "l.sqlite"), rows);
    EXPECT_EQ(LogLines(dir / "log.csv"), log);
  }
}

INSTANTIATE_TEST_SUITE_P(Batches, OneRecordTest,
                         ::testing::Values(Batch{"serial", false, {}, 3}, Batch{"qtp", true, {}, 3},
                                           Batch{"failing", false, {"fail-at=40"}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
