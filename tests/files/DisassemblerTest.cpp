#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "files/Disassembler.h"
#include "files/SafeFile.h"

namespace {

const std::string kHeader =
    ";Registers\r\nIAR     EQU     00H\r\nRTCC    EQU     01H\r\nPCL     EQU     02H\r\n"
    "STATUS  EQU     03H\r\nMSR     EQU     04H\r\nPORTA   EQU     05H\r\nPORTB   EQU     06H\r\n"
    "PORTC   EQU     07H\r\n;\r\nW       EQU     0H\r\nR       EQU     1H\r\n;Flags\r\n"
    "CF      EQU     0H\r\nHC      EQU     1H\r\nZF      EQU     2H\r\nPF      EQU     3H\r\n"
    "TF      EQU     4H\r\n;\r\n        ORG     0000H           ;Addr    Org-Code\r\n";
const std::string kEnd = "        END\r\n";
const std::string kRule = ";----------------------------";

// The lines between header and END, without their CR LF.
std::vector<std::string> Body(const std::string& listing) {
  EXPECT_TRUE(listing.starts_with(kHeader));
  EXPECT_TRUE(listing.ends_with(kEnd));
  std::vector<std::string> lines;
  for (std::size_t pos = kHeader.size(); pos < listing.size() - kEnd.size();) {
    const std::size_t eol = listing.find("\r\n", pos);
    lines.push_back(listing.substr(pos, eol - pos));
    pos = eol + 2;
  }
  return lines;
}

std::string Text(std::uint16_t word) {
  const QelInstruction ins = DecodeQelWord(word);
  if (!ins.defined) return "-";
  return *ins.operand ? std::string(ins.mnemonic) + " " + ins.operand : ins.mnemonic;
}

MainState BlankDevice() {  // 1024 erased words
  MainState s;
  EXPECT_GE(GetICInfo(s, "K7E1/E3"), 0);
  return s;
}

}  // namespace

TEST(Disassembler, ListingLinesAndOrgPlacement) {
  MainState s = BlankDevice();
  EXPECT_EQ(DisassemblyListing(s), kHeader + kEnd);

  s.SetProgramWord(0x0005, 0x1B85);
  s.SetProgramWord(0x0010, 0x0903);
  s.SetProgramWord(0x03FF, 0x2923);
  EXPECT_EQ(Body(DisassemblyListing(s)),
            (std::vector<std::string>{kRule, "        ORG     0005H", "        ADDWR   PORTA,R         ;0005    1B85",
                                      kRule, "        ORG     0010H", "        BSR     STATUS,ZF       ;0010    0903",
                                      kRule, "        ORG     03FFH", "        LJUMP   0123H           ;03FF    2923"}));

  // No ORG before a defined word 0 or inside a run; any undefined word (not
  // only an erased one) breaks a run; undefined words at the end add nothing.
  s.BlankProgram();
  for (int i = 0; i < 4; ++i) s.SetProgramWord(i, 0x1000);
  s.SetProgramWord(4, 0x3E55);
  s.SetProgramWord(5, 0x2800);
  s.SetProgramWord(6, 0x1008);
  const auto body = Body(DisassemblyListing(s));
  ASSERT_EQ(body.size(), 7u);
  EXPECT_EQ(body[3], "        NOP                     ;0003    1000");
  EXPECT_EQ(body[4], kRule);
  EXPECT_EQ(body[5], "        ORG     0005H");
  EXPECT_EQ(body[6], "        LJUMP   0000H           ;0005    2800");
}

TEST(Disassembler, DecodesEveryGroupRegisterAndFlag) {
  const std::vector<std::pair<std::uint16_t, std::string>> cases = {
      {0x0000, "BCR IAR,0"},    {0x03FF, "BCR 07FH,7"},     {0x0400, "BTSC IAR,0"},   {0x0B85, "BSR PORTA,7"},
      {0x0FFF, "BTSS 07FH,7"},  {0x0045, "BCR 045H,0"},     {0x0003, "BCR STATUS,CF"}, {0x0083, "BCR STATUS,HC"},
      {0x0103, "BCR STATUS,ZF"}, {0x0183, "BCR STATUS,PF"}, {0x0203, "BCR STATUS,TF"}, {0x0283, "BCR STATUS,5"},
      {0x0303, "BCR STATUS,6"}, {0x0383, "BCR STATUS,7"},   {0x1000, "NOP"},          {0x1001, "CLRWT"},
      {0x1002, "SLEEP"},        {0x1003, "TMODE"},          {0x1004, "RET"},          {0x1005, "CPIO PA"},
      {0x1006, "CPIO PB"},      {0x1007, "CPIO PC"},        {0x1008, "-"},            {0x1009, "RTFI"},
      {0x100A, "-"},            {0x107F, "-"},              {0x1080, "CLRW"},         {0x10FF, "CLRW"},
      {0x1100, "CLRR IAR"},     {0x1101, "CLRR RTCC"},      {0x1102, "CLRR PCL"},     {0x1103, "CLRR STATUS"},
      {0x1104, "CLRR MSR"},     {0x1105, "CLRR PORTA"},     {0x1106, "CLRR PORTB"},   {0x1187, "STWR PORTC"},
      {0x1108, "CLRR 008H"},    {0x1220, "ANDWR 020H,W"},   {0x13A0, "IORWR 020H,R"}, {0x1401, "XORWR RTCC,W"},
      {0x1582, "RLR PCL,R"},    {0x1604, "RRR MSR,W"},      {0x1700, "SWAPR IAR,W"},  {0x1800, "LDR IAR,W"},
      {0x1900, "INCR IAR,W"},   {0x1A00, "INCRSZ IAR,W"},   {0x1B00, "ADDWR IAR,W"},  {0x1C00, "SUBWR IAR,W"},
      {0x1D00, "DECR IAR,W"},   {0x1E00, "DECRSZ IAR,W"},   {0x1FFF, "COMR 07FH,R"},  {0x2000, "LCALL 0000H"},
      {0x27FF, "LCALL 07FFH"},  {0x2800, "LJUMP 0000H"},    {0x2FFF, "LJUMP 07FFH"},  {0x30AB, "CALL 00ABH"},
      {0x31FF, "RTIW 0FFH"},    {0x3200, "JUMP 0000H"},     {0x33FF, "JUMP 01FFH"},   {0x3401, "ANDWI 001H"},
      {0x3502, "IORWI 002H"},   {0x3603, "XORWI 003H"},     {0x3704, "ADDWI 004H"},   {0x3805, "SUBWI 005H"},
      {0x39FF, "-"},            {0x3AFF, "LDWI 0FFH"},      {0x3B00, "-"},            {0x3E55, "-"},
      {0x3FFF, "-"},
  };
  for (const auto& [word, text] : cases) EXPECT_EQ(Text(word), text) << std::hex << word;
}

TEST(Disassembler, BoundsWhateverTheDeviceOrBufferSays) {
  MainState s;
  s.SetProgramWord(kProgramBufferWords - 1, 0x1000);
  s.ProgramBytes = 0x7FFFFFFF;  // a row far larger than the buffer
  const auto body = Body(DisassemblyListing(s));
  ASSERT_EQ(body.size(), 3u);
  EXPECT_EQ(body[2], "        NOP                     ;3FFE    1000");
  s.ProgramBytes = -8;
  EXPECT_EQ(DisassemblyListing(s), kHeader + kEnd);

  // A half word at the end is not read; stray top bits are not part of a word.
  const std::vector<std::uint8_t> bytes = {0x80, 0xA0, 0x04};
  EXPECT_EQ(Body(DisassemblyListing(bytes, 100)),
            std::vector<std::string>{"        NOP                     ;0000    1000"});
}

TEST(Disassembler, ProposedListingName) {
  EXPECT_EQ(ProposedListingName("prog.v2.qhx"), "prog");
  EXPECT_EQ(ProposedListingName("prog"), "");
  EXPECT_EQ(ProposedListingName("/home/u/.local/work.d/prog.hex"), "/home/u/.local/work.d/prog");
  EXPECT_EQ(ProposedListingName("/home/u/.hidden"), "");
}

TEST(Disassembler, ListingFileIsReplacedWholeOrNotAtAll) {
  char tmpl[] = "/tmp/disasm-test-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::filesystem::path dir = tmpl;
  auto read = [](const std::filesystem::path& p) {
    std::stringstream ss;
    ss << std::ifstream(p, std::ios::binary).rdbuf();
    return ss.str();
  };
  const auto path = dir / "prog.dis";
  { std::ofstream(path) << "an older and much longer listing than the new one\n"; }
  std::string error;
  ASSERT_TRUE(WriteFileSafely(path.string(), "A\r\nB\r\n", &error)) << error;
  EXPECT_EQ(read(path), "A\r\nB\r\n");
  { std::ofstream(dir / "plain") << ""; }
  struct stat written{}, plain{};
  ASSERT_EQ(stat(path.c_str(), &written), 0);
  ASSERT_EQ(stat((dir / "plain").c_str(), &plain), 0);
  EXPECT_EQ(written.st_mode, plain.st_mode) << "left with a private temporary's mode";
  std::filesystem::remove(dir / "plain");

  // A target that cannot be replaced: the reason is given, nothing is left behind.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  { std::ofstream(path / "keep") << "kept"; }
  EXPECT_FALSE(WriteFileSafely(path.string(), "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(read(path / "keep"), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}
