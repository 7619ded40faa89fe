#include <gtest/gtest.h>

#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "views/OptionScheme.h"

namespace {

// Every scheme the panel and the editor know, found through the code itself.
std::vector<std::pair<OptionField, int>> Schemes() {
  std::vector<std::pair<OptionField, int>> all;
  for (int f = 0; f < kOptionFieldCount; ++f)
    for (int scheme = 1; scheme < 16; ++scheme)
      if (FieldExists(static_cast<OptionField>(f), scheme)) all.emplace_back(static_cast<OptionField>(f), scheme);
  return all;
}

}  // namespace

TEST(OptionSchemeTest, EveryWordDecodesToATextAndItsFlags) {
  const auto schemes = Schemes();
  ASSERT_GE(schemes.size(), 20u);
  for (const auto& [field, scheme] : schemes) {
    SCOPED_TRACE(testing::Message() << "field " << field << " scheme " << scheme);
    for (int word = 0; word < 0x4000; ++word) {
      const FieldDecode d = DecodeOptionField(field, scheme, static_cast<std::uint16_t>(word));
      ASSERT_FALSE(d.text.empty()) << word;
      ASSERT_EQ(d.error, d.text == "Error") << word;
      ASSERT_EQ(d.blank, d.text == "Blank") << word;
    }
    // An erased part is never an error.
    const FieldDecode erased = DecodeOptionField(field, scheme, 0x3FFF);
    EXPECT_FALSE(erased.error);
  }
}

// What the panel shows for chosen words: one or more per field, the irregular
// layouts (bits split over the word, fewer bits read than written) included.
TEST(OptionSchemeTest, SpotDecodes) {
  struct Spot {
    OptionField field;
    int scheme;
    std::uint16_t word;
    const char* text;
  } const spots[] = {
      {kOsc, 1, 0x3FFA, "RC"},        {kOsc, 1, 0x3FF0, "Error"},   {kOsc, 2, 0x3FEA, "RC, CLK"},
      {kOsc, 2, 0x3FDA, "RC, PB4"},   {kOsc, 3, 0x3FDF, "PB4"},     {kOsc, 3, 0x3FEF, "CLKOUT"},
      {kOsc, 4, 0x3FEA, "ECLK"},      {kOsc, 5, 0x3FF9, "18MHz"},   {kOsc, 6, 0x3FFE, "12MHz"},
      {kOsc, 7, 0x3FDF, "4MHz"},      {kPrd, 2, 0x37FF, "Enable"},  {kOst, 1, 0x3FAF, "150uS"},
      {kOst, 2, 0x3FAF, "Error"},     {kOst, 3, 0x3E7F, "20mS"},    {kOst, 4, 0x3FBF, "0mS"},
      {kOst, 5, 0x3EFF, "0mS"},       {kWdt, 1, 0x3EFF, "Enable"},  {kWdt, 4, 0x3FFD, "Disable"},
      {kPed, 3, 0x3BDF, "High"},      {kPed, 3, 0x33CF, "Error"},   {kPed, 4, 0x3BDF, "Error"},
      {kPed, 5, 0x3FFB, "Enable"},    {kSecurity, 1, 0x0FFF, "Error"}, {kSecurity, 2, 0x1FFF, "Enable"},
      {kSecurity, 3, 0x3EFF, "Enable"},
  };
  for (const Spot& s : spots)
    EXPECT_EQ(DecodeOptionField(s.field, s.scheme, s.word).text, s.text)
        << "field " << s.field << " scheme " << s.scheme << " word " << std::hex << s.word;
}

TEST(OptionSchemeTest, EveryChoiceWritesOnlyItsFieldAndReadsBack) {
  for (const auto& [field, scheme] : Schemes()) {
    SCOPED_TRACE(testing::Message() << "field " << field << " scheme " << scheme);
    const auto choices = EditorChoices(field, scheme);
    ASSERT_GE(choices.size(), 2u);
    // The bits the first choice writes: those it sets alike over a clear and a full word.
    const auto writtenBy = [&](int i) {
      return static_cast<std::uint16_t>(
          ~(ApplyEditorChoice(field, scheme, i, 0x0000) ^ ApplyEditorChoice(field, scheme, i, 0x3FFF)) & 0x3FFF);
    };
    const std::uint16_t written = writtenBy(0);
    EXPECT_NE(written, 0);
    for (int i = 0; i < static_cast<int>(choices.size()); ++i) {
      EXPECT_EQ(writtenBy(i), written) << "choice " << i << " writes other bits than its field's";
      for (std::uint16_t before : {std::uint16_t{0}, std::uint16_t{0x3FFF}, std::uint16_t{0x1555}}) {
        const std::uint16_t after = ApplyEditorChoice(field, scheme, i, before);
        EXPECT_EQ((after ^ before) & ~written & 0x3FFF, 0) << "choice " << i;
        EXPECT_EQ(EditorSelection(field, scheme, after), i);
        EXPECT_FALSE(DecodeOptionField(field, scheme, after).error);
      }
    }
  }
  // The editor's words for some of them.
  EXPECT_EQ(EditorChoices(kOsc, 2), (std::vector<std::string>{"Blank", "HF", "XT", "LF", "RC & PB4", "RC & CLK"}));
  EXPECT_EQ(EditorChoices(kOst, 1), (std::vector<std::string>{"Blank", "150uS", "20mS", "40mS", "80mS"}));
  EXPECT_EQ(EditorChoices(kPed, 3),
            (std::vector<std::string>{"Blank", "Disable", "Low level", "Middle level", "High level"}));
  EXPECT_EQ(EditorChoices(kSecurity, 2), (std::vector<std::string>{"Disable", "Enable"}));
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
