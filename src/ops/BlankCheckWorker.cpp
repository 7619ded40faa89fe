#include "ops/BlankCheckWorker.h"

#include <algorithm>

#include "app/MainState.h"

const OperationLayout& BlankCheckLayout() {
  static const OperationLayout layout{
      "Blank Check",
      "Blank Check",
      {{"Label1", "Label1", false}, {"Label2", "  "}, {"Label3", "  "}, {"Label4", "  "}, {"Label5", "  "}},
      {"Button1"},
      {"OK"},
      false,
      {},
      {"Erase Flash Memory"},
  };
  return layout;
}

namespace {

// The word at the first byte i that is not blank: the high half and the one
// before it when i is odd, the low half and the one after it when i is even.
std::uint32_t NotBlankWord(const MainState& state, int i) {
  if (i % 2) return state.ReadBuffer[i] * 128 + state.ReadBuffer[i - 1];
  return state.ReadBuffer[i] + state.ReadBuffer[i + 1] * 128;
}

// "Error at 0002h = 0105h" (high half differs) or "Error at 0002h = 0x0105" (low half).
std::string NotBlankDetail(int i, std::uint32_t word) {
  const std::string address = HexDigits(static_cast<std::uint32_t>(i / 2), 4);
  if (i % 2) return "Error at " + address + "h = " + HexDigits(word, 4) + "h";
  return "Error at " + address + "h = 0x" + HexDigits(word, 4);
}

// Runs the stages; false when one of them ended the check.
bool Check(OperationContext& ctx) {
  MainState& state = ctx.state;
  OperationPanel& panel = ctx.panel;

  if (state.DeviceIndex == -1) {
    panel.SetText("Label2", "Unknow IC Type!!");
    return ctx.Fail(Verdict::UnknownDevice, "Unknow IC Type!!");
  }
  if (!ProbeWriter(ctx, "Label3")) return false;

  if (state.EraseFirst) {
    ctx.outcome.Enter(OpStage::Erase);
    panel.SetText(kTitleControl, "Erase Flash Memory");
    panel.SetVisible("Label1", true);
    panel.SetText("Label1", "Erase flash memory...");
    if (!SendHeaderFor(ctx, kAreaProgram, kModeErase, "Label1", kLinkFinished)) return false;
    panel.SetText("Label1", "Erase End");
  } else {
    panel.SetText(kTitleControl, "Blank Check");
  }

  ctx.outcome.Enter(OpStage::BlankCheck);
  std::int32_t status = ReadExactly(ctx, kAreaOption, 2);
  if (status != kLinkFinished) return ctx.FailStatus("Label2", status);
  const bool optionBlank = (state.ReadBuffer[0] & state.OptionLowMask) == state.OptionLowMask &&
                           (state.ReadBuffer[1] & state.OptionHighMask) == state.OptionHighMask;
  if (!optionBlank) {
    panel.SetText("Label2", "OPTION ....... Not Blank!!");
    return ctx.Fail(Verdict::NotBlank, "OPTION ....... Not Blank!!", 0,
                    {{}, PackedWord(state.ReadBuffer[0], state.ReadBuffer[1]), {}});
  }
  panel.SetText("Label2", "OPTION ....... OK");

  status = ReadExactly(ctx, kAreaId, 32, kIdBytesCompared);
  if (status != kLinkFinished) return ctx.FailStatus("Label3", status);
  for (int i = 0; i < 16; ++i) {
    if (state.ReadBuffer[i] != kBlankHalf)
      return ctx.FailRed("Label3", Verdict::NotBlank, "ID Checksum ....... Not Blank!!", 0,
                         {static_cast<std::uint32_t>(i), state.ReadBuffer[i], {}});
    panel.SetText("Label3", "ID Checksum ......... OK.");
  }

  const int n = std::min(state.ProgramBytes, kReadBufferBytes);
  status = ReadExactly(ctx, kAreaProgram, n);
  if (status != kLinkFinished) return ctx.FailStatus("Label4", status);
  for (int i = 0; i < n; ++i) {
    if (state.ReadBuffer[i] == kBlankHalf) continue;
    panel.SetText("Label4", "Data ....... Not Blank!!");
    const std::uint32_t address = static_cast<std::uint32_t>(i / 2);
    // An even index past the last byte has no high half in the buffer.
    if (i % 2 == 0 && i + 1 >= kReadBufferBytes)
      return ctx.Fail(Verdict::NotBlank, "Data ....... Not Blank!!", 0, {address, {}, {}});
    const std::uint32_t word = NotBlankWord(state, i);
    panel.SetText("Label5", NotBlankDetail(i, word));
    return ctx.Fail(Verdict::NotBlank, "Data ....... Not Blank!!", 0, {address, word, {}});
  }
  panel.SetText("Label4", "Data ......... OK.");
  return true;
}

}  // namespace

Outcome BlankCheckWorker(OperationContext& ctx) {
  if (Check(ctx)) ctx.outcome.Done();
  ctx.panel.SetEnabled("Button1", true);
  return ctx.outcome;
}
