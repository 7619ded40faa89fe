#include "files/PicConvert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ScriptedPrompts.h"

namespace {

struct Pair {
  std::uint16_t pic;
  std::uint16_t qel;
};

void PutWord(MainState& s, int n, std::uint16_t w) {
  s.ProgramBuffer[2 * n] = w & 0xFF;
  s.ProgramBuffer[2 * n + 1] = w >> 8;
}
std::uint16_t GetWord(const MainState& s, int n) {
  return static_cast<std::uint16_t>(s.ProgramBuffer[2 * n] | (s.ProgramBuffer[2 * n + 1] << 8));
}

// A 1024-word device whose buffer holds 8-bit file bytes, erased to 0xFF.
MainState RawImage(std::int32_t fileSize) {
  MainState s;
  s.ProgramBuffer.fill(0xFF);
  s.ProgramBytes = 2048;
  s.ProgramFileSize = fileSize;
  return s;
}

}  // namespace

TEST(PicConvert, TwelveBitWords) {
  const Pair cases[] = {
      {0x0FFF, 0x36FF}, {0x0A05, 0x3205}, {0x0B05, 0x3305}, {0x0006, 0x1006}, {0x0526, 0x0886},
      {0x01E5, 0x1B85}, {0x0001, 0x0001}, {0xFFFF, 0xFFFF}, {0x0040, 0x1080}, {0x0000, 0x1000},
      {0x0004, 0x1001}, {0x0002, 0x1003}, {0x0003, 0x1002}, {0x007F, 0x111F}, {0x002A, 0x118A},
      {0x0155, 0x1215}, {0x027F, 0x1F9F}, {0x00C1, 0x1D01}, {0x02E2, 0x1E82}, {0x0283, 0x1903},
      {0x03C4, 0x1A04}, {0x0105, 0x1305}, {0x0226, 0x1886}, {0x0347, 0x1507}, {0x0308, 0x1608},
      {0x0089, 0x1C09}, {0x03AA, 0x178A}, {0x018B, 0x140B}, {0x04FF, 0x039F}, {0x0643, 0x0503},
      {0x07E1, 0x0F81}, {0x0E0F, 0x340F}, {0x09AB, 0x30AB}, {0x0D55, 0x3555}, {0x0C12, 0x3A12},
      {0x08FE, 0x31FE}, {0x0F00, 0x3600},
      // Only words no earlier row took reach the loose jump test.
      {0x3FFF, 0x33FF}, {0x0008, 0x0008},
  };
  for (const auto& c : cases) EXPECT_EQ(TranslatePic5xWord(c.pic), c.qel) << std::hex << c.pic;
}

TEST(PicConvert, FourteenBitWords) {
  const Pair cases[] = {
      {0x2803, 0x2803}, {0x3EFF, 0x37FF}, {0x1683, 0x0A83}, {0x0008, 0x1004}, {0x0020, 0x1000},
      {0x0065, 0x1005}, {0xFFFF, 0xFFFF}, {0x0103, 0x1080}, {0x0040, 0x1000}, {0x0064, 0x1001},
      {0x0062, 0x1003}, {0x0063, 0x1002}, {0x0009, 0x1009}, {0x01FF, 0x117F}, {0x00A5, 0x11A5},
      {0x0067, 0x1007}, {0x0785, 0x1B85}, {0x0585, 0x1285}, {0x0901, 0x1F01}, {0x0302, 0x1D02},
      {0x0B8C, 0x1E8C}, {0x0A03, 0x1903}, {0x0F04, 0x1A04}, {0x0405, 0x1305}, {0x0886, 0x1886},
      {0x0D07, 0x1507}, {0x0C08, 0x1608}, {0x0209, 0x1C09}, {0x0E0F, 0x170F}, {0x068A, 0x148A},
      {0x1205, 0x0205}, {0x1A85, 0x0685}, {0x1F85, 0x0F85}, {0x39F0, 0x34F0}, {0x38F0, 0x35F0},
      {0x3A55, 0x3655}, {0x3C10, 0x3810}, {0x33AA, 0x3AAA}, {0x3742, 0x3142}, {0x2123, 0x2123},
      {0x2FFF, 0x2FFF}, {0x0001, 0x0001}, {0x3FFF, 0x37FF},
  };
  for (const auto& c : cases) EXPECT_EQ(TranslatePic6x7xWord(c.pic), c.qel) << std::hex << c.pic;
}

TEST(PicConvert, TranslatesOnlyWordsBelowTheFileSize) {
  MainState s = RawImage(5);  // words 0, 1 and 2 (offset 4 < 5)
  for (int n = 0; n < 4; ++n) PutWord(s, n, 0x0000);
  ScriptedPrompts p;
  EXPECT_EQ(Pic6x7xToQel(s, p), 5);
  EXPECT_EQ(GetWord(s, 2), 0x1000);
  EXPECT_EQ(GetWord(s, 3), 0x0000);

  // A size beyond the buffer translates the whole buffer and no further.
  MainState big = RawImage(1 << 30);
  PutWord(big, kProgramBufferWords - 1, 0x0000);
  Pic5xToQel(big, p);
  EXPECT_EQ(GetWord(big, kProgramBufferWords - 1), 0x1000);
  MainState negative = RawImage(-4);
  PutWord(negative, 0, 0x0000);
  Pic5xToQel(negative, p);
  EXPECT_EQ(GetWord(negative, 0), 0x0000);
}

TEST(PicConvert, PlausibilityWarningWhateverWindowIsOpen) {
  ScriptedPrompts p;
  // 12-bit device given 14-bit code: warned once, still translated with the 12-bit table.
  MainState s = RawImage(2048);
  PutWord(s, 0, 0x1683);
  PutWord(s, 1, 0x3EFF);
  PutWord(s, 2, 0x0A05);
  Pic5xToQel(s, p);
  EXPECT_EQ(p.Texts(), std::vector<std::string>{"Warning: File format error !(14 bit)"});
  EXPECT_EQ(GetWord(s, 2), 0x3205);
  EXPECT_EQ(GetWord(s, 0), TranslatePic5xWord(0x1683));

  // 14-bit translator over an image without any 14-bit-only word, the
  // program-memory view closed: the warning does not depend on the view.
  ScriptedPrompts q;
  MainState t = RawImage(2048);
  PutWord(t, 0, 0x0C12);
  PutWord(t, 1024, 0x2803);  // outside the device's area: not looked at
  t.MemoryWindowOpen = 0;
  Pic6x7xToQel(t, q);
  EXPECT_EQ(q.Texts(), std::vector<std::string>{"Warning: File format error !(12 bit)"});

  ScriptedPrompts quiet;
  MainState fits = RawImage(2048);
  PutWord(fits, 3, 0x2803);
  Pic6x7xToQel(fits, quiet);
  MainState twelve = RawImage(2048);
  PutWord(twelve, 3, 0x0A05);
  Pic5xToQel(twelve, quiet);
  EXPECT_TRUE(quiet.messages.empty());
}
