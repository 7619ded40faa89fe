#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "files/Disassembler.h"

namespace {

const std::string kHeader =
    ";Registers\r\n"
    "IAR     EQU     00H\r\n"
    "RTCC    EQU     01H\r\n"
    "PCL     EQU     02H\r\n"
    "STATUS  EQU     03H\r\n"
    "MSR     EQU     04H\r\n"
    "PORTA   EQU     05H\r\n"
    "PORTB   EQU     06H\r\n"
    "PORTC   EQU     07H\r\n"
    ";\r\n"
    "W       EQU     0H\r\n"
    "R       EQU     1H\r\n"
    ";Flags\r\n"
    "CF      EQU     0H\r\n"
    "HC      EQU     1H\r\n"
    "ZF      EQU     2H\r\n"
    "PF      EQU     3H\r\n"
    "TF      EQU     4H\r\n"
    ";\r\n"
    "        ORG     0000H           ;Addr    Org-Code\r\n";
const std::string kEnd = "        END\r\n";

// A 1024-word device with every word erased.
MainState BlankDevice() {
  MainState s;
  EXPECT_GE(GetICInfo(s, "K7E1/E3"), 0);
  EXPECT_EQ(s.ProgramWords(), 1024);
  return s;
}

// The listing without header and END, lines without CR LF.
std::vector<std::string> Body(const std::string& listing) {
  EXPECT_EQ(listing.rfind(kHeader, 0), 0u);
  EXPECT_TRUE(listing.ends_with(kEnd));
  std::vector<std::string> lines;
  std::size_t pos = kHeader.size();
  const std::size_t stop = listing.size() - kEnd.size();
  while (pos < stop) {
    const std::size_t eol = listing.find("\r\n", pos);
    lines.push_back(listing.substr(pos, eol - pos));
    pos = eol + 2;
  }
  return lines;
}

std::string Text(std::uint16_t word) {
  const QelInstruction ins = DecodeQelWord(word);
  if (!ins.defined) return "<undefined>";
  std::string s = ins.mnemonic;
  if (*ins.operand) s += std::string(" ") + ins.operand;
  return s;
}

}  // namespace

TEST(Disassembler, WorkedExampleLinesByteForByte) {
  MainState s = BlankDevice();
  s.SetProgramWord(0x0005, 0x1B85);
  s.SetProgramWord(0x0010, 0x0903);
  s.SetProgramWord(0x03FF, 0x2923);
  const auto body = Body(DisassemblyListing(s));
  const std::vector<std::string> expected = {
      ";----------------------------",
      "        ORG     0005H",
      "        ADDWR   PORTA,R         ;0005    1B85",
      ";----------------------------",
      "        ORG     0010H",
      "        BSR     STATUS,ZF       ;0010    0903",
      ";----------------------------",
      "        ORG     03FFH",
      "        LJUMP   0123H           ;03FF    2923",
  };
  EXPECT_EQ(body, expected);
}

TEST(Disassembler, BlankBufferIsHeaderThenEnd) {
  EXPECT_EQ(DisassemblyListing(BlankDevice()), kHeader + kEnd);
}

TEST(Disassembler, OrgLinesOnlyAfterSkippedWords) {
  MainState s = BlankDevice();
  for (int i = 0; i < 4; ++i) s.SetProgramWord(i, 0x1000);  // NOP
  s.SetProgramWord(0x3FF, 0x2800);
  auto body = Body(DisassemblyListing(s));
  ASSERT_EQ(body.size(), 7u);
  EXPECT_EQ(body[0], "        NOP                     ;0000    1000");
  EXPECT_EQ(body[3], "        NOP                     ;0003    1000");
  EXPECT_EQ(body[4], ";----------------------------");
  EXPECT_EQ(body[5], "        ORG     03FFH");
  EXPECT_EQ(body[6], "        LJUMP   0000H           ;03FF    2800");

  // An undefined word that is not erased also breaks the run; undefined
  // words at the end add nothing before END.
  s.BlankProgram();
  s.SetProgramWord(1, 0x3E55);
  s.SetProgramWord(2, 0x1004);
  s.SetProgramWord(3, 0x1008);
  body = Body(DisassemblyListing(s));
  EXPECT_EQ(body, (std::vector<std::string>{";----------------------------", "        ORG     0002H",
                                            "        RET                     ;0002    1004"}));
}

TEST(Disassembler, EveryInstructionGroup) {
  const std::vector<std::pair<std::uint16_t, std::string>> cases = {
      {0x0000, "BCR IAR,0"},        {0x03FF, "BCR 07FH,7"},       {0x0400, "BTSC IAR,0"},
      {0x0B85, "BSR PORTA,7"},      {0x0FFF, "BTSS 07FH,7"},      {0x1000, "NOP"},
      {0x1001, "CLRWT"},            {0x1002, "SLEEP"},            {0x1003, "TMODE"},
      {0x1004, "RET"},              {0x1005, "CPIO PA"},          {0x1006, "CPIO PB"},
      {0x1007, "CPIO PC"},          {0x1008, "<undefined>"},      {0x1009, "RTFI"},
      {0x100A, "<undefined>"},      {0x107F, "<undefined>"},      {0x1080, "CLRW"},
      {0x10FF, "CLRW"},             {0x1106, "CLRR PORTB"},       {0x1187, "STWR PORTC"},
      {0x1220, "ANDWR 020H,W"},     {0x13A0, "IORWR 020H,R"},     {0x1401, "XORWR RTCC,W"},
      {0x1582, "RLR PCL,R"},        {0x1604, "RRR MSR,W"},        {0x1700, "SWAPR IAR,W"},
      {0x1800, "LDR IAR,W"},        {0x1900, "INCR IAR,W"},       {0x1A00, "INCRSZ IAR,W"},
      {0x1B00, "ADDWR IAR,W"},      {0x1C00, "SUBWR IAR,W"},      {0x1D00, "DECR IAR,W"},
      {0x1E00, "DECRSZ IAR,W"},     {0x1FFF, "COMR 07FH,R"},      {0x2000, "LCALL 0000H"},
      {0x27FF, "LCALL 07FFH"},      {0x2800, "LJUMP 0000H"},      {0x2FFF, "LJUMP 07FFH"},
      {0x30AB, "CALL 00ABH"},       {0x31FF, "RTIW 0FFH"},        {0x3200, "JUMP 0000H"},
      {0x33FF, "JUMP 01FFH"},       {0x3401, "ANDWI 001H"},       {0x3502, "IORWI 002H"},
      {0x3603, "XORWI 003H"},       {0x3704, "ADDWI 004H"},       {0x3805, "SUBWI 005H"},
      {0x39FF, "<undefined>"},      {0x3AFF, "LDWI 0FFH"},        {0x3B00, "<undefined>"},
      {0x3E55, "<undefined>"},      {0x3FFF, "<undefined>"},
  };
  for (const auto& [word, text] : cases) EXPECT_EQ(Text(word), text) << std::hex << word;
}

TEST(Disassembler, RegisterAndStatusFlagNames) {
  const char* names[] = {"IAR", "RTCC", "PCL", "STATUS", "MSR", "PORTA", "PORTB", "PORTC"};
  for (unsigned f = 0; f < 8; ++f) EXPECT_EQ(Text(0x1100 | f), std::string("CLRR ") + names[f]);
  EXPECT_EQ(Text(0x1108), "CLRR 008H");
  EXPECT_EQ(Text(0x117F), "CLRR 07FH");

  // STATUS bits 0-4 by name, 5-7 as numbers; other registers always numeric.
  const char* bits[] = {"CF", "HC", "ZF", "PF", "TF", "5", "6", "7"};
  for (unsigned b = 0; b < 8; ++b) EXPECT_EQ(Text(0x0C00 | (b << 7) | 3), std::string("BTSS STATUS,") + bits[b]);
  EXPECT_EQ(Text(0x0045), "BCR 045H,0");
  EXPECT_EQ(Text(0x0082), "BCR PCL,1");
}

TEST(Disassembler, BoundsWhateverTheDeviceOrBufferSays) {
  MainState s;
  s.BlankProgram();
  s.SetProgramWord(kProgramBufferWords - 1, 0x1000);
  s.ProgramBytes = 0x7FFFFFFF;  // a row far larger than the buffer
  auto body = Body(DisassemblyListing(s));
  ASSERT_EQ(body.size(), 3u);
  EXPECT_EQ(body[2], "        NOP                     ;3FFE    1000");

  s.ProgramBytes = -8;
  EXPECT_EQ(DisassemblyListing(s), kHeader + kEnd);

  // An odd byte count holds no last half-word; a word count past the bytes is cut.
  const std::vector<std::uint8_t> bytes = {0x00, 0x20, 0x04};
  EXPECT_EQ(Body(DisassemblyListing(bytes, 100)),
            std::vector<std::string>{"        NOP                     ;0000    1000"});
  // Stray top bits in stored halves are not part of the word.
  const std::vector<std::uint8_t> dirty = {0x80, 0xA0};
  EXPECT_EQ(DisassemblyListing(dirty, 1), DisassemblyListing(bytes, 1));
}

TEST(Disassembler, ProposedListingName) {
  EXPECT_EQ(ProposedListingName("prog.bin"), "prog");
  EXPECT_EQ(ProposedListingName("prog.v2.qhx"), "prog");
  EXPECT_EQ(ProposedListingName("prog"), "");
  EXPECT_EQ(ProposedListingName(""), "");
  // A dot in a directory name does not cut the path short.
  EXPECT_EQ(ProposedListingName("/home/u/.local/work.d/prog.hex"), "/home/u/.local/work.d/prog");
  EXPECT_EQ(ProposedListingName("./prog.obj"), "./prog");
  EXPECT_EQ(ProposedListingName("/home/u/.hidden"), "");
}

class ListingFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/disasm-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  static std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
  }
  std::filesystem::path dir_;
};

TEST_F(ListingFile, ReplacesAWholeFileAndLeavesNoTemporary) {
  const auto path = dir_ / "prog.dis";
  { std::ofstream(path) << "an older and much longer listing than the new one\n"; }
  std::string error;
  ASSERT_TRUE(WriteListingFile(path.string(), "A\r\nB\r\n", error)) << error;
  EXPECT_EQ(Read(path), "A\r\nB\r\n");
  EXPECT_EQ(Entries(), 1u);
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "not left with a private temporary's mode";
}

TEST_F(ListingFile, FailureNamesTheReasonAndKeepsTheOldFile) {
  std::string error;
  EXPECT_FALSE(WriteListingFile((dir_ / "missing" / "prog.dis").string(), "x", error));
  EXPECT_FALSE(error.empty());

  // The target is a directory: the rename fails, nothing is left behind.
  const auto target = dir_ / "prog.dis";
  std::filesystem::create_directory(target);
  std::filesystem::path keep = target / "keep";
  { std::ofstream(keep) << "kept"; }
  error.clear();
  EXPECT_FALSE(WriteListingFile(target.string(), "x", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Read(keep), "kept");
  EXPECT_EQ(Entries(), 1u);
}
