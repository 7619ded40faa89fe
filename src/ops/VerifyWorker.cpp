#include "ops/VerifyWorker.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "ops/Handover.h"

const OperationLayout& VerifyLayout() {
  static const OperationLayout layout{
      "Verify",
      "Verify",
      {{"Label2", "Verify ......"},
       {"Label4", ""},
       {"Label5", ""},
       {"EEInfo", "", false},
       {"Label3", "IC=0000 , Buffer=0000", false}},
      {"Button1"},
      {"OK"},
      false,
      // "Verify ......" is not among them: a verify cut off before its first
      // result has proved nothing.
      {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!", "EEPROM Data Verify OK!!"},
      {},
      {"Verify with Protect"},
  };
  return layout;
}

namespace {

// OPTION bit 13, in the high half: set on a part whose protection is off.
constexpr std::uint8_t kUnprotectedBit = 0x40;
// With protect only these bits of each half still read back as written.
constexpr std::uint8_t kProtectedBits = 0x60;
constexpr std::uint16_t kHiddenWordBits = 0x0F9F;

// What the part is compared with, taken from the main window when the verify starts.
struct Expected {
  bool protect = false;
  std::uint8_t optionLow = 0, optionHigh = 0;
  std::array<std::uint8_t, kIdBytes> id{};
  std::string checksum;  // the data checksum caption, four hex digits
  std::vector<std::uint8_t> program;
  std::vector<std::uint8_t> eeprom;
};

class Verifier {
 public:
  explicit Verifier(OperationContext& ctx) : ctx_(ctx), s_(ctx.state), p_(ctx.panel), link_(ctx.link) {}

  void Run() {
    if (!TakeExpected()) return;
    p_.SetText(kTitleControl, want_.protect ? "Verify with Protect" : "Verify");
    if (!Identify()) return;
    if (!VerifyOption()) return;
    if (!VerifyId()) return;
    if (!VerifyProgram()) return;
    VerifyEeprom();
  }

 private:
  bool Stopped() const { return ctx_.stop.stop_requested(); }

  // A closing window gets no more texts: what the link says after the stop
  // is not the Writer's answer.
  void Fail(std::string_view line, std::int32_t status) {
    if (!Stopped()) ShowStageFailure(p_, line, status);
  }

  bool TakeExpected() {
    return ctx_.handover.Run(
        [this] {
          want_.protect = s_.VerifyProtect != 0;
          want_.optionLow = s_.OptionLow;
          want_.optionHigh = s_.OptionHigh;
          want_.id = s_.IdBuffer;
          want_.checksum = s_.Panel.Label11;
          want_.program.assign(s_.ProgramBuffer.begin(), s_.ProgramBuffer.end());
          want_.eeprom.assign(s_.EepromBuffer.begin(), s_.EepromBuffer.end());
        },
        ctx_.stop);
  }

  bool Identify() {
    if (s_.DeviceIndex == -1) {
      p_.Red("Label2", "Unknow IC Type!!");
      return false;
    }
    const std::int32_t probe = link_.CheckWriter();
    if (probe == kLinkWriterMismatch || probe == kLinkTimeout) {
      if (!Stopped()) p_.Red("Label2", LinkStatusMessage(probe));
      return false;
    }
    return !Stopped();
  }

  bool VerifyOption() {
    const std::int32_t status = ReadExactly(ctx_, kAreaOption, 2);
    if (status != kLinkFinished) {
      Fail("Label2", status);
      return false;
    }
    const std::uint8_t low = s_.ReadBuffer[0], high = s_.ReadBuffer[1];
    const bool same = (low & s_.OptionLowMask) == (want_.optionLow & s_.OptionLowMask) &&
                      (high & s_.OptionHighMask) == (want_.optionHigh & s_.OptionHighMask);
    if (same)
      p_.SetText("Label2", "OPTION verify OK!!");
    else
      p_.Red("Label2", "OPTION verify Fail!!");

    if (want_.protect && (high & kUnprotectedBit)) {
      p_.SetVisible("Label4", true);
      p_.Red("Label4", "IC no protected!!");
      return false;
    }
    return !Stopped();
  }

  bool VerifyId() {
    const std::int32_t status = ReadExactly(ctx_, kAreaId, kIdBytes, kIdBytesCompared);
    if (status != kLinkFinished) {
      Fail("Label4", status);
      return false;
    }
    int result = 0;
    if (!std::equal(want_.id.begin(), want_.id.begin() + 12, s_.ReadBuffer.begin())) result |= 1;
    // The part keeps the checksum as four ASCII hex digits in ID bytes 12-15.
    const std::string& sum = want_.checksum;
    if (sum.size() < 4 || !std::equal(sum.begin(), sum.begin() + 4, s_.ReadBuffer.begin() + 12)) result |= 2;
    switch (result) {
      case 0: p_.SetText("Label4", "ID & Checksum verify OK!!"); break;
      case 1: p_.Red("Label4", "ID verify fail!!"); break;
      case 2: p_.Red("Label4", "Checksum verify fail!!"); break;
      default: p_.Red("Label4", "ID & Checksum verify fail!!"); break;
    }
    return !Stopped();
  }

  bool VerifyProgram() {
    const int n = std::clamp(s_.ProgramBytes, 2, kProgramBufferBytes) & ~1;
    const std::uint8_t m = want_.protect ? kProtectedBits : 0x7F;
    const std::int32_t status = ReadExactly(ctx_, kAreaProgram, n);
    if (status != kLinkFinished) {
      Fail("Label5", status);
      return false;
    }
    const auto& ic = s_.ReadBuffer;
    const auto& buffer = want_.program;
    for (int i = 0; i < n; ++i) {
      if ((ic[i] & m) == (buffer[i] & m)) continue;
      p_.SetText("Label5", "Data Verify error at " + HexDigits(static_cast<std::uint32_t>(i / 2), 4) + "H");
      const int w = i & ~1;
      const std::uint32_t icWord = ic[w] + ic[w + 1] * 128u;
      // With protect the bits not compared are shown as ones.
      std::uint32_t bufferWord = buffer[w] + buffer[w + 1] * 128u;
      if (want_.protect) bufferWord |= kHiddenWordBits;
      ShowPair("IC=" + HexDigits(icWord, 4) + "H, Buffer=" + HexDigits(bufferWord, 4) + "H");
      return false;
    }
    p_.SetText("Label5", "Data verify OK!!");
    return !Stopped();
  }

  void VerifyEeprom() {
    if (s_.MemoryKind != 2) return;
    p_.SetVisible("EEInfo", true);
    link_.GetHeader(kAreaEeprom, kModeRead, ctx_.inputs);
    const int e = (s_.EepromTopHi << 8) + s_.EepromTopLo + 1;
    const std::int32_t status = link_.Read8BitData(e);
    if (status != kLinkFinished) {
      Fail("EEInfo", status);
      return;
    }
    // Only what the buffer can hold is compared.
    const int compared = std::min({e, kEepromBufferBytes, kReadBufferBytes});
    for (int i = 0; i < compared; ++i) {
      if (s_.ReadBuffer[i] == want_.eeprom[i]) continue;
      p_.SetText("EEInfo", "EEPROM Data Verify error at " + HexDigits(static_cast<std::uint32_t>(i), 4) + "H");
      ShowPair("IC=" + HexDigits(s_.ReadBuffer[i], 2) + "H, Buffer=" + HexDigits(want_.eeprom[i], 2) + "H");
      return;
    }
    p_.SetText("EEInfo", "EEPROM Data Verify OK!!");
  }

  void ShowPair(const std::string& text) {
    p_.SetText("Label3", text);
    p_.SetVisible("Label3", true);
  }

  OperationContext& ctx_;
  MainState& s_;
  OperationPanel& p_;
  WriterLink& link_;
  Expected want_;
};

}  // namespace

void VerifyWorker(OperationContext& ctx) {
  Verifier(ctx).Run();
  ctx.panel.SetEnabled("Button1", true);
}
