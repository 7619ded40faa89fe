// The production path through writer-cli and writer-emulator as processes,
// with images made by independent tools: load, program every area, verify,
// read the part back and compare it with the image as loaded; then one Auto
// Program pass with a serial number, read back from the part.

#include <gtest/gtest.h>

#include <functional>

#include "cli/CliProcess.h"

using namespace cli_test;

namespace {

using Lines = std::vector<std::string>;

constexpr std::uint8_t kOptionLow = 0x1A, kOptionHigh = 0x4B;
constexpr int kSerialWord = 0x100;

struct Maker {
  const char* name;
  const char* image;
  // Writes the image into dir with the tool; false when the tool failed.
  std::function<bool(const fs::path& dir)> make;
};

void PrintTo(const Maker& m, std::ostream* os) { *os << m.name; }

// A 12-bit PIC program with two RTIW words (RETLW 0) for a serial number.
bool Gpasm(const fs::path& dir) {
  WriteText(dir / "prog.asm",
            " LIST P=16C54\n ORG 0\n MOVLW 5\n MOVWF 6\n GOTO 0\n ORG 0x100\n RETLW 0\n RETLW 0\n END\n");
  return Shell("cd " + dir.string() + " && gpasm -o prog.hex prog.asm");
}

// QEL words as Intel hex: code at 0, two RTIW words (0x3100) at 0x100.
bool SrecCat(const fs::path& dir) {
  std::string raw;
  const auto word = [&](std::uint16_t w) {
    raw += static_cast<char>(w & 0xFF);
    raw += static_cast<char>(w >> 8);
  };
  for (int n = 0; n < kSerialWord + 2; ++n) word(n < 4 ? static_cast<std::uint16_t>(0x2800 | n) : 0x3FFF);
  raw.resize(raw.size() - 4);
  word(0x3100);
  word(0x3100);
  WriteText(dir / "qel.raw", raw);
  return Shell("cd " + dir.string() + " && srec_cat qel.raw -binary -o qel.qhx -intel");
}

class CliEndToEnd : public CliTest, public ::testing::WithParamInterface<Maker> {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    ASSERT_TRUE(GetParam().make(dir_)) << GetParam().name;
  }
  // The configuration: image, device, a valid OPTION word and the serial fields.
  void Config(const std::string& serialFields = "0 00 0 0 1 00 1 0 0") {
    WriteText(Path("set.cfg"), ConfigText(Path(GetParam().image), "Com1", "K7E1/E3", kOptionLow, kOptionHigh,
                                          serialFields));
  }
  void Expect(const CliResult& r, const Lines& lines) {
    EXPECT_EQ(r.OutLines(), lines) << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
  }
};

TEST_P(CliEndToEnd, ProgramVerifyAndReadBackMatchTheImage) {
  Config();
  ASSERT_EQ(Run({"--config", "set.cfg", "save-bin", "image.bin"}).status, 0);
  const Bytes image = ReadBytes(Path("image.bin"));
  ASSERT_EQ(image.size(), 2048u);

  Emulator emu;
  Expect(RunOn(emu, {"--config", "set.cfg", "program-memory"}), {"Program Ok!!", "Data verify OK!!"});
  Expect(RunOn(emu, {"--config", "set.cfg", "program-id"}), {"Program Ok!!", "ID & Checksum verify OK!!"});
  Expect(RunOn(emu, {"--config", "set.cfg", "program-option"}), {"OPTION program & verify OK!!"});
  Expect(RunOn(emu, {"--config", "set.cfg", "verify"}),
         {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"});
  Expect(RunOn(emu, {"read", "--save-bin", "ic.bin"}),
         {"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"});
  EXPECT_EQ(ReadBytes(Path("ic.bin")), image);

  // The part is no longer blank.
  EXPECT_EQ(RunOn(emu, {"blank-check"}).status, 1);
}

TEST_P(CliEndToEnd, AutoProgramStampsTheSerialNumberIntoThePart) {
  // Serial-number mode: two bytes from word 0x100 (256), starting at 1234h.
  Config("0 1234 1 256 2 1234 1 0 0");
  ASSERT_EQ(Run({"--config", "set.cfg", "save-bin", "image.bin"}).status, 0);
  Bytes want = ReadBytes(Path("image.bin"));
  ASSERT_EQ(want.size(), 2048u);
  // RTIW words returning 12h and 34h, most significant byte first.
  want[2 * kSerialWord] = 0x12;
  want[2 * kSerialWord + 2] = 0x34;

  Emulator emu;
  const auto pass = RunOn(emu, {"--config", "set.cfg", "auto-program"});
  EXPECT_EQ(pass.status, 0) << pass.err;
  const Lines out = pass.OutLines();
  EXPECT_NE(std::find(out.begin(), out.end(), "Data program & verify OK!!"), out.end());
  EXPECT_NE(std::find(out.begin(), out.end(), "Serial No. (HEX) : 1234"), out.end()) << pass.out;

  Expect(RunOn(emu, {"read", "--save-bin", "ic.bin"}),
         {"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"});
  EXPECT_EQ(ReadBytes(Path("ic.bin")), want);
}

INSTANTIATE_TEST_SUITE_P(Images, CliEndToEnd,
                         ::testing::Values(Maker{"Gpasm", "prog.hex", Gpasm}, Maker{"SrecCat", "qel.qhx", SrecCat}),
                         [](const ::testing::TestParamInfo<Maker>& info) { return std::string(info.param.name); });

}  // namespace
