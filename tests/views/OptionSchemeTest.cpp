#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "views/OptionScheme.h"

namespace {

struct SchemeCase {
  OptionField field;
  int scheme;
  std::vector<int> bits;  // most significant first
  std::map<int, std::string> panel;
  std::vector<std::string> choices;
};

const std::vector<SchemeCase>& Cases() {
  static const std::vector<SchemeCase> cases = {
      {kOsc, 1, {3, 2, 1, 0}, {{5, "HF"}, {6, "XT"}, {9, "LF"}, {10, "RC"}, {15, "Blank"}},
       {"Blank", "HF", "XT", "LF", "RC"}},
      {kOsc, 2, {5, 4, 3, 2, 1, 0},
       {{21, "HF"}, {22, "XT"}, {25, "LF"}, {26, "RC, PB4"}, {42, "RC, CLK"}, {63, "Blank"}},
       {"Blank", "HF", "XT", "LF", "RC & PB4", "RC & CLK"}},
      {kOsc, 3, {5, 4}, {{1, "PB4"}, {2, "CLKOUT"}, {3, "Blank"}}, {"Blank", "PB4", "CLKOUT"}},
      {kOsc, 4, {5, 4, 3, 2, 1, 0},
       {{21, "HF"}, {22, "XT"}, {25, "LF"}, {26, "RC"}, {42, "ECLK"}, {63, "Blank"}},
       {"Blank", "HF", "XT", "LF", "RC", "ECLK"}},
      {kOsc, 5, {3, 2, 1, 0}, {{6, "6MHz"}, {9, "18MHz"}, {10, "24MHz"}, {15, "Blank"}},
       {"Blank", "6MHz", "18MHz", "24MHz"}},
      {kOsc, 6, {1, 0}, {{1, "6MHz"}, {2, "12MHz"}, {3, "Blank"}}, {"Blank", "6MHz", "12MHz"}},
      {kOsc, 7, {5, 4}, {{1, "4MHz"}, {2, "8MHz"}, {3, "Blank"}}, {"Blank", "4MHz", "8MHz"}},
      {kPrd, 1, {5, 4}, {{1, "Enable"}, {2, "Disable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kPrd, 2, {11, 10}, {{1, "Enable"}, {2, "Disable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kOst, 1, {7, 6, 5, 4}, {{5, "80mS"}, {6, "40mS"}, {9, "20mS"}, {10, "150uS"}, {15, "Blank"}},
       {"Blank", "150uS", "20mS", "40mS", "80mS"}},
      {kOst, 2, {7, 6, 5, 4}, {{5, "80mS"}, {6, "40mS"}, {9, "20mS"}, {15, "Blank"}},
       {"Blank", "20mS", "40mS", "80mS"}},
      {kOst, 3, {9, 8, 7, 6}, {{5, "80mS"}, {6, "40mS"}, {9, "20mS"}, {15, "Blank"}},
       {"Blank", "20mS", "40mS", "80mS"}},
      {kOst, 4, {7, 6}, {{1, "75mS"}, {2, "0mS"}, {3, "Blank"}}, {"Blank", "0mS", "75mS"}},
      {kOst, 5, {9, 8}, {{1, "75mS"}, {2, "0mS"}, {3, "Blank"}}, {"Blank", "0mS", "75mS"}},
      {kWdt, 1, {9, 8}, {{1, "Disable"}, {2, "Enable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kWdt, 2, {11, 10}, {{1, "Disable"}, {2, "Enable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kWdt, 3, {5, 4}, {{1, "Enable"}, {2, "Disable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kWdt, 4, {1, 0}, {{1, "Disable"}, {2, "Enable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kPed, 1, {11, 10}, {{1, "Disable"}, {2, "Enable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kPed, 2, {7, 6}, {{1, "Enable"}, {2, "Disable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kPed, 3, {5, 4, 11, 10}, {{5, "Middle"}, {6, "High"}, {9, "Disable"}, {10, "Low"}, {15, "Blank"}},
       {"Blank", "Disable", "Low level", "Middle level", "High level"}},
      {kPed, 4, {5, 4, 11, 10}, {{5, "Middle"}, {9, "Disable"}, {10, "Low"}, {15, "Blank"}},
       {"Blank", "Disable", "Low level", "Middle level"}},
      {kPed, 5, {3, 2}, {{1, "Disable"}, {2, "Enable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kSecurity, 1, {13, 12}, {{1, "Enable"}, {2, "Disable"}, {3, "Blank"}}, {"Blank", "Disable", "Enable"}},
      {kSecurity, 2, {13}, {{0, "Enable"}, {1, "Disable"}}, {"Disable", "Enable"}},
      {kSecurity, 3, {8}, {{0, "Enable"}, {1, "Disable"}}, {"Disable", "Enable"}},
  };
  return cases;
}

std::uint16_t Place(const std::vector<int>& bits, int code, std::uint16_t rest) {
  std::uint16_t word = rest;
  for (size_t i = 0; i < bits.size(); ++i) {
    const std::uint16_t mask = 1u << bits[i];
    word = ((code >> (bits.size() - 1 - i)) & 1) ? (word | mask) : (word & ~mask);
  }
  return word;
}

std::uint16_t MaskOf(const std::vector<int>& bits) {
  std::uint16_t m = 0;
  for (int b : bits) m |= 1u << b;
  return m;
}

}  // namespace

TEST(OptionSchemeTest, EveryCodeOfEverySchemeDecodes) {
  for (const SchemeCase& c : Cases()) {
    SCOPED_TRACE(testing::Message() << "field " << c.field << " scheme " << c.scheme);
    ASSERT_TRUE(FieldExists(c.field, c.scheme));
    for (int code = 0; code < (1 << c.bits.size()); ++code) {
      const auto it = c.panel.find(code);
      const std::string want = it == c.panel.end() ? "Error" : it->second;
      // Bits outside the field must not matter, whatever they hold.
      for (std::uint16_t rest : {std::uint16_t{0}, std::uint16_t{0x3FFF}}) {
        const FieldDecode d = DecodeOptionField(c.field, c.scheme, Place(c.bits, code, rest));
        EXPECT_EQ(d.text, want) << "code " << code;
        EXPECT_EQ(d.error, want == "Error");
        EXPECT_EQ(d.blank, want == "Blank");
      }
    }
  }
}

TEST(OptionSchemeTest, EveryChoiceWritesOnlyItsFieldAndReadsBack) {
  for (const SchemeCase& c : Cases()) {
    SCOPED_TRACE(testing::Message() << "field " << c.field << " scheme " << c.scheme);
    EXPECT_EQ(EditorChoices(c.field, c.scheme), c.choices);
    // Oscillator scheme 3 reads two bits but writes six.
    const std::uint16_t written = (c.field == kOsc && c.scheme == 3) ? 0x3F : MaskOf(c.bits);
    for (int i = 0; i < static_cast<int>(c.choices.size()); ++i) {
      for (std::uint16_t before : {std::uint16_t{0}, std::uint16_t{0x3FFF}, std::uint16_t{0x1555}}) {
        const std::uint16_t after = ApplyEditorChoice(c.field, c.scheme, i, before);
        EXPECT_EQ((after ^ before) & ~written & 0x3FFF, 0) << "choice " << i;
        EXPECT_EQ(EditorSelection(c.field, c.scheme, after), i);
        EXPECT_FALSE(DecodeOptionField(c.field, c.scheme, after).error);
      }
    }
  }
}

TEST(OptionSchemeTest, ChoicesWriteTheirBits) {
  EXPECT_EQ(ApplyEditorChoice(kOsc, 1, 4, 0x3FFF) & 0xF, 0xA);  // RC
  EXPECT_EQ(ApplyEditorChoice(kOst, 1, 1, 0x3FFF) & 0xF0, 0xA0);  // 150uS
  EXPECT_EQ(ApplyEditorChoice(kOst, 4, 1, 0x0000), 0x0080);  // 0mS: bit 7 set, bit 6 clear
  EXPECT_EQ(ApplyEditorChoice(kSecurity, 2, 1, 0x3FFF), 0x1FFF);  // Enable clears bit 13
  EXPECT_EQ(ApplyEditorChoice(kSecurity, 2, 0, 0x0000), 0x2000);
  // High level: bits 5..4 = 01b, bits 11..10 = 10b.
  EXPECT_EQ(ApplyEditorChoice(kPed, 3, 4, 0x0000), 0x0810);
  // PB4 / CLKOUT / Blank write whole six-bit oscillator codes.
  EXPECT_EQ(ApplyEditorChoice(kOsc, 3, 1, 0x3FFF) & 0x3F, 26);
  EXPECT_EQ(ApplyEditorChoice(kOsc, 3, 2, 0x0000) & 0x3F, 42);
  EXPECT_EQ(ApplyEditorChoice(kOsc, 3, 0, 0x0000) & 0x3F, 63);
}

TEST(OptionSchemeTest, UnknownOrMissingSchemesAreInertAndDefaultCaptioned) {
  for (int f = 0; f < kOptionFieldCount; ++f) {
    const auto field = static_cast<OptionField>(f);
    for (int scheme : {0, 9, 255}) {
      EXPECT_FALSE(FieldExists(field, scheme));
      EXPECT_EQ(EditorChoices(field, scheme), (std::vector<std::string>{"Blank", "Disable", "Enable"}));
      EXPECT_EQ(ApplyEditorChoice(field, scheme, 1, 0x1234), 0x1234);
      EXPECT_EQ(EditorSelection(field, scheme, 0x1234), 0);
    }
  }
  // An index outside the list writes nothing.
  EXPECT_EQ(ApplyEditorChoice(kOsc, 1, 5, 0x1234), 0x1234);
  EXPECT_EQ(ApplyEditorChoice(kOsc, 1, -1, 0x1234), 0x1234);
  // A code no choice matches selects item 0.
  EXPECT_EQ(EditorSelection(kOst, 1, 0x0000), 0);
}

TEST(OptionSchemeTest, CaptionsNamedByTheScheme) {
  EXPECT_EQ(PanelCaption(kOsc, 3), "PB4 Type:");
  EXPECT_EQ(EditorCaption(kOsc, 3), "PB4 Type");
  EXPECT_EQ(PanelCaption(kPrd, 2), "MCLR HI:");
  EXPECT_EQ(PanelCaption(kOst, 5), "PUT:");
  EXPECT_EQ(EditorCaption(kOst, 4), "PUT");
  EXPECT_EQ(EditorCaption(kOsc, 0), "Oscillator Type");
  EXPECT_EQ(OptionHelpLines().size(), 14u);
}

namespace {
// A device whose masks change nothing, for panel tests on chosen schemes.
constexpr DeviceRecord kFreeRows[] = {
    {"FREE", 0x03, 0xFF, 1, 1, 0x30, 0x03, 2, 0x7F, 0x00, 0x7F, 0x00, 1, 0, 0, 0, 0, 0x3F, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

void SetSchemes(MainState& s, int osc, int prd, int ost, int wdt, int ped, int sec) {
  s.OscScheme = osc;
  s.PrdScheme = prd;
  s.OstScheme = ost;
  s.WdtScheme = wdt;
  s.PedScheme = ped;
  s.SecurityScheme = sec;
}
}  // namespace

TEST(RefreshDataTest, BlankWordAndOptionErrors) {
  ScopedDeviceTable table(kFreeRows);
  MainState s;
  ASSERT_EQ(GetICInfo(s, "FREE"), 0);
  s.DeviceIndex = 0;
  SetSchemes(s, 1, 0, 2, 1, 1, 2);
  RefreshData(s);
  const auto& o = s.Panel.option;
  EXPECT_EQ(o[kOsc].value, "Blank");
  EXPECT_EQ(o[kOst].value, "Blank");
  EXPECT_EQ(o[kWdt].value, "Blank");
  EXPECT_EQ(o[kPed].value, "Blank");
  EXPECT_EQ(o[kSecurity].value, "Disable");
  EXPECT_FALSE(o[kPrd].enabled);
  EXPECT_EQ(s.OptionErrors, 1);
  EXPECT_EQ(s.Panel.Label11, "F800");  // the checksums ran too

  // An error anywhere adds 2; an error alone gives 2.
  s.OptionLow = 0x0F;  // OST bits 7..4 = 0000b
  RefreshData(s);
  EXPECT_EQ(o[kOst].value, "Error");
  EXPECT_EQ(s.OptionErrors, 3);
  SetSchemes(s, 0, 0, 1, 0, 0, 1);
  s.OptionLow = 0x5F;   // OST 0101b: 80mS
  s.OptionHigh = 0x0E;  // word bit 7 clear; security bits 13..12 = 00b: Error
  RefreshData(s);
  EXPECT_EQ(o[kSecurity].value, "Error");
  EXPECT_EQ(s.OptionErrors, 2);
  // A blank security field counts for nothing.
  s.OptionHigh = 0x7E;
  RefreshData(s);
  EXPECT_EQ(o[kOst].value, "80mS");
  EXPECT_EQ(o[kSecurity].value, "Blank");
  EXPECT_EQ(s.OptionErrors, 0);
}

TEST(RefreshDataTest, CaptionsGreyingAndPrdPosition) {
  MainState s;
  SetSchemes(s, 3, 2, 5, 0, 0, 2);
  s.DeviceIndex = -1;
  RefreshData(s);
  const auto& o = s.Panel.option;
  EXPECT_EQ(o[kOsc].caption, "PB4 Type:");
  EXPECT_EQ(o[kPrd].caption, "MCLR HI:");
  EXPECT_EQ(s.Panel.PrdCaptionLeft, 40);
  EXPECT_EQ(o[kOst].caption, "PUT:");
  EXPECT_TRUE(o[kPrd].enabled);
  EXPECT_FALSE(o[kWdt].enabled);
  EXPECT_FALSE(o[kPed].enabled);
  // Another device's refresh leaves nothing of this one behind.
  SetSchemes(s, 0, 1, 1, 1, 1, 2);
  RefreshData(s);
  EXPECT_EQ(o[kOsc].caption, "OSC Type:");
  EXPECT_FALSE(o[kOsc].enabled);
  EXPECT_EQ(o[kPrd].caption, "PRD:");
  EXPECT_EQ(s.Panel.PrdCaptionLeft, 72);
  EXPECT_FALSE(o[kPrd].enabled);  // OST schemes 1 to 3 cover the PRD bits
  EXPECT_EQ(o[kOst].caption, "OST:");
}

TEST(RefreshDataTest, FirstDeviceForcesRcAndUnknownDeviceStaysUnmasked) {
  MainState s;
  s.DeviceIndex = GetICInfo(s, "K7E1/E3");
  ASSERT_EQ(s.DeviceIndex, 0);
  for (std::uint8_t low : {0x00, 0x05, 0x7F}) {
    s.OptionLow = low;
    s.OptionHigh = 0x7F;
    RefreshData(s);
    EXPECT_EQ(s.OptionLow & 0x0F, 0x0A);
    EXPECT_EQ(s.OptionHigh, 0x5F);  // word bit 12 cleared
    EXPECT_FALSE(s.Panel.option[kOsc].enabled);
  }
  for (int index : {-1, 2, 1000}) {
    s.DeviceIndex = index;
    s.OptionLow = 0x01;
    s.OptionHigh = 0x7F;
    RefreshData(s);
    EXPECT_EQ(s.OptionLow, 0x01);
    EXPECT_EQ(s.OptionHigh, 0x7F);
  }
}
