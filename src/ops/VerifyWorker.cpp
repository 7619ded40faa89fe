#include "ops/VerifyWorker.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "ops/Handover.h"
#include "ops/ProgramIdWorker.h"

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
  explicit Verifier(OperationContext& ctx) : ctx_(ctx), state_(ctx.state), panel_(ctx.panel), link_(ctx.link) {}

  // True when the verify ran to its end; differences on the way are noted in the outcome.
  bool Run() {
    if (!TakeExpected()) return false;
    panel_.SetText(kTitleControl, want_.protect ? "Verify with Protect" : "Verify");
    return Identify() && VerifyOption() && VerifyId() && VerifyProgram() && VerifyEeprom();
  }

 private:
  bool Stopped() const { return ctx_.stop.stop_requested(); }

  // A closing window gets no more texts: what the link says after the stop
  // is not the Writer's answer.
  bool Fail(std::string_view line, std::int32_t status) { return Stopped() ? false : ctx_.FailStatus(line, status); }

  bool TakeExpected() {
    return ctx_.handover.Run(
        [this] {
          want_.protect = state_.VerifyProtect != 0;
          want_.optionLow = state_.OptionLow;
          want_.optionHigh = state_.OptionHigh;
          want_.id = state_.IdBuffer;
          want_.checksum = state_.Panel.Label11;
          want_.program.assign(state_.ProgramBuffer.begin(), state_.ProgramBuffer.end());
          want_.eeprom.assign(state_.EepromBuffer.begin(), state_.EepromBuffer.end());
        },
        ctx_.stop);
  }

  bool Identify() {
    if (state_.DeviceIndex == -1) return ctx_.FailRed("Label2", Verdict::UnknownDevice, "Unknow IC Type!!");
    ctx_.outcome.Enter(OpStage::Probe);
    const std::int32_t probe = link_.CheckWriter();
    if (probe == kLinkWriterMismatch || probe == kLinkTimeout) {
      if (!Stopped()) ctx_.FailRed("Label2", Verdict::Link, LinkStatusMessage(probe), probe);
      return false;
    }
    return !Stopped();
  }

  bool VerifyOption() {
    ctx_.outcome.Enter(OpStage::OptionVerify);
    const std::int32_t status = ReadExactly(ctx_, kAreaOption, 2);
    if (status != kLinkFinished) return Fail("Label2", status);
    const std::uint8_t low = state_.ReadBuffer[0], high = state_.ReadBuffer[1];
    const bool same = (low & state_.OptionLowMask) == (want_.optionLow & state_.OptionLowMask) &&
                      (high & state_.OptionHighMask) == (want_.optionHigh & state_.OptionHighMask);
    if (same)
      panel_.SetText("Label2", "OPTION verify OK!!");
    else  // reported; the verify goes on
      ctx_.FailRed("Label2", Verdict::Differs, "OPTION verify Fail!!", 0,
                   {{}, PackedWord(low, high), PackedWord(want_.optionLow, want_.optionHigh)});

    if (want_.protect && (high & kUnprotectedBit)) {
      ctx_.outcome.Enter(OpStage::Protection);
      panel_.SetVisible("Label4", true);
      return ctx_.FailRed("Label4", Verdict::Unprotected, "IC no protected!!");
    }
    return !Stopped();
  }

  bool VerifyId() {
    ctx_.outcome.Enter(OpStage::IdVerify);
    const std::int32_t status = ReadExactly(ctx_, kAreaId, kIdBytes, kIdBytesCompared);
    if (status != kLinkFinished) return Fail("Label4", status);
    int result = 0;
    if (!std::equal(want_.id.begin(), want_.id.begin() + 12, state_.ReadBuffer.begin())) result |= 1;
    // The part keeps the checksum as four ASCII hex digits in ID bytes 12-15.
    const std::string& sum = want_.checksum;
    if (sum.size() < 4 || !std::equal(sum.begin(), sum.begin() + 4, state_.ReadBuffer.begin() + 12)) result |= 2;
    if (result == 0)
      panel_.SetText("Label4", IdVerifyText(result));
    else  // reported; the verify goes on
      ctx_.FailRed("Label4", Verdict::Differs, IdVerifyText(result));
    return !Stopped();
  }

  bool VerifyProgram() {
    ctx_.outcome.Enter(OpStage::ProgramVerify);
    const int n = std::clamp(state_.ProgramBytes, 2, kProgramBufferBytes) & ~1;
    const std::uint8_t m = want_.protect ? kProtectedBits : 0x7F;
    const std::int32_t status = ReadExactly(ctx_, kAreaProgram, n);
    if (status != kLinkFinished) return Fail("Label5", status);
    const auto& ic = state_.ReadBuffer;
    const auto& buffer = want_.program;
    for (int i = 0; i < n; ++i) {
      if ((ic[i] & m) == (buffer[i] & m)) continue;
      const auto address = static_cast<std::uint32_t>(i / 2);
      const std::string text = "Data Verify error at " + HexDigits(address, 4) + "H";
      panel_.SetText("Label5", text);
      const std::uint32_t icWord = WordOfByte(ic, i);
      // With protect the bits not compared are shown as ones.
      std::uint32_t bufferWord = WordOfByte(buffer, i);
      if (want_.protect) bufferWord |= kHiddenWordBits;
      ShowPair("IC=" + HexDigits(icWord, 4) + "H, Buffer=" + HexDigits(bufferWord, 4) + "H");
      return ctx_.Fail(Verdict::Differs, text, 0, {address, icWord, bufferWord});
    }
    panel_.SetText("Label5", "Data verify OK!!");
    return !Stopped();
  }

  bool VerifyEeprom() {
    if (state_.MemoryKind != 2) return true;
    ctx_.outcome.Enter(OpStage::EepromVerify);
    panel_.SetVisible("EEInfo", true);
    link_.GetHeader(kAreaEeprom, kModeRead, ctx_.inputs);
    const int e = (state_.EepromTopHi << 8) + state_.EepromTopLo + 1;
    const std::int32_t status = link_.Read8BitData(e);
    if (status != kLinkFinished) return Fail("EEInfo", status);
    // Only what the buffer can hold is compared.
    const int compared = std::min({e, kEepromBufferBytes, kReadBufferBytes});
    for (int i = 0; i < compared; ++i) {
      const std::uint8_t icByte = state_.ReadBuffer[i], bufferByte = want_.eeprom[i];
      if (icByte == bufferByte) continue;
      const std::string text = "EEPROM Data Verify error at " + HexDigits(static_cast<std::uint32_t>(i), 4) + "H";
      panel_.SetText("EEInfo", text);
      ShowPair("IC=" + HexDigits(icByte, 2) + "H, Buffer=" + HexDigits(bufferByte, 2) + "H");
      return ctx_.Fail(Verdict::Differs, text, 0, {static_cast<std::uint32_t>(i), icByte, bufferByte});
    }
    panel_.SetText("EEInfo", "EEPROM Data Verify OK!!");
    return true;
  }

  void ShowPair(const std::string& text) {
    panel_.SetText("Label3", text);
    panel_.SetVisible("Label3", true);
  }

  OperationContext& ctx_;
  MainState& state_;
  OperationPanel& panel_;
  WriterLink& link_;
  Expected want_;
};

}  // namespace

Outcome VerifyWorker(OperationContext& ctx) {
  if (Verifier(ctx).Run()) ctx.outcome.Done();
  ctx.panel.SetEnabled("Button1", true);
  return ctx.outcome;
}
