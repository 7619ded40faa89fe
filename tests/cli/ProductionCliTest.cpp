// writer-cli's programming and production commands against writer-emulator
// on a pseudo-terminal.

#include <gtest/gtest.h>

#include "cli/CliProcess.h"

using namespace cli_test;

namespace {

using Lines = std::vector<std::string>;
using ProductionCliTest = CliTest;

// An OPTION word every field of K7E1/E3 accepts.
constexpr std::uint8_t kOptionLow = 0x1A, kOptionHigh = 0x0B;

// A 12-bit program by gpasm with two RTIW words (RETLW 0) at 0x100 for a serial number.
void MakeImage(const fs::path& dir) { ASSERT_TRUE(MakeProgImage(dir)); }

TEST_F(ProductionCliTest, ProgramThenReadBackMatchesTheFile) {
  MakeImage(dir_);
  Emulator emu;
  const auto program = RunOn(emu, {"--load", "prog.hex", "program-memory"});
  EXPECT_EQ(program.OutLines(), (Lines{"Program Ok!!", "Data verify OK!!"}));
  EXPECT_EQ(program.status, 0) << program.err;
  ASSERT_EQ(Run({"--load", "prog.hex", "save-bin", "file.bin"}).status, 0);
  const auto read = RunOn(emu, {"read", "--save-bin", "ic.bin"});
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(ReadBytes(Path("ic.bin")), ReadBytes(Path("file.bin")));
}

TEST_F(ProductionCliTest, ProgrammingOverOtherDataFails) {
  MakeImage(dir_);
  Emulator emu;
  ASSERT_TRUE(emu.Burn({0x0000, 0x0000, 0x0000}));
  const auto r = RunOn(emu, {"--load", "prog.hex", "program-memory"});
  EXPECT_EQ(r.OutLines(), (Lines{"error: Programming fail !!", "0000"}));
  EXPECT_EQ(r.status, 1);
}

TEST_F(ProductionCliTest, BlankResetVectorAsksFirst) {
  Emulator emu;
  // A buffer whose word 0 (this device's reset vector) is blank.
  WriteText(Path("img.bin"), std::string("\xFF\x3F\x34\x12", 4));
  const auto asked = RunOn(emu, {"--load", "img.bin", "program-memory"});
  EXPECT_EQ(asked.OutLines(), Lines{"Reset address (0000h) is blank!!"});
  EXPECT_EQ(asked.status, 1);
  const auto ignored = RunOn(emu, {"--load", "img.bin", "--yes", "program-memory"});
  EXPECT_EQ(ignored.OutLines(), (Lines{"Reset address (0000h) is blank!!", "Program Ok!!", "Data verify OK!!"}));
  EXPECT_EQ(ignored.status, 0) << ignored.err;
}

TEST_F(ProductionCliTest, IdOptionAndForceWrite) {
  MakeImage(dir_);
  WriteText(Path("set.cfg"), ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", kOptionLow, kOptionHigh));
  Emulator emu;
  const auto option = RunOn(emu, {"--config", "set.cfg", "program-option"});
  EXPECT_EQ(option.OutLines(), Lines{"OPTION program & verify OK!!"});
  EXPECT_EQ(option.status, 0) << option.err;
  const auto id = RunOn(emu, {"--config", "set.cfg", "program-id"});
  EXPECT_EQ(id.OutLines(), (Lines{"Program Ok!!", "ID & Checksum verify OK!!"}));
  const auto blankOption = RunOn(emu, {"--load", "prog.hex", "program-option"});
  EXPECT_EQ(blankOption.OutLines(), Lines{"error: Some Options are Blank !!"});
  EXPECT_EQ(blankOption.status, 1);
  const auto force = RunOn(emu, {"--load", "prog.hex", "force-write", "--passes", "2"});
  EXPECT_EQ(force.OutLines(), (Lines{"Program memory Ok!!", "Data verify OK!!", "Program memory Ok!!",
                                     "Data verify OK!!"}));
  EXPECT_EQ(force.status, 0) << force.err;
  EXPECT_EQ(RunOn(emu, {"program-eeprom"}).status, 2);  // the part has no data EEPROM
  EXPECT_EQ(Run({"force-write", "--passes", "0"}).status, 2);
}

// What each pass stamps is the worker's; here writer-cli's part: the single
// areas refused in serial-number mode, the production log and each pass's
// closing lines (the count and the number the part got).
TEST_F(ProductionCliTest, SerialBatchLogsEveryPart) {
  MakeImage(dir_);
  // Serial-number mode on: two bytes from word 0x100 (256), starting at 1234h, step 1.
  WriteText(Path("batch.cfg"), ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", kOptionLow, kOptionHigh,
                                          "0 1234 1 256 2 1234 1 0 0"));
  Emulator emu({"--swap-parts"});
  EXPECT_EQ(RunOn(emu, {"--config", "batch.cfg", "program-memory"}).status, 2);  // auto-program only
  const auto r = RunOn(emu, {"--config", "batch.cfg", "--log", "batch.csv", "auto-program", "--passes", "3"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::ifstream log(Path("batch.csv"));
  Lines records;
  for (std::string line; std::getline(log, line);) records.push_back(line);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0], "time,device,image,checksum,serial,qtp_record,pass_count,result");
  EXPECT_NE(records[1].find(",K7E1/E3,"), std::string::npos);
  EXPECT_EQ(records[3].substr(records[3].size() - 10), "1236,,3,OK");
  const Lines out = r.OutLines();
  EXPECT_EQ(std::count(out.begin(), out.end(), "Data program & verify OK!!"), 3);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(Lines(out.end() - 2, out.end()), (Lines{"Pass Count : 3", "Serial No. (HEX) : 1236"}));
}

TEST_F(ProductionCliTest, QtpFileEndsTheBatch) {
  MakeImage(dir_);
  WriteText(Path("set.cfg"), ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", kOptionLow, kOptionHigh));
  // Two records for words 0x100 and 0x101, then the end record.
  WriteText(Path("parts.txt"), ":040100000131023197\r\n:040100000131033196\r\n:00000001FF");
  Emulator emu({"--swap-parts"});
  const auto r = RunOn(emu, {"--config", "set.cfg", "--qtp", "parts.txt", "auto-program", "--passes", "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  const Lines out = r.OutLines();
  EXPECT_EQ(std::count(out.begin(), out.end(), "Data program & verify OK!!"), 2);
  EXPECT_NE(std::find(out.begin(), out.end(), "QTP Program Finished!"), out.end());
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(Lines(out.end() - 2, out.end()), (Lines{"Pass Count : 2", "Serial No. (HEX) : 0103"}));
  const auto broken = RunOn(emu, {"--config", "set.cfg", "--qtp", "set.cfg", "auto-program"});
  EXPECT_EQ(broken.status, 2);
}

TEST_F(ProductionCliTest, FailedBlankCheckStopsTheBatch) {
  MakeImage(dir_);
  WriteText(Path("set.cfg"), ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", kOptionLow, kOptionHigh));
  Emulator emu;
  ASSERT_TRUE(emu.Burn({0x3FFF, 0x0123}));
  const auto r = RunOn(emu, {"--config", "set.cfg", "auto-program", "--passes", "3"});
  EXPECT_EQ(r.OutLines(), (Lines{"error: Device not blank!!", "Pass Count : 0"}));
  EXPECT_EQ(r.status, 1);
}

TEST_F(ProductionCliTest, TheLedgerCarriesTheNumbersFromRunToRun) {
  MakeImage(dir_);
  const auto config = [&](const std::string& name, const std::string& step) {
    WriteText(Path(name), ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", kOptionLow, kOptionHigh,
                                     "0 1234 1 256 2 1234 " + step + " 0 0"));
  };
  config("job.cfg", "1");
  config("other.cfg", "2");
  Emulator emu({"--swap-parts"});
  const auto serials = [](const CliResult& r) {
    Lines found;
    for (const auto& line : r.OutLines())
      if (line.rfind("Serial No. (HEX) : ", 0) == 0) found.push_back(line.substr(19));
    return found;
  };
  const auto first = RunOn(emu, {"--config", "job.cfg", "auto-program", "--passes", "2"});
  EXPECT_EQ(first.status, 0) << first.err;
  const std::string summary = "summary: " + emu.Path() + " passes 2, ok 2, failed 0, interrupted 0, serials ";
  EXPECT_EQ(first.err, "New job prog: serial numbers from 1234\n" + summary + "1234-1235\n");
  const auto second = RunOn(emu, {"--config", "job.cfg", "--station", "bench2", "auto-program", "--passes", "2"});
  EXPECT_EQ(serials(first), (Lines{"1234", "1235"}));
  EXPECT_EQ(serials(second), (Lines{"1236", "1237"}));
  EXPECT_EQ(second.err, summary + "1236-1237\n");

  // Another increment under the same job is refused before the port is touched.
  const auto refused = Run({"--port-path", "/dev/null/none", "--config", "other.cfg", "auto-program"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("Job prog uses increment 1, not 2"), std::string::npos) << refused.err;
  const auto json = RunOn(emu, {"--config", "other.cfg", "--job", "evens", "--json", "auto-program"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"serial\":\"1234\""), std::string::npos) << json.out;
  EXPECT_EQ(json.OutLines().size(), 1u);  // the announcement stays off standard output

  const auto status = Run({"ledger", "status", "--job", "prog"});
  EXPECT_EQ(status.OutLines(), Lines{"prog: next 1238, ok 4, failed 0, interrupted 0, simulated 0, open 0"});
  const auto list = Run({"ledger", "list", "--since", "2000-01-01"});
  ASSERT_EQ(list.OutLines().size(), 6u) << list.err;
  EXPECT_EQ(list.OutLines()[0], "started,ended,job,station,port,device,image,checksum,serial,qtp_record,pass_count,"
                                "result,stage,message");
  EXPECT_NE(list.OutLines()[3].find(",prog,bench2," + emu.Path() + ",K7E1/E3,"), std::string::npos);
  EXPECT_EQ(Run({"ledger", "export", "all.csv"}).status, 0);
  EXPECT_EQ(ReadBytes(Path("all.csv")).size(), list.out.size());
  EXPECT_EQ(Run({"ledger", "list", "--since", "yesterday"}).status, 2);
  EXPECT_EQ(Run({"ledger", "policy", "prog", "strict"}).status, 0);
  EXPECT_EQ(Run({"ledger", "policy", "nobody", "strict"}).status, 2);
  const auto strict = RunOn(emu, {"--config", "job.cfg", "--serial-policy", "strict", "auto-program"});
  EXPECT_EQ(serials(strict), Lines{"1238"});
  EXPECT_EQ(Run({"--ledger", "postgresql:///none?host=/nowhere&password=secret", "--config", "job.cfg",
                 "auto-program"}).err.find("secret"),
            std::string::npos);
}

}  // namespace
