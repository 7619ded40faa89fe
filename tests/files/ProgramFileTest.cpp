#include "files/ProgramFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "app/DeviceCatalogue.h"
#include "files/FileTestSupport.h"
#include "files/OpenCommands.h"
#include "files/SaveProgramMemory.h"
#include "support/ScriptedPrompts.h"

namespace {

struct Loader {
  MainState state;
  ScriptedPrompts prompts;
  ImageLoadResult Open(const std::string& path) { return OpenProgramImage(state, prompts, path); }
  std::uint16_t Word(int n) const { return state.ProgramWord(n); }
};

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> out(count);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

std::uint16_t FileWord(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return static_cast<std::uint16_t>((bytes[2 * n] | (bytes[2 * n + 1] << 8)) & 0x3FFF);
}

}  // namespace

TEST(ProgramFileNames, ExtensionsAndCompanionNamesLookAtTheFileNameOnly) {
  EXPECT_EQ(ImageKindOf("prog.Hex"), ImageKind::PicHex);
  EXPECT_EQ(ImageKindOf("/d/prog.old.bin"), ImageKind::QelBin);
  EXPECT_EQ(ImageKindOf("a.QHX"), ImageKind::QelHex);
  EXPECT_EQ(ImageKindOf("a.obj"), ImageKind::PicObj);
  EXPECT_EQ(ImageKindOf("a.cFg"), ImageKind::Config);
  EXPECT_EQ(ImageKindOf("a.hexx"), ImageKind::Unknown);
  EXPECT_EQ(ImageKindOf("/my.bin/prog"), ImageKind::Unknown);
  EXPECT_EQ(WithoutExtension("/d/prog.old.bin") + ".cfg", "/d/prog.old.cfg");
  EXPECT_EQ(WithoutExtension("/my.dir/prog"), "/my.dir/prog");
  EXPECT_EQ(DialogStartName("/my.dir/prog.old.bin"), "/my.dir/prog");
  EXPECT_EQ(DialogStartName("/my.dir/prog"), "");
  EXPECT_EQ(DialogStartName(""), "");
}

TEST(ProgramFile, BinaryImagesLoadWordByWordAndLeaveTheRestErased) {
  ScratchDir dir;
  Loader l;
  WriteBytes(dir.Path("ten.bin"), {0xFF, 0xFF, 0x80, 0x00, 0x34, 0x12, 0x03, 0x28, 0xFF, 0xFF});
  ASSERT_EQ(l.Open(dir.Path("ten.bin")), ImageLoadResult::Loaded);
  EXPECT_EQ(l.state.ProgramFileSize, 10);
  EXPECT_EQ(l.Word(0), 0x3FFF);
  EXPECT_EQ(l.state.ProgramBuffer[2], 0x00);
  EXPECT_EQ(l.state.ProgramBuffer[3], 0x01);  // 0x0080
  EXPECT_EQ(l.Word(2), 0x1234);
  EXPECT_EQ(l.Word(3), 0x2803);
  for (int n = 5; n < kProgramBufferWords; ++n) ASSERT_EQ(l.Word(n), 0x3FFF) << n;
  for (auto b : l.state.ProgramBuffer) ASSERT_LE(b, 0x7F);

  const auto big = RandomBytes(kProgramBufferBytes + 100, 7);
  WriteBytes(dir.Path("big.BIN"), big);
  Loader b;
  ASSERT_EQ(b.Open(dir.Path("big.BIN")), ImageLoadResult::Loaded);
  EXPECT_EQ(b.state.ProgramFileSize, kProgramBufferBytes);
  for (int n = 0; n < kProgramBufferWords; ++n) ASSERT_EQ(b.Word(n), FileWord(big, n)) << n;
}

TEST(ProgramFile, RefusesWhatIsNotAReadableImageWithoutTouchingTheBuffer) {
  ScratchDir dir;
  Loader l;
  l.state.ProgramBuffer[0] = 0x12;
  WriteText(dir.Path("notes.txt"), ":0100000011EE\n");
  EXPECT_EQ(l.Open(dir.Path("notes.txt")), ImageLoadResult::WrongType);
  std::filesystem::create_directory(dir.Path("folder.bin"));
  EXPECT_EQ(l.Open(dir.Path("folder.bin")), ImageLoadResult::CannotOpen);
  // A pipe would block the reader forever.
  ASSERT_EQ(::mkfifo(dir.Path("pipe.hex").c_str(), 0600), 0);
  EXPECT_EQ(l.Open(dir.Path("pipe.hex")), ImageLoadResult::CannotOpen);
  EXPECT_EQ(l.Open(dir.Path("missing.bin")), ImageLoadResult::CannotOpen);
  EXPECT_FALSE(LoadProgramImage(l.state, l.prompts, dir.Path("pipe.hex")));
  EXPECT_EQ(l.state.ProgramBuffer[0], 0x12);
  EXPECT_TRUE(l.prompts.messages.empty());
}

TEST(ProgramFile, HexWrittenBySrecordLoadsTheSameWords) {
  if (!HaveTool("srec_cat")) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  ScratchDir dir;
  const auto image = RandomBytes(2048, 11);
  WriteBytes(dir.Path("image.raw"), image);
  // Long records, lower-case digits, and a second copy placed with a gap after it.
  ASSERT_TRUE(RunCommand("srec_cat " + dir.Path("image.raw") + " -binary -o " + dir.Path("a.qhx") +
                  " -intel -output_block_size 64"));
  ASSERT_TRUE(RunCommand("srec_cat " + dir.Path("image.raw") + " -binary -offset 0x1000 -o " +
                  dir.Path("b.QHX") + " -intel -output_block_size 16"));
  WriteText(dir.Path("c.qhx"), [&] {
    auto bytes = ReadBytes(dir.Path("a.qhx"));
    std::string text(bytes.begin(), bytes.end());
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }());

  for (const char* name : {"a.qhx", "c.qhx"}) {
    Loader l;
    ASSERT_EQ(l.Open(dir.Path(name)), ImageLoadResult::Loaded) << name;
    EXPECT_TRUE(l.prompts.messages.empty()) << name;
    EXPECT_EQ(l.state.ProgramFileSize, 2047);
    for (int n = 0; n < 1024; ++n) ASSERT_EQ(l.Word(n), FileWord(image, n)) << name << " " << n;
    EXPECT_EQ(l.Word(1024), 0x3FFF);
  }
  Loader b;
  ASSERT_EQ(b.Open(dir.Path("b.QHX")), ImageLoadResult::Loaded);
  EXPECT_TRUE(b.prompts.messages.empty());
  EXPECT_EQ(b.Word(0x7FF), 0x3FFF);
  for (int n = 0; n < 1024; ++n) ASSERT_EQ(b.Word(0x800 + n), FileWord(image, n)) << n;
}

TEST(ProgramFile, PicProgramsAssembledByGpasmAreTranslated) {
  if (!HaveTool("gpasm")) GTEST_SKIP() << "gpasm (Debian package gputils) is not installed";
  ScratchDir dir;
  WriteText(dir.Path("core12.asm"),
            "  processor 16f54\n  org 0\n  movlw 0x12\n  tris 6\n  bsf 6,1\n  addwf 5,1\n"
            "  goto 5\n  xorlw 0xFF\n  retlw 0x42\n  end\n");
  WriteText(dir.Path("core14.asm"),
            "  processor 16f84\n  org 0\n  goto start\n  org 4\nstart:\n  bsf 3,5\n"
            "  movlw 0x12\n  addlw 0xFF\n  return\n  end\n");
  ASSERT_TRUE(RunCommand("gpasm -o " + dir.Path("core12.hex") + " " + dir.Path("core12.asm")));
  ASSERT_TRUE(RunCommand("gpasm -o " + dir.Path("core14.hex") + " " + dir.Path("core14.asm")));

  Loader twelve;
  twelve.state.CoreKind = 1;
  twelve.state.ProgramBytes = 1024;
  ASSERT_EQ(twelve.Open(dir.Path("core12.hex")), ImageLoadResult::Loaded);
  const std::uint16_t want12[] = {0x3A12, 0x1006, 0x0886, 0x1B85, 0x3205, 0x36FF, 0x3142, 0x3FFF};
  for (int n = 0; n < 8; ++n) EXPECT_EQ(twelve.Word(n), want12[n]) << n;

  Loader fourteen;
  fourteen.state.CoreKind = 2;
  fourteen.state.ProgramBytes = 2048;
  ASSERT_EQ(fourteen.Open(dir.Path("core14.hex")), ImageLoadResult::Loaded);
  const std::uint16_t want14[] = {0x2804, 0x3FFF, 0x3FFF, 0x3FFF, 0x0A83, 0x3A12, 0x37FF, 0x1004, 0x3FFF};
  for (int n = 0; n < 9; ++n) EXPECT_EQ(fourteen.Word(n), want14[n]) << n;
  EXPECT_TRUE(fourteen.prompts.messages.empty());

  // The same 14-bit program as a raw object file, and through a configuration's image path.
  WriteBytes(dir.Path("core14.obj"), {0x04, 0x28, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x83, 0x16});
  Loader obj;
  obj.state.CoreKind = 2;
  ASSERT_EQ(obj.Open(dir.Path("core14.obj")), ImageLoadResult::Loaded);
  EXPECT_EQ(obj.Word(0), 0x2804);
  EXPECT_EQ(obj.Word(4), 0x0A83);

  Loader cfg;
  cfg.state.CoreKind = 2;
  ASSERT_TRUE(LoadProgramImage(cfg.state, cfg.prompts, dir.Path("core14.hex")));
  EXPECT_EQ(cfg.state.ProgramFileSize, kProgramBufferBytes);
  for (int n = 0; n < 9; ++n) EXPECT_EQ(cfg.Word(n), want14[n]) << n;
}

TEST(ProgramFile, ConfigurationImagesReadAnyOtherExtensionAsRawBytes) {
  ScratchDir dir;
  WriteText(dir.Path("image.qhx"), ":0200000034124E\n:00000001FF\n");
  WriteText(dir.Path("image.dat"), ":0200000034124E\n");
  Loader l;
  ASSERT_TRUE(LoadProgramImage(l.state, l.prompts, dir.Path("image.qhx")));
  EXPECT_EQ(l.Word(0), 0x1234);
  ASSERT_TRUE(LoadProgramImage(l.state, l.prompts, dir.Path("image.dat")));
  EXPECT_EQ(l.Word(0), (0x30 << 8 | 0x3A) & 0x3FFF);  // ":0" as a word
  EXPECT_EQ(l.state.ProgramFileSize, kProgramBufferBytes);
}

TEST(SaveProgramMemory, WritesTheDeviceWordsThatOpenReadsBack) {
  ScratchDir dir;
  MainState s;
  s.ProgramBytes = 2048;
  ASSERT_TRUE(SaveProgramImage(s, dir.Path("blank.bin")));
  const auto blank = ReadBytes(dir.Path("blank.bin"));
  ASSERT_EQ(blank.size(), 2048u);
  for (std::size_t i = 0; i < blank.size(); i += 2) {
    ASSERT_EQ(blank[i], 0xFF);
    ASSERT_EQ(blank[i + 1], 0x3F);
  }

  std::mt19937 gen(3);
  for (int n = 0; n < 1024; ++n) s.SetProgramWord(n, static_cast<std::uint16_t>(gen() & 0x3FFF));
  s.SetProgramWord(1, 0x2803);
  s.SetProgramWord(1024, 0x1111);  // beyond the device: not saved
  std::filesystem::permissions(dir.Path("blank.bin"), std::filesystem::perms(0640));
  ASSERT_TRUE(SaveProgramImage(s, dir.Path("blank.bin")));  // replaces the old file
  EXPECT_EQ(std::filesystem::status(dir.Path("blank.bin")).permissions(), std::filesystem::perms(0640));
  const auto saved = ReadBytes(dir.Path("blank.bin"));
  ASSERT_EQ(saved.size(), 2048u);
  EXPECT_EQ(saved[2], 0x03);
  EXPECT_EQ(saved[3], 0x28);

  Loader l;
  ASSERT_EQ(l.Open(dir.Path("blank.bin")), ImageLoadResult::Loaded);
  for (int n = 0; n < 1024; ++n) ASSERT_EQ(l.Word(n), s.ProgramWord(n)) << n;
  EXPECT_EQ(l.Word(1024), 0x3FFF);

  // A device row larger than the buffer saves the whole buffer, no more.
  s.ProgramBytes = 40000;
  EXPECT_EQ(DeviceImageBytes(s).size(), static_cast<std::size_t>(kProgramBufferBytes));

  // Failures leave nothing behind: no folder, a folder in the way.
  EXPECT_FALSE(SaveProgramImage(s, dir.Path("no/such/dir/x.bin")));
  std::filesystem::create_directory(dir.Path("taken.bin"));
  EXPECT_FALSE(SaveProgramImage(s, dir.Path("taken.bin")));
  EXPECT_FALSE(SaveProgramImage(s, ""));
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.dir())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"blank.bin", "taken.bin"}));
}

// Words of an image past the selected device's last word are never
// programmed: "Open" (and writer-cli) say so, naming them.
TEST(ProgramFile, DataPastTheDeviceIsNamed) {
  struct Case {
    const char* name;
    std::vector<int> words;  // non-blank words of the image
    std::string warning;
  };
  const std::vector<Case> cases = {
      {"fits", {0, 0x3FF}, ""},
      {"one word", {0, 0x400}, "The image has data at 0400h, past the last word of K7E1/E3 (03FFh): it is not programmed."},
      {"a block", {0x500, 0x580, 0x5FF},
       "The image has data at 0500h to 05FFh, past the last word of K7E1/E3 (03FFh): those words are not programmed."},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes(2 * (c.words.back() + 1), 0xFF);
    for (int n : c.words) bytes[2 * n] = 0x12;
    WriteBytes(dir.Path("image.bin"), bytes);
    Loader loader;
    ASSERT_EQ(GetICInfo(loader.state, "K7E1/E3"), 0);
    ASSERT_EQ(loader.Open(dir.Path("image.bin")), ImageLoadResult::Loaded);
    EXPECT_EQ(ImagePastDeviceWarning(loader.state), c.warning);
  }
}
