#include "views/OptionScheme.h"

#include <array>
#include <initializer_list>

#include "files/Checksum.h"

namespace {

// OPTION word bits of a field, most significant first.
struct Bits {
  std::array<std::int8_t, 6> bit{};
  int count = 0;
};

constexpr Bits Range(int hi, int lo) {
  Bits b;
  for (int i = hi; i >= lo; --i) b.bit[b.count++] = static_cast<std::int8_t>(i);
  return b;
}

constexpr Bits List(std::initializer_list<int> bits) {
  Bits b;
  for (int i : bits) b.bit[b.count++] = static_cast<std::int8_t>(i);
  return b;
}

struct Code {
  int code;
  const char* panel;             // nullptr ends the list
  const char* choice = nullptr;  // editor text when it differs from the panel's
  int write = -1;                // value written into the write bits; -1: the code
};

struct Scheme {
  OptionField field;
  int number;
  const char* panelCaption;   // nullptr: the field's default caption
  const char* editorCaption;
  Bits bits;
  Bits writeBits;             // empty: the same as bits
  std::array<Code, 6> codes;  // in the editor's order
};

constexpr const char* kDefaultPanelCaption[kOptionFieldCount] = {"OSC Type:", "PRD:", "OST:",
                                                                  "WDT:", "PED:", "Security:"};
constexpr const char* kDefaultEditorCaption[kOptionFieldCount] = {"Oscillator Type", "PRD:", "OST",
                                                                   "WDT", "PED", "Security"};

constexpr Scheme kSchemes[] = {
    // Oscillator.
    {kOsc, 1, nullptr, nullptr, Range(3, 0), {},
     {{{15, "Blank"}, {5, "HF"}, {6, "XT"}, {9, "LF"}, {10, "RC"}}}},
    {kOsc, 2, nullptr, nullptr, Range(5, 0), {},
     {{{63, "Blank"}, {21, "HF"}, {22, "XT"}, {25, "LF"}, {26, "RC, PB4", "RC & PB4"},
       {42, "RC, CLK", "RC & CLK"}}}},
    {kOsc, 3, "PB4 Type:", "PB4 Type", Range(5, 4), Range(5, 0),
     {{{3, "Blank", nullptr, 63}, {1, "PB4", nullptr, 26}, {2, "CLKOUT", nullptr, 42}}}},
    {kOsc, 4, nullptr, nullptr, Range(5, 0), {},
     {{{63, "Blank"}, {21, "HF"}, {22, "XT"}, {25, "LF"}, {26, "RC"}, {42, "ECLK"}}}},
    {kOsc, 5, nullptr, nullptr, Range(3, 0), {},
     {{{15, "Blank"}, {6, "6MHz"}, {9, "18MHz"}, {10, "24MHz"}}}},
    {kOsc, 6, nullptr, nullptr, Range(1, 0), {}, {{{3, "Blank"}, {1, "6MHz"}, {2, "12MHz"}}}},
    {kOsc, 7, nullptr, nullptr, Range(5, 4), {}, {{{3, "Blank"}, {1, "4MHz"}, {2, "8MHz"}}}},
    // Power-range detect, or MCLR.
    {kPrd, 1, "PRD:", "PRD:", Range(5, 4), {}, {{{3, "Blank"}, {2, "Disable"}, {1, "Enable"}}}},
    {kPrd, 2, "MCLR HI:", "MCLR HI:", Range(11, 10), {},
     {{{3, "Blank"}, {2, "Disable"}, {1, "Enable"}}}},
    // Start-up time or power-up time.
    {kOst, 1, "OST:", "OST", Range(7, 4), {},
     {{{15, "Blank"}, {10, "150uS"}, {9, "20mS"}, {6, "40mS"}, {5, "80mS"}}}},
    {kOst, 2, "OST:", "OST", Range(7, 4), {},
     {{{15, "Blank"}, {9, "20mS"}, {6, "40mS"}, {5, "80mS"}}}},
    {kOst, 3, "OST:", "OST", Range(9, 6), {},
     {{{15, "Blank"}, {9, "20mS"}, {6, "40mS"}, {5, "80mS"}}}},
    {kOst, 4, "PUT:", "PUT", Range(7, 6), {}, {{{3, "Blank"}, {2, "0mS"}, {1, "75mS"}}}},
    {kOst, 5, "PUT:", "PUT", Range(9, 8), {}, {{{3, "Blank"}, {2, "0mS"}, {1, "75mS"}}}},
    // Watchdog.
    {kWdt, 1, nullptr, nullptr, Range(9, 8), {}, {{{3, "Blank"}, {1, "Disable"}, {2, "Enable"}}}},
    {kWdt, 2, nullptr, nullptr, Range(11, 10), {}, {{{3, "Blank"}, {1, "Disable"}, {2, "Enable"}}}},
    {kWdt, 3, nullptr, nullptr, Range(5, 4), {}, {{{3, "Blank"}, {2, "Disable"}, {1, "Enable"}}}},
    {kWdt, 4, nullptr, nullptr, Range(1, 0), {}, {{{3, "Blank"}, {1, "Disable"}, {2, "Enable"}}}},
    // Power-edge detect.
    {kPed, 1, nullptr, nullptr, Range(11, 10), {}, {{{3, "Blank"}, {1, "Disable"}, {2, "Enable"}}}},
    {kPed, 2, nullptr, nullptr, Range(7, 6), {}, {{{3, "Blank"}, {2, "Disable"}, {1, "Enable"}}}},
    {kPed, 3, nullptr, nullptr, List({5, 4, 11, 10}), {},
     {{{15, "Blank"}, {9, "Disable"}, {10, "Low", "Low level"}, {5, "Middle", "Middle level"},
       {6, "High", "High level"}}}},
    {kPed, 4, nullptr, nullptr, List({5, 4, 11, 10}), {},
     {{{15, "Blank"}, {9, "Disable"}, {10, "Low", "Low level"}, {5, "Middle", "Middle level"}}}},
    {kPed, 5, nullptr, nullptr, Range(3, 2), {}, {{{3, "Blank"}, {1, "Disable"}, {2, "Enable"}}}},
    // Security; code 0 of scheme 1 is listed nowhere, so it reads "Error".
    {kSecurity, 1, nullptr, nullptr, Range(13, 12), {},
     {{{3, "Blank"}, {2, "Disable"}, {1, "Enable"}}}},
    {kSecurity, 2, nullptr, nullptr, Range(13, 13), {}, {{{1, "Disable"}, {0, "Enable"}}}},
    {kSecurity, 3, nullptr, nullptr, Range(8, 8), {}, {{{1, "Disable"}, {0, "Enable"}}}},
};

constexpr const char* kHelpLines[] = {
    "PRD=Power Range Detect.",
    "         Don't enable PRD if",
    "         the operating voltage",
    "         is under 4.5V.",
    "OST=Oscillator Start-up Time.",
    "         Don't choice 150us if the",
    "         oscillator type is LF, XT",
    "         or HF.",
    "PUT=Power Up Time.",
    "WDT=Watchdog Timer.",
    "PED=Power Edge Detect.",
    "         Low level around 1.8V.",
    "         Middle level around 2.1V.",
    "         High level around 3.8V.",
};

const Scheme* Find(OptionField field, int number) {
  for (const Scheme& s : kSchemes)
    if (s.field == field && s.number == number) return &s;
  return nullptr;
}

int CodeCount(const Scheme& s) {
  int n = 0;
  while (n < static_cast<int>(s.codes.size()) && s.codes[n].panel != nullptr) ++n;
  return n;
}

int ReadCode(const Bits& bits, std::uint16_t word) {
  int code = 0;
  for (int i = 0; i < bits.count; ++i) code = (code << 1) | ((word >> bits.bit[i]) & 1);
  return code;
}

std::uint16_t WriteCode(const Bits& bits, int code, std::uint16_t word) {
  for (int i = 0; i < bits.count; ++i) {
    const std::uint16_t mask = static_cast<std::uint16_t>(1u << bits.bit[i]);
    const bool set = (code >> (bits.count - 1 - i)) & 1;
    word = set ? (word | mask) : (word & ~mask);
  }
  return static_cast<std::uint16_t>(word & kBlankWord);
}

// Index in codes of the field's current code, or -1.
int CodeIndex(const Scheme& s, std::uint16_t word) {
  const int code = ReadCode(s.bits, word);
  const int n = CodeCount(s);
  for (int i = 0; i < n; ++i)
    if (s.codes[i].code == code) return i;
  return -1;
}

}  // namespace

int OptionSchemeNumber(const MainState& state, OptionField field) {
  switch (field) {
    case kOsc: return state.OscScheme;
    case kPrd: return state.PrdScheme;
    case kOst: return state.OstScheme;
    case kWdt: return state.WdtScheme;
    case kPed: return state.PedScheme;
    case kSecurity: return state.SecurityScheme;
    default: return 0;
  }
}

bool FieldExists(OptionField field, int scheme) { return Find(field, scheme) != nullptr; }

std::string PanelCaption(OptionField field, int scheme) {
  if (field < 0 || field >= kOptionFieldCount) return {};
  const Scheme* s = Find(field, scheme);
  return (s && s->panelCaption) ? s->panelCaption : kDefaultPanelCaption[field];
}

std::string EditorCaption(OptionField field, int scheme) {
  if (field < 0 || field >= kOptionFieldCount) return {};
  const Scheme* s = Find(field, scheme);
  return (s && s->editorCaption) ? s->editorCaption : kDefaultEditorCaption[field];
}

FieldDecode DecodeOptionField(OptionField field, int scheme, std::uint16_t word) {
  const Scheme* s = Find(field, scheme);
  if (s == nullptr) return {"Blank", false, false};
  const int i = CodeIndex(*s, word);
  if (i < 0) return {"Error", false, true};
  const std::string text = s->codes[i].panel;
  return {text, text == "Blank", false};
}

std::vector<std::string> EditorChoices(OptionField field, int scheme) {
  const Scheme* s = Find(field, scheme);
  if (s == nullptr) return {"Blank", "Disable", "Enable"};
  std::vector<std::string> out;
  const int n = CodeCount(*s);
  for (int i = 0; i < n; ++i) out.push_back(s->codes[i].choice ? s->codes[i].choice : s->codes[i].panel);
  return out;
}

int EditorSelection(OptionField field, int scheme, std::uint16_t word) {
  const Scheme* s = Find(field, scheme);
  if (s == nullptr) return 0;
  const int i = CodeIndex(*s, word);
  return i < 0 ? 0 : i;
}

std::uint16_t ApplyEditorChoice(OptionField field, int scheme, int index, std::uint16_t word) {
  const Scheme* s = Find(field, scheme);
  if (s == nullptr || index < 0 || index >= CodeCount(*s)) return word;
  const Code& c = s->codes[index];
  const Bits& bits = s->writeBits.count > 0 ? s->writeBits : s->bits;
  return WriteCode(bits, c.write >= 0 ? c.write : c.code, word);
}

std::span<const char* const> OptionHelpLines() { return kHelpLines; }

void DecodeOptionPanel(MainState& state) {
  PanelTexts& panel = state.Panel;
  const std::uint16_t word = state.OptionWord();
  state.OptionErrors = 0;
  for (int f = 0; f < kOptionFieldCount; ++f) {
    const auto field = static_cast<OptionField>(f);
    const int scheme = OptionSchemeNumber(state, field);
    OptionFieldView& view = panel.option[f];
    const FieldDecode d = DecodeOptionField(field, scheme, word);
    view.caption = PanelCaption(field, scheme);
    view.value = d.text;
    view.enabled = FieldExists(field, scheme);
    if (d.error) state.OptionErrors |= 2;
    if (d.blank && field != kSecurity) state.OptionErrors |= 1;
  }
  // The longer caption starts further left so that it ends where "PRD:" does.
  panel.PrdCaptionLeft = panel.option[kPrd].caption == "MCLR HI:" ? 40 : 72;
  // The OST field then covers or replaces the PRD bits.
  if (state.OstScheme >= 1 && state.OstScheme <= 3) panel.option[kPrd].enabled = false;
}

void RefreshData(MainState& state) {
  ApplyOptionMasks(state);
  DecodeOptionPanel(state);
  CalChecksum(state);
}
