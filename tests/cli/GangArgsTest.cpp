// writer-cli with several Writers: the command lines it refuses, and --json
// with a "writer" key per pass.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/CliProcess.h"

using namespace cli_test;

namespace {

using GangArgs = CliTest;

TEST_F(GangArgs, CommandLinesRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"--port", "Com1", "--port", "Com2", "read"}, "read runs on one Writer"},
      {{"--port", "Com1", "--port", "com1", "verify"}, "Com1 is given twice"},
      {{"auto-program", "--passes", "0"}, "(0 needs --wait-for-part)"},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(GangArgs, JsonObjectsNameTheirWriter) {
  Emulator one, two;
  const CliResult r = Run({"--json", "--port-path", one.Path(), "--port-path", two.Path(), "blank-check"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> writers;
  for (const std::string& line : r.OutLines()) {
    const auto object = nlohmann::ordered_json::parse(line);
    EXPECT_EQ(object.begin().key(), "writer");
    EXPECT_EQ(object["outcome"]["result"], "ok");
    writers.push_back(object["writer"]);
  }
  std::sort(writers.begin(), writers.end());
  EXPECT_EQ(writers, (std::vector<std::string>{std::min(one.Path(), two.Path()), std::max(one.Path(), two.Path())}));
  EXPECT_NE(r.err.find("summary: " + one.Path() + " passes 1, ok 1, failed 0, interrupted 0, serials none"),
            std::string::npos)
      << r.err;
}

}  // namespace
