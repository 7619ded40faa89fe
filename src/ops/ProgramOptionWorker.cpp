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
      {"OPTION program & verify OK!!"},
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

void Program(OperationContext& ctx) {
  MainState& s = ctx.state;
  OperationPanel& p = ctx.panel;
  WriterLink& link = ctx.link;

  int errors = 0;
  std::uint8_t low = 0, high = 0;
  if (!ctx.handover.Run(
          [&] {
            errors = s.OptionErrors;
            low = s.OptionLow;
            high = s.OptionHigh;
          },
          ctx.stop))
    return;
  if (*OptionGuardText(errors)) {
    p.Red("Label1", OptionGuardText(errors));
    return;
  }
  if (!ProbeWriter(ctx, "Label1")) return;
  if (!SendWriteHeader(ctx, kAreaOption, kModeProgram, "Label1")) return;
  s.ReadBuffer[0] = low;
  s.ReadBuffer[1] = high;
  const std::int32_t written = link.WriteData(2, true);
  if (written == kLinkWriteFailed) {
    p.Red("Label1", s.WriteFailIndex / 2 >= 5 ? "Checksum program fail !!" : "OPTION program fail !!");
    return;
  }
  if (written != kLinkWritten) {
    ShowStageFailure(p, "Label1", written);
    return;
  }
  const std::int32_t read = ReadExactly(ctx, kAreaOption, 2);
  if (read != kLinkFinished) {
    ShowStageFailure(p, "Label1", read);
    return;
  }
  const bool same = (low & s.OptionLowMask) == (s.ReadBuffer[0] & s.OptionLowMask) &&
                    (high & s.OptionHighMask) == (s.ReadBuffer[1] & s.OptionHighMask);
  if (same)
    p.SetText("Label1", "OPTION program & verify OK!!");
  else
    p.Red("Label1", "OPTION verify Fail!!");
}

}  // namespace

void ProgramOptionWorker(OperationContext& ctx) {
  Program(ctx);
  ctx.panel.SetEnabled("Button1", true);
}
