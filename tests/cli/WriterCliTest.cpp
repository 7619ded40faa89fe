// writer-cli as a process: against writer-emulator on a pseudo-terminal for
// the Writer operations, alone for the file tools.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliProcess.h"
#include "link/PosixSerialDevice.h"

using namespace cli_test;

namespace {

using Lines = std::vector<std::string>;

const Lines kBlankCheckOk = {"OPTION ....... OK", "ID Checksum ......... OK.", "Data ......... OK."};
const Lines kReadOk = {"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"};

// The 8-bit image "Save Program Memory" writes for a 1024-word part.
Bytes ImageBytes(const std::vector<std::uint16_t>& words) {
  Bytes image;
  for (int n = 0; n < 1024; ++n) {
    const std::uint16_t w = n < static_cast<int>(words.size()) ? words[n] : 0x3FFF;
    image.push_back(w & 0xFF);
    image.push_back(w >> 8);
  }
  return image;
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

using WriterCliTest = CliTest;

TEST_F(WriterCliTest, ProbePrintsThePortChoiceText) {
  struct Case {
    std::vector<std::string> emulator;
    std::string text;
    int status;
  } cases[] = {
      {{}, "Connect OK!", 0},
      {{"--model", "2"}, "Connect OK!", 0},
      {{"--model", "1"}, "Connect Fail!", 1},  // the first device needs model 2
      {{"--fault", "garbage"}, "Connect Fail!", 1},
  };
  for (const auto& c : cases) {
    Emulator emu(c.emulator);
    const auto r = RunOn(emu, {"probe"});
    EXPECT_EQ(r.out, c.text + "\n") << c.text;
    EXPECT_EQ(r.status, c.status) << c.text;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(WriterCliTest, ProbeOfASilentWriterTimesOutNamingThePort) {
  Emulator emu({"--fault", "cts"});
  const auto r = RunOn(emu, {"probe"});
  EXPECT_EQ(r.out, "Connect " + emu.Path() + " Timeout!!\n");  // a path keeps its spelling
  EXPECT_EQ(r.status, 1);
}

TEST_F(WriterCliTest, BlankCheckOfABlankPartPrintsItsThreeLines) {
  Emulator emu;
  const auto r = RunOn(emu, {"blank-check"});
  EXPECT_EQ(r.OutLines(), kBlankCheckOk);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(WriterCliTest, BlankCheckOutcomesOtherThanBlankExitOne) {
  struct Case {
    std::vector<std::string> emulator;
    std::vector<std::uint16_t> burn;
    Bytes id;
    Lines lines;
  } cases[] = {
      {{}, {0x3FFF, 0x3FFF, 0x1234}, {}, {"OPTION ....... OK", "ID Checksum ......... OK.", "Data ....... Not Blank!!", "Error at 0002h = 0x1234"}},
      {{}, {0x3FFF, 0x3FFF, 0x3FFF, 0x007F}, {}, {"OPTION ....... OK", "ID Checksum ......... OK.", "Data ....... Not Blank!!", "Error at 0003h = 007Fh"}},
      {{}, {}, {0x7F, 0x7F, 0x01}, {"OPTION ....... OK", "error: ID Checksum ....... Not Blank!!"}},
      {{"--empty"}, {}, {}, {"error: Nothing in socket or type error!!"}},
      {{"--adapter-error"}, {}, {}, {"error: IC adapter board error!!"}},
      {{"--model", "1"}, {}, {}, {"error: Writer type is error!"}},
      {{"--fault", "garbage"}, {}, {}, {"error: Writer Error!!"}},
      {{"--fault", "early-end=100"}, {}, {}, {"OPTION ....... OK", "ID Checksum ......... OK.", "error: Writer Error!!"}},
  };
  for (const auto& c : cases) {
    Emulator emu(c.emulator);
    ASSERT_TRUE(emu.Burn(c.burn, c.id));
    const auto r = RunOn(emu, {"blank-check"});
    EXPECT_EQ(r.OutLines(), c.lines) << r.out;
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(WriterCliTest, EraseOfAOneTimePartIsRefusedWithoutTouchingThePort) {
  const auto r = Run({"--port-path", Path("no-such-port").string(), "erase"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cannot be erased"), std::string::npos) << r.err;
}

TEST_F(WriterCliTest, ReadSavesWhatTheIcHolds) {
  std::vector<std::uint16_t> words;
  for (int n = 0; n < 1024; ++n) words.push_back(static_cast<std::uint16_t>((n * 37 + 5) & 0x3FFF));
  Emulator emu;
  ASSERT_TRUE(emu.Burn(words));
  const auto r = RunOn(emu, {"read", "--save-bin", "ic.bin"});
  EXPECT_EQ(r.OutLines(), kReadOk);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(Path("ic.bin")), ImageBytes(words));
}

TEST_F(WriterCliTest, AFailedReadSavesNothing) {
  Emulator emu({"--fault", "early-end=100"});
  const auto r = RunOn(emu, {"read", "--save-bin", "ic.bin"});
  EXPECT_EQ(r.OutLines(), Lines({"Read OPTION OK!", "Read ID and Checksum OK!", "error: Read error!!"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(Path("ic.bin")));
}

TEST_F(WriterCliTest, VerifyComparesTheIcWithTheLoadedBuffers) {
  const std::vector<std::uint16_t> words = {0x3A5A, 0x2803, 0x0000, 0x1B85};
  const Bytes image = ImageBytes(words);
  WriteText(Path("img.bin"), AsText(Bytes(image.begin(), image.begin() + 8)));
  Bytes changed = image;
  changed[2] = 0x04;  // word 1 becomes 2804
  WriteText(Path("other.bin"), AsText(Bytes(changed.begin(), changed.begin() + 8)));
  // OPTION with its code-protection bit 13 clear, as a protected part reads it.
  WriteText(Path("protected.cfg"), ConfigText(Path("img.bin"), "Com1", "K7E1/E3", 0x7F, 0x3F));
  WriteText(Path("option.cfg"), ConfigText(Path("img.bin"), "Com1", "K7E1/E3", 0x00, 0x7F));

  // The IC carries the data checksum in ID bytes 12 to 15, as "Program ID" leaves it.
  const auto sums = Run({"--load", "img.bin", "checksum"});
  ASSERT_EQ(sums.status, 0);
  const std::string sum = sums.OutLines().at(0).substr(std::string("Checksum: ").size());
  Bytes id(12, 0x7F);
  for (char ch : sum) id.push_back(static_cast<std::uint8_t>(ch));

  const Lines allOk = {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"};
  struct Case {
    std::vector<std::string> emulator;
    std::vector<std::string> args;
    Lines lines;
    int status;
  } cases[] = {
      {{}, {"--load", "img.bin", "verify"}, allOk, 0},
      {{}, {"--load", "other.bin", "verify"},
       {"OPTION verify OK!!", "error: Checksum verify fail!!", "Data Verify error at 0001H", "IC=2803H, Buffer=2804H"},
       1},
      {{}, {"--config", "option.cfg", "verify"},
       {"error: OPTION verify Fail!!", "ID & Checksum verify OK!!", "Data verify OK!!"}, 1},
      {{}, {"--config", "protected.cfg", "verify-protect"}, {"error: OPTION verify Fail!!", "error: IC no protected!!"}, 1},
      {{"--protected"}, {"--config", "protected.cfg", "verify-protect"}, allOk, 0},
      {{"--protected"}, {"--config", "protected.cfg", "verify"},
       {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data Verify error at 0000H", "IC=3FDFH, Buffer=3A5AH"}, 1},
  };
  for (const auto& c : cases) {
    Emulator emu(c.emulator);
    ASSERT_TRUE(emu.Burn(words, id));
    const auto r = RunOn(emu, c.args);
    EXPECT_EQ(r.OutLines(), c.lines) << c.args[1];
    EXPECT_EQ(r.status, c.status) << c.args[1] << r.err;
  }
}

TEST_F(WriterCliTest, DownloadSendsTheNamedDevices) {
  Emulator emu;
  const auto sent = RunOn(emu, {"download", "K7E2/E4", "K7E1/E3"});
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(sent.out, "");

  Emulator garbled({"--fault", "garbage"});
  const auto refused = RunOn(garbled, {"download", "K7E1/E3"});
  EXPECT_EQ(refused.out, "Writer Error!!\n");  // the message box
  EXPECT_EQ(refused.status, 1);

  const auto unknown = RunOn(emu, {"download", "K7E1/E3", "K7E9"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("K7E9"), std::string::npos);
}

// The window's text, then why, so that the person at the station can act.
TEST_F(WriterCliTest, PortErrorsExitTwoAndSayWhy) {
  const auto missing = Path("no-such-port").string();
  Emulator emu;
  PosixSerialDevice holder;  // this test program holds the emulator's port
  ASSERT_EQ(holder.Open(emu.Path()), 0);
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);
  const struct {
    std::string port;
    std::string why;
  } cases[] = {
      {missing, missing + " does not exist: is the Writer's cable plugged in?"},
      {emu.Path(), emu.Path() + " is in use by another program (" + self + ", process " + std::to_string(getpid()) + ")"},
  };
  for (const auto& c : cases) {
    for (const char* command : {"probe", "blank-check", "read"}) {
      const auto r = Run({"--port-path", c.port, command});
      EXPECT_EQ(r.status, 2) << command;
      EXPECT_EQ(r.out, "") << command;
      EXPECT_EQ(r.err, "Open  " + c.port + " Port Error!!\nwriter-cli: " + c.why + "\n") << command;
    }
  }
}

TEST_F(WriterCliTest, TraceWritesEveryByteOnTheLine) {
  Emulator emu;
  const auto r = RunOn(emu, {"--trace", "wire.txt", "probe"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::ifstream trace(Path("wire.txt"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(trace, line);) lines.push_back(line.substr(line.find(' ') + 1));
  EXPECT_EQ(lines, (std::vector<std::string>{"> A0", "< B4"}));

  const auto refused = RunOn(emu, {"--trace", Path("no-dir/wire.txt").string(), "probe"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "writer-cli: cannot write the trace " + Path("no-dir/wire.txt").string() + "\n");
}

TEST_F(WriterCliTest, PortNamesGoThroughThePortMap) {
  const fs::path config = Path("config");
  const fs::path ports = config / "qel-writer" / "ports";
  Emulator emu({"--link", "Com3", "--port-map", ports.string()});
  ASSERT_TRUE(fs::exists(ports / "com3"));
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const auto byName = Run({"--port", "Com3", "probe"});
  // A configuration file's port is the default when none is given.
  WriteText(Path("img.bin"), AsText(ImageBytes({0x1234})));
  WriteText(Path("set.cfg"), ConfigText(Path("img.bin"), "Com3", "K7E1/E3"));
  const auto byConfig = Run({"--config", "set.cfg", "probe"});
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(byName.out, "Connect OK!\n");
  EXPECT_EQ(byName.status, 0) << byName.err;
  EXPECT_EQ(byConfig.out, "Connect OK!\n");
  EXPECT_EQ(byConfig.status, 0) << byConfig.err;
}

TEST_F(WriterCliTest, FileToolsNeedNoPort) {
  // A port that does not exist must not matter.
  const std::string noPort = Path("no-such-port").string();
  const auto sums = Run({"--port-path", noPort, "checksum"});
  EXPECT_EQ(sums.OutLines(), Lines({"Checksum: F800", "OPTION Sum: F929", "Protect Sum: F800"}));
  EXPECT_EQ(sums.status, 0) << sums.err;

  const auto fill = Run({"--port-path", noPort, "fill", "10", "10", "1234"});
  EXPECT_EQ(fill.OutLines(), Lines({"Checksum: F708", "OPTION Sum: F831", "Protect Sum: F7A0"}));
  EXPECT_EQ(fill.status, 0) << fill.err;

  const auto save = Run({"--port-path", noPort, "save-bin", "blank.bin"});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(save.out, "");
  EXPECT_EQ(ReadBytes(Path("blank.bin")), ImageBytes({}));

  const auto listing = Run({"--port-path", noPort, "disassemble", "blank"});  // gets .dis
  EXPECT_EQ(listing.status, 0) << listing.err;
  const std::string text = AsText(ReadBytes(Path("blank.dis")));
  EXPECT_NE(text.find("\r\n        END"), std::string::npos);
  EXPECT_EQ(text.find("LDWI"), std::string::npos);
}

TEST_F(WriterCliTest, FillRefusesWhatTheDialogRefuses) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"20", "10", "0"}, "Start address is a invalid value!"},
      {{"400", "400", "0"}, "Start address is a invalid value!"},
      {{"0", "400", "0"}, "End address is a invalid value!"},
      {{"0", "3FF", "4000"}, "Data is a invalid value!"},
      {{"0", "3FF", "12G"}, "Data is a invalid value!"},
      {{"0", "10000", "0"}, "End address is a invalid value!"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"fill"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = Run(args);
    EXPECT_EQ(r.status, 2) << c.error;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.error + "\n");
  }
}

TEST_F(WriterCliTest, ImagesMadeByGpasmAndSrecCatLoadAsOpenDoes) {
  // A 12-bit PIC program: translated into QEL code on loading.
  WriteText(Path("pic.asm"),
            "        processor 16f54\n"
            "        org 0\n"
            "        movlw 0x5A\n"
            "        nop\n"
            "        end\n");
  ASSERT_TRUE(Shell("cd " + dir_.string() + " && gpasm -o pic.hex pic.asm")) << "gpasm";
  const auto pic = Run({"--load", "pic.hex", "save-bin", "pic.bin"});
  EXPECT_EQ(pic.status, 0) << pic.err;
  const Bytes picImage = ReadBytes(Path("pic.bin"));
  ASSERT_EQ(picImage.size(), 2048u);
  EXPECT_EQ(picImage[0], 0x5A);  // LDWI 5AH
  EXPECT_EQ(picImage[1], 0x3A);

  // QEL code as Intel hex: taken as it is.
  const std::vector<std::uint16_t> words = {0x3A5A, 0x2803, 0x0000, 0x1B85};
  const Bytes image = ImageBytes(words);
  WriteText(Path("qel.raw"), AsText(Bytes(image.begin(), image.begin() + 8)));
  ASSERT_TRUE(Shell("cd " + dir_.string() + " && srec_cat qel.raw -binary -o qel.qhx -intel")) << "srec_cat";
  const auto qel = Run({"--load", "qel.qhx", "save-bin", "qel.bin"});
  EXPECT_EQ(qel.status, 0) << qel.err;
  EXPECT_EQ(ReadBytes(Path("qel.bin")), ImageBytes(words));

  // A 14-bit PIC program for this 12-bit part is the wrong image.
  WriteText(Path("pic14.asm"),
            "        processor 16f84\n"
            "        org 0\n"
            "        movlw 0x5A\n"
            "        end\n");
  ASSERT_TRUE(Shell("cd " + dir_.string() + " && gpasm -o pic14.hex pic14.asm")) << "gpasm";
  const auto wrongCore = Run({"--load", "pic14.hex", "checksum"});
  EXPECT_EQ(wrongCore.status, 2);
  EXPECT_EQ(wrongCore.err, "Warning: File format error !(14 bit)\n");

  const auto listing = Run({"--load", "qel.qhx", "disassemble", "qel.dis"});
  EXPECT_EQ(listing.status, 0) << listing.err;
  const std::string text = AsText(ReadBytes(Path("qel.dis")));
  EXPECT_NE(text.find("        ADDWR   PORTA,R         ;0003    1B85\r\n"), std::string::npos) << text;
}

TEST_F(WriterCliTest, ReadBackOfABurntImageMatchesTheLoadedFile) {
  const std::vector<std::uint16_t> words = {0x3A5A, 0x2803, 0x0000, 0x1B85, 0x0123};
  const Bytes image = ImageBytes(words);
  WriteText(Path("img.bin"), AsText(Bytes(image.begin(), image.begin() + 10)));
  Emulator emu;
  ASSERT_TRUE(emu.Burn(words));
  const auto r = RunOn(emu, {"--load", "img.bin", "read", "--save-bin", "back.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({"--load", "img.bin", "save-bin", "loaded.bin"}).status, 0);
  EXPECT_EQ(ReadBytes(Path("back.bin")), ReadBytes(Path("loaded.bin")));
}

TEST_F(WriterCliTest, FileErrorsExitTwoWithTheWindowsMessage) {
  WriteText(Path("bad.hex"), ":0200000000FFFE\n:00000001FF\n");  // checksum should be FF
  WriteText(Path("notes.txt"), "hello");
  WriteText(Path("broken.cfg"), "QEL whatever");
  fs::create_directory(Path("folder.bin"));
  WriteText(Path("folder.cfg"), ConfigText(Path("folder.bin"), "Com1", "K7E1/E3"));
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--load", "missing.bin", "checksum"}, "File don't exist! (missing.bin)"},
      {{"--config", "missing.cfg", "checksum"}, "File don't exist! (missing.cfg)"},
      {{"--load", "notes.txt", "checksum"}, "File type incorrect!"},
      {{"--load", "bad.hex", "checksum"}, "Checksum error at line 1 !"},
      {{"--config", "broken.cfg", "checksum"}, "'broken.cfg' file data error!"},
      {{"--load", "broken.cfg", "checksum"}, "'broken.cfg' file data error!"},
      {{"--config", "folder.cfg", "checksum"}, "'" + Path("folder.bin").string() + "' file do not find!"},
      {{"--load", "folder.bin", "checksum"}, "File can't open! (folder.bin)"},
  };
  for (const auto& c : cases) {
    const auto r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.error;
    EXPECT_EQ(r.out, "") << c.error;
    EXPECT_EQ(r.err, c.error + "\n");
  }
}

TEST_F(WriterCliTest, UsageErrorsExitTwoHelpAndVersionZero) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"--bogus", "checksum"},
      {"--port", "Com9", "probe"},
      {"--handshake", "RTS", "probe"},
      {"--port", "Com1", "--port-path", "/dev/null", "probe"},
      {"disassemble"},
      {"checksum", "extra"},
      {"fill", "0", "3FF"},
      {"--save-bin", "x.bin", "read"},
      {"read", "--save-bin"},
      {"--ic", "NO-SUCH-IC", "checksum"},
      {"--load"},
  };
  for (const auto& args : bad) {
    const auto r = Run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("writer-cli: ", 0), 0u) << r.err;
  }
  const auto help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: writer-cli"), std::string::npos);
  const auto version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "writer-cli 2.63\n");
}

// --load opens as "Open" does. What that leaves out is said on standard
// error: a configuration's serial-number mode (--config keeps it), and words
// past the device, which are never programmed.
TEST_F(WriterCliTest, LoadSaysWhatItLeavesOut) {
  const std::string serial = "0 1234 1 256 2 1234 1 0 0";
  WriteText(Path("img.bin"), AsText({0x34, 0x12}));
  WriteText(Path("job.cfg"), ConfigText(Path("img.bin"), "Com1", "K7E1/E3", 0x7F, 0x7F, serial));
  WriteText(Path("other.bin"), AsText({0x34, 0x12}));
  WriteText(Path("other.cfg"), ConfigText(Path("other.bin"), "Com1", "K7E1/E3", 0x7F, 0x7F, serial));
  Bytes past(2 * 0x501, 0xFF);
  past[2 * 0x500] = 0x12;
  WriteText(Path("past.bin"), AsText(past));
  const auto serialOff = [](const std::string& cfg) {
    return "writer-cli: serial-number mode is off: --load opens " + cfg +
           " as \"Open\" does, which turns it off; --config " + cfg + " keeps it\n";
  };
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--load", "job.cfg"}, serialOff("job.cfg")},
      {{"--load", "other.bin"}, serialOff("other.cfg")},  // the configuration beside the image
      {{"--config", "job.cfg"}, ""},
      {{"--config", "job.cfg", "--load", "img.bin"},
       "writer-cli: serial-number mode is off: --load opens img.bin as \"Open\" does, which turns it off; "
       "--config without --load keeps it\n"},
      {{"--load", "past.bin"},
       "writer-cli: The image has data at 0500h, past the last word of K7E1/E3 (03FFh): it is not programmed.\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("checksum");
    const auto r = Run(args);
    EXPECT_EQ(r.err, c.err) << c.args.back();
    EXPECT_EQ(r.status, 0) << c.args.back();
  }
}

TEST_F(WriterCliTest, ConfigurationAndDeviceChoiceApplyAndDefaultCfgIsNeverTouched) {
  const std::string junk = "not a configuration";
  WriteText(Path("Default.cfg"), junk);
  // The second device normalises the OPTION word differently.
  const auto first = Run({"checksum"});
  const auto second = Run({"--ic", "K7E2/E4", "checksum"});
  EXPECT_EQ(first.OutLines(), Lines({"Checksum: F800", "OPTION Sum: F929", "Protect Sum: F800"}));
  EXPECT_EQ(second.OutLines(), Lines({"Checksum: F800", "OPTION Sum: F92E", "Protect Sum: F800"}));

  // A configuration naming the second device and an image of one word.
  WriteText(Path("img.bin"), AsText({0x34, 0x12}));
  WriteText(Path("set.cfg"), ConfigText(Path("img.bin"), "Com1", "K7E2/E4"));
  const auto loaded = Run({"--config", "set.cfg", "checksum"});
  EXPECT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_EQ(loaded.OutLines(), Lines({"Checksum: F708", "OPTION Sum: F836", "Protect Sum: F7A0"}));

  EXPECT_EQ(AsText(ReadBytes(Path("Default.cfg"))), junk);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir_)) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, Lines({"Default.cfg", "img.bin", "set.cfg"}));
}

}  // namespace
