#include "files/HexText.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/ScriptedPrompts.h"

namespace {

struct HexLoad {
  MainState state;
  ScriptedPrompts prompts;
  std::int32_t Load(const std::string& text) {
    std::istringstream in(text);
    return HexToObj(state, prompts, in);
  }
  std::uint8_t At(int address) const { return state.ProgramBuffer[static_cast<std::size_t>(address)]; }
};

}  // namespace

TEST(HexToInt, ParsesEitherCaseAndKeepsDigitsBeforeABadCharacter) {
  MainState s;
  EXPECT_EQ(HexToInt(s, "1aF"), 0x1AF);
  EXPECT_TRUE(s.HexValid);
  EXPECT_EQ(HexToInt(s, ""), 0);
  EXPECT_TRUE(s.HexValid);
  EXPECT_EQ(HexToInt(s, "12G4"), 0);
  EXPECT_FALSE(s.HexValid);
  EXPECT_EQ(s.HexValue, 0x12);
  EXPECT_EQ(HexToInt(s, " 1"), 0);
  EXPECT_EQ(s.HexValue, 0);
  // No overflow check: nine digits wrap at 32 bits.
  EXPECT_EQ(HexToInt(s, "1FFFFFFFF"), -1);
  EXPECT_TRUE(s.HexValid);
}

TEST(HexToObj, SkipsJunkAndBlankLinesAndStopsAtAZeroCount) {
  HexLoad h;
  const auto highest = h.Load(
      "junk before\r\n\r\n:0400100001020304E2\n\n  :02002000AABB79\r\n:00000001FF\n:02003000CCDD25\n");
  EXPECT_EQ(highest, 0x21);
  EXPECT_EQ(h.At(0x10), 0x01);
  EXPECT_EQ(h.At(0x13), 0x04);
  EXPECT_EQ(h.At(0x20), 0xAA);
  EXPECT_EQ(h.At(0x21), 0xBB);
  EXPECT_EQ(h.At(0x30), 0xFF) << "records after the end record are not read";
  EXPECT_EQ(h.At(0x00), 0xFF);
  EXPECT_TRUE(h.prompts.messages.empty());
}

TEST(HexToObj, EveryRecordWithACountIsData) {
  HexLoad h;
  h.state.ProgramBuffer.fill(0x7F);
  EXPECT_EQ(h.Load(":020000040000FA\n"), 1);  // no end record: the text simply ends
  EXPECT_EQ(h.At(0), 0x00);
  EXPECT_EQ(h.At(1), 0x00);
  EXPECT_EQ(h.At(2), 0xFF) << "the region is erased to 0xFF first";
  EXPECT_TRUE(h.prompts.messages.empty());
}

TEST(HexToObj, ReportsOnlyTheLastFaultByRecordNumber) {
  // Record 3 has a bad checksum, record 7 a bad data digit; blank lines do not count.
  HexLoad h;
  h.Load(":0100000011EE\n\n:0100010022DC\n:0100020033CB\n:0100030044B8\n\n\n"
         ":0100040055A6\n:010005006694\n:010006007GF2\n:00000001FF\n");
  EXPECT_EQ(h.prompts.Texts(), std::vector<std::string>{"Data error at line 7 !"});
  EXPECT_EQ(h.At(2), 0x33) << "data of faulty records stays loaded";
  EXPECT_EQ(h.At(6), 0x07) << "a bad digit keeps the value of the digits before it";

  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {":0G00000000\n", "Byte No. error at line 1 !"},
      {":00000001FF\n:01000000FF00\n", nullptr},
      {":02000000AABB98\n", "Checksum error at line 1 !"},
      {":020000000000FE\n:01X0000011EE\n", "Address error at line 2 !"},
      {":0100000011EE\n:G000000000\n", "Byte No. error at line 2 !"},
  };
  for (const auto& c : cases) {
    HexLoad one;
    one.Load(c.text);
    if (c.message) {
      EXPECT_EQ(one.prompts.Texts(), std::vector<std::string>{c.message}) << c.text;
    } else {
      EXPECT_TRUE(one.prompts.messages.empty()) << c.text;
    }
  }
}

TEST(HexToObj, SaysNothingWhileTheStartupConfigurationLoads) {
  HexLoad h;
  h.state.StartupLoad = 1;
  h.Load(":02000000AABB98\n");
  EXPECT_TRUE(h.prompts.messages.empty());
  EXPECT_EQ(h.state.StartupLoad, 0);
  EXPECT_EQ(h.At(0), 0xAA);
}

TEST(HexToObj, DropsBytesBeyondTheBufferAndCapsTheSize) {
  HexLoad h;
  // 0x7FFD is the last byte of the buffer; 0x7FFE and 0x8000 lie outside.
  EXPECT_EQ(h.Load(":047FFC000102030477\n:02800000AABB19\n"), kProgramBufferBytes);
  EXPECT_EQ(h.At(0x7FFC), 0x01);
  EXPECT_EQ(h.At(0x7FFD), 0x02);
  EXPECT_TRUE(h.prompts.messages.empty());

  HexLoad high;
  EXPECT_EQ(high.Load(":02FFFE00AABB9C\n"), kProgramBufferBytes);
  for (auto b : high.state.ProgramBuffer) ASSERT_EQ(b, 0xFF);
}

TEST(HexToObj, LastRecordWithoutLineBreakIsReadWhole) {
  HexLoad h;
  EXPECT_EQ(h.Load(":0100000011EE\n:020001002233A8"), 2);
  EXPECT_EQ(h.At(2), 0x33);
  EXPECT_TRUE(h.prompts.messages.empty()) << h.prompts.LastText();

  // A real fault in that record is still found, a lone ":" at the end is nothing.
  HexLoad bad;
  bad.Load(":0100000011EE\n:020001002233A9");
  EXPECT_EQ(bad.prompts.Texts(), std::vector<std::string>{"Checksum error at line 2 !"});
  HexLoad colon;
  colon.Load(":0100000011EE\n:");
  EXPECT_TRUE(colon.prompts.messages.empty());
}

TEST(HexToObj, ShortAndOverlongRecordsStayInsideTheBuffer) {
  HexLoad h;
  // A count of 0xFF with no data: the missing digits read as empty text.
  h.Load(":FF7FFD00\n");
  EXPECT_EQ(h.At(0x7FFD), 0x00);
  EXPECT_EQ(h.prompts.Texts(), std::vector<std::string>{"Checksum error at line 1 !"});

  HexLoad longLine;
  std::string text = ":0100000011EE" + std::string(1 << 20, '0') + "\n:0100010022DC\n";
  longLine.Load(text);
  EXPECT_EQ(longLine.At(0), 0x11);
  EXPECT_EQ(longLine.At(1), 0x22);
  EXPECT_TRUE(longLine.prompts.messages.empty());
}
