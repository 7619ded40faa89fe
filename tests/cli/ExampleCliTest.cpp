// The bundled example (examples/): its HEX is what gpasm makes of its source,
// and the Auto Program pass the README shows succeeds with it as shipped.

#include <gtest/gtest.h>

#include "cli/CliProcess.h"

using namespace cli_test;

namespace {

using Lines = std::vector<std::string>;
using ExampleCliTest = CliTest;

const fs::path kSourceDir = WRITER_SOURCE_DIR;

TEST_F(ExampleCliTest, HexIsBuiltFromTheSource) {
  fs::copy_file(kSourceDir / "examples/example.asm", Path("example.asm"));
  ASSERT_TRUE(Shell("cd " + dir_.string() + " && gpasm -o example.hex example.asm"));
  EXPECT_EQ(ReadBytes(Path("example.hex")), ReadBytes(kSourceDir / "examples/example.hex"));
}

TEST_F(ExampleCliTest, AutoProgramPassesOnABlankPart) {
  Emulator emu;
  // example.cfg names its image as seen from the repository's folder.
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--port-path", emu.Path(), "--load", "examples/example.hex"});
    return RunCli(std::move(args), kSourceDir);
  };
  const auto pass = run({"auto-program"});
  EXPECT_EQ(pass.OutLines(), (Lines{"Blank Check ..... OK.", "OPTION program & verify OK!!",
                                    "Data program & verify OK!!", "ID & Checksum verify OK!!", "Pass Count : 1"}));
  EXPECT_EQ(pass.status, 0) << pass.err;
  const auto verify = run({"verify"});
  EXPECT_EQ(verify.OutLines(), (Lines{"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"}));
  EXPECT_EQ(verify.status, 0) << verify.err;
}

}  // namespace
