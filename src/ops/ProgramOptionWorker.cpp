#include "ops/ProgramOptionWorker.h"

#include "app/MainState.h"
#include "ops/Handover.h"

const OperationLayout& ProgramOptionLayout() {
  static const OperationLayout layout{
      "Program OPTION",
      "OPTION",
      {{"Label1", "Programming....."}},
      {"Button1"},
      {"OK"},
      false,
  };
  return layout;
}

const char* OptionGuardText(int optionErrors) {
  switch (optionErrors) {
    case 1: return "Some Options are Blank !!";
    case 2: return "Some Options are Error !!";
    case 3: return "Some Options are Blank or Error!!";
    default: return "";
  }
}

namespace {

// Runs the stages; false when one of them ended the operation.
bool Program(OperationContext& ctx) {
  MainState& state = ctx.state;

  int errors = 0;
  std::uint8_t low = 0, high = 0;
  if (!ctx.handover.Run(
          [&] {
            errors = state.OptionErrors;
            low = state.OptionLow;
            high = state.OptionHigh;
          },
          ctx.stop))
    return false;
  if (*OptionGuardText(errors)) return ctx.FailRed("Label1", Verdict::OptionFields, OptionGuardText(errors));
  if (!ProbeWriter(ctx, "Label1")) return false;
  ctx.outcome.Enter(OpStage::Option);
  if (!SendWriteHeader(ctx, kAreaOption, kModeProgram, "Label1")) return false;
  state.ReadBuffer[0] = low;
  state.ReadBuffer[1] = high;
  const std::int32_t written = ctx.link.WriteData(2, true);
  if (written == kLinkWriteFailed) {
    const auto word = static_cast<std::uint32_t>(state.WriteFailIndex / 2);
    return ctx.FailRed("Label1", Verdict::WriteFailed,
                       word >= 5 ? "Checksum program fail !!" : "OPTION program fail !!", written, {word, {}, {}});
  }
  if (written != kLinkWritten) return ctx.FailStatus("Label1", written);
  ctx.outcome.Enter(OpStage::OptionVerify);
  const std::int32_t read = ReadExactly(ctx, kAreaOption, 2);
  if (read != kLinkFinished) return ctx.FailStatus("Label1", read);
  const bool same = (low & state.OptionLowMask) == (state.ReadBuffer[0] & state.OptionLowMask) &&
                    (high & state.OptionHighMask) == (state.ReadBuffer[1] & state.OptionHighMask);
  if (!same)
    return ctx.FailRed("Label1", Verdict::Differs, "OPTION verify Fail!!", 0,
                       {{}, PackedWord(state.ReadBuffer[0], state.ReadBuffer[1]), PackedWord(low, high)});
  ctx.panel.SetText("Label1", "OPTION program & verify OK!!");
  return true;
}

}  // namespace

Outcome ProgramOptionWorker(OperationContext& ctx) {
  if (Program(ctx)) ctx.outcome.Done();
  ctx.panel.SetEnabled("Button1", true);
  return ctx.outcome;
}
