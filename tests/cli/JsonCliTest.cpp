// writer-cli --json against writer-emulator: every line of standard output is
// one object a JSON parser reads, one per operation or pass, carrying the
// outcome as a value beside the window's lines.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/CliProcess.h"

using namespace cli_test;
using nlohmann::json;

namespace {

using JsonCliTest = CliTest;

// Every line of standard output, parsed; a line that is no JSON object fails.
std::vector<json> Objects(const CliResult& r) {
  std::vector<json> objects;
  for (const std::string& line : r.OutLines()) {
    json object = json::parse(line, nullptr, false);
    EXPECT_TRUE(object.is_object()) << line;
    objects.push_back(std::move(object));
  }
  return objects;
}

TEST_F(JsonCliTest, OneObjectPerPassOfAQtpBatch) {
  WriteText(Path("img.bin"), std::string("\x05\x28\x06\x28", 4) + std::string(508, '\xff') +
                                 std::string("\x00\x31\x00\x31", 4));  // RTIW words at 0x100 and 0x101
  WriteText(Path("set.cfg"), ConfigText(Path("img.bin"), "Com1", "K7E1/E3", 0x1A, 0x0B));
  WriteText(Path("parts.txt"), ":040100000131023197\r\n:040100000131033196\r\n:00000001FF");
  Emulator emu({"--swap-parts"});
  const auto r = RunOn(emu, {"--json", "--config", "set.cfg", "--qtp", "parts.txt", "auto-program", "--passes", "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto objects = Objects(r);
  ASSERT_EQ(objects.size(), 2u) << r.out;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    SCOPED_TRACE(i);
    const json& o = objects[i];
    EXPECT_EQ(o["command"], "auto-program");
    EXPECT_EQ(o["port"], emu.Path());
    EXPECT_EQ(o["device"], "K7E1/E3");
    EXPECT_EQ(o["image"], Path("img.bin").string());
    EXPECT_EQ(o["checksum"].get<std::string>().size(), 4u);
    EXPECT_EQ(o["serial"], i == 0 ? "0102" : "0103");
    EXPECT_EQ(o["pass_count"], std::to_string(i + 1));
    EXPECT_EQ(o["outcome"]["stage"], "count");
    EXPECT_EQ(o["outcome"]["result"], "ok");
    EXPECT_EQ(o["outcome"]["lines"][2], "Data program & verify OK!!");
    EXPECT_EQ(o["outcome"]["messages"], i == 0 ? json::array() : json::array({"QTP Program Finished!"}));
    EXPECT_LE(o["started"].get<std::string>(), o["ended"].get<std::string>());
    EXPECT_EQ(o["ended"].get<std::string>().back(), 'Z');
  }
}

TEST_F(JsonCliTest, FailuresCarryTheirStageVerdictAndValues) {
  struct Case {
    std::vector<std::string> emulator;
    std::vector<std::uint16_t> burn;
    std::vector<std::string> args;
    json outcome;  // the keys to compare
  } cases[] = {
      {{}, {0x3FFF, 0x3FFF, 0x1234}, {"blank-check"},
       {{"stage", "blank_check"}, {"result", "failed"}, {"verdict", "not_blank"}, {"address", 2}, {"ic", 0x1234},
        {"text", "Data ....... Not Blank!!"}}},
      {{"--empty"}, {}, {"read"},
       {{"stage", "option"}, {"result", "failed"}, {"verdict", "link"}, {"link", 1},
        {"text", "Nothing in socket or type error!!"}}},
      {{"--model", "1"}, {}, {"probe"},  // the first device needs model 2
       {{"stage", "probe"}, {"result", "failed"}, {"link", 6}, {"text", "Connect Fail!"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    Emulator emu(c.emulator);
    ASSERT_TRUE(emu.Burn(c.burn));
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = RunOn(emu, args);
    EXPECT_EQ(r.status, 1);
    const auto objects = Objects(r);
    ASSERT_EQ(objects.size(), 1u) << r.out;
    for (const auto& [key, value] : c.outcome.items()) EXPECT_EQ(objects[0]["outcome"][key], value) << key;
  }
}

TEST_F(JsonCliTest, QuestionsGoToStandardErrorAndFileToolsReportToo) {
  Emulator emu;
  WriteText(Path("img.bin"), std::string("\xFF\x3F\x34\x12", 4));  // blank reset vector
  const auto asked = RunOn(emu, {"--json", "--load", "img.bin", "program-memory"});
  EXPECT_EQ(asked.status, 1);
  EXPECT_EQ(asked.out, "");
  EXPECT_EQ(asked.err, "Reset address (0000h) is blank!!\n");
  const auto sums = Run({"--json", "--load", "img.bin", "checksum"});
  const auto objects = Objects(sums);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["port"], nullptr);
  EXPECT_EQ(objects[0]["outcome"]["stage"], nullptr);
  EXPECT_EQ(objects[0]["outcome"]["lines"][0], "Checksum: " + objects[0]["checksum"].get<std::string>());
}

}  // namespace
