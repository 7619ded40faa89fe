#include <gtest/gtest.h>

#include "app/MainState.h"
#include "views/IdChecksum.h"

namespace {
const std::string kTwelveDel(12, '\x7F');
}

TEST(IdTexts, IdAndChecksumInBothModes) {
  MainState s;
  EXPECT_EQ(IdHexText(s), "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F");
  EXPECT_EQ(IdAsciiText(s), kTwelveDel);
  s.IdBuffer[12] = '1';
  s.IdBuffer[13] = 0x05;
  s.IdBuffer[14] = 0;
  ShowIdOnPanel(s);
  EXPECT_EQ(s.Panel.Label17, "1  \x7F");  // control codes show as blanks
  EXPECT_EQ(s.Panel.Label18, kTwelveDel);
  s.IdShowHex = 1;
  ShowIdOnPanel(s);
  EXPECT_EQ(s.Panel.Label18, "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F");

  // Text ends at a zero byte; a byte of 80h or more is one Latin-1 character.
  s.IdBuffer[0] = 'O';
  s.IdBuffer[1] = 0xE9;
  s.IdBuffer[2] = 0;
  EXPECT_EQ(IdAsciiText(s), "O\xC3\xA9");
  EXPECT_EQ(IdHexText(s).substr(0, 9), "4F E9 00 ");
}

TEST(IdTexts, WriterInformationAndBodyOptions) {
  MainState s;
  for (int i = 16; i < 32; ++i) s.IdBuffer[i] = static_cast<std::uint8_t>(0x70 + i);  // 80..8F
  s.IdBuffer[16] = 0x05;
  const WriterInfoTexts info = WriterInfoText(s);
  EXPECT_EQ(info.WriterId, "05");
  EXPECT_EQ(info.WriterModel, "88");
  EXPECT_EQ(info.FirmwareVer, "89");
  EXPECT_EQ(info.GangWriterId, "86");
  EXPECT_EQ(info.GangModel, "84");
  EXPECT_EQ(info.GangVer, "85");
  EXPECT_EQ(info.AllBytes, "05 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F");

  s.OptionLow = 0x12;
  s.OptionHigh = 0x3A;
  for (int i = 0; i < 8; ++i) s.BodyOptionBytes[i] = static_cast<std::uint8_t>(0xA0 + i);
  EXPECT_EQ(BodyOptionText(s, 0), "12 3A A0 A1 A2 A3 ");
  EXPECT_EQ(BodyOptionText(s, 1), "12 3A A4 A5 A6 A7 ");
}

TEST(IdEditor, HexGroupsMissingDigitsAreF) {
  MainState s;
  s.IdBuffer[12] = '9';
  StoreIdHexEntry(s, "12 34                               ");
  const std::uint8_t expected[] = {0x12, 0x34, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(s.IdBuffer[k], expected[k]) << k;
  EXPECT_EQ(s.IdBuffer[12], '9');  // the checksum characters are not the editor's

  StoreIdHexEntry(s, "9A 1 ");  // bit 7 cut; a half group reads its missing digit as F
  EXPECT_EQ(s.IdBuffer[0], 0x1A);
  EXPECT_EQ(s.IdBuffer[1], 0x1F);
  EXPECT_EQ(s.IdBuffer[2], 0x7F);
}

TEST(IdEditor, AsciiStoresEightBitCodesAndBlanksTheRest) {
  MainState s;
  s.IdBuffer.fill(0);
  StoreIdAsciiEntry(s, U"AB");
  EXPECT_EQ(s.IdBuffer[0], 0x41);
  EXPECT_EQ(s.IdBuffer[1], 0x42);
  for (int k = 2; k < 12; ++k) EXPECT_EQ(s.IdBuffer[k], 0x7F) << k;
  EXPECT_EQ(IdAsciiText(s), "AB" + kTwelveDel.substr(0, 10));

  StoreIdAsciiEntry(s, U"\u00E9\u20AC0123456789XYZ");  // é kept whole, € has no byte
  EXPECT_EQ(s.IdBuffer[0], 0xE9);
  EXPECT_EQ(s.IdBuffer[1], '?');
  EXPECT_EQ(s.IdBuffer[11], '9');
  EXPECT_EQ(s.IdBuffer[12], 0);  // never past the user ID
}

// The text field shows a stand-in ('.' here) for each byte it cannot draw;
// an edit keeps the bytes it did not touch, stand-ins or not.
TEST(IdEditor, EditsKeepTheBytesBehindTheStandIns) {
  struct Case {
    const char* name;
    std::u32string bytes, before, after;
    std::size_t cursor;
    std::u32string expected;
  };
  const Case cases[] = {
      {"nothing changed", U"A\x05\x7F", U"A..", U"A..", 3, U"A\x05\x7F"},
      {"all replaced", U"\x7F\x7F\x7F", U"...", U"AB", 2, U"AB"},
      {"typed at the end", U"A\x05", U"A.", U"A.C", 3, U"A\x05" U"C"},
      {"a typed dot between two stand-ins", U"\x05\x7F", U"..", U"...", 2, U"\x05.\x7F"},
      {"the first stand-in deleted", U"\x05\x7F", U"..", U".", 0, U"\x7F"},
      {"backspace after a letter", U"AB\x7F", U"AB.", U"A.", 1, U"A\x7F"},
      {"a paste over the middle", U"\x01\x02\x03\x04", U"....", U".xy.", 3, U"\x01xy\x04"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EditedBytes(c.bytes, c.before, c.after, c.cursor), c.expected);
  }
}
