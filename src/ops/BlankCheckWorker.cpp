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
      {"Erase End", "OPTION ....... OK", "ID Checksum ......... OK.", "Data ......... OK."},
      {},
      {"Erase Flash Memory"},
  };
  return layout;
}

namespace {

// "Error at 0002h = 0105h" (high half differs) or "Error at 0002h = 0x0105" (low half).
std::string NotBlankDetail(const MainState& s, int i) {
  const std::string address = HexDigits(static_cast<std::uint32_t>(i / 2), 4);
  if (i % 2) {
    const int value = s.ReadBuffer[i] * 128 + s.ReadBuffer[i - 1];
    return "Error at " + address + "h = " + HexDigits(value, 4) + "h";
  }
  const int value = s.ReadBuffer[i] + s.ReadBuffer[i + 1] * 128;
  return "Error at " + address + "h = 0x" + HexDigits(value, 4);
}

// Runs the stages; returns at the first end. Button1 is enabled by the caller.
void Check(OperationContext& ctx) {
  MainState& s = ctx.state;
  OperationPanel& p = ctx.panel;
  WriterLink& link = ctx.link;

  if (s.DeviceIndex == -1) {
    p.SetText("Label2", "Unknow IC Type!!");
    return;
  }
  if (!ProbeWriter(ctx, "Label3")) return;

  if (s.EraseFirst) {
    p.SetText(kTitleControl, "Erase Flash Memory");
    p.SetVisible("Label1", true);
    p.SetText("Label1", "Erase flash memory...");
    link.GetHeader(kAreaProgram, kModeErase, ctx.inputs);
    const std::int32_t erased = link.SendHeader(10);
    if (erased != kLinkFinished) {
      ShowStageFailure(p, "Label1", erased);
      return;
    }
    p.SetText("Label1", "Erase End");
  } else {
    p.SetText(kTitleControl, "Blank Check");
  }

  std::int32_t status = ReadExactly(ctx, kAreaOption, 2);
  if (status != kLinkFinished) {
    ShowStageFailure(p, "Label2", status);
    return;
  }
  const bool optionBlank = (s.ReadBuffer[0] & s.OptionLowMask) == s.OptionLowMask &&
                           (s.ReadBuffer[1] & s.OptionHighMask) == s.OptionHighMask;
  if (!optionBlank) {
    p.SetText("Label2", "OPTION ....... Not Blank!!");
    return;
  }
  p.SetText("Label2", "OPTION ....... OK");

  status = ReadExactly(ctx, kAreaId, 32, kIdBytesCompared);
  if (status != kLinkFinished) {
    ShowStageFailure(p, "Label3", status);
    return;
  }
  for (int i = 0; i < 16; ++i) {
    if (s.ReadBuffer[i] != kBlankHalf) {
      p.Red("Label3", "ID Checksum ....... Not Blank!!");
      return;
    }
    p.SetText("Label3", "ID Checksum ......... OK.");
  }

  const int n = std::min(s.ProgramBytes, kReadBufferBytes);
  status = ReadExactly(ctx, kAreaProgram, n);
  if (status != kLinkFinished) {
    ShowStageFailure(p, "Label4", status);
    return;
  }
  for (int i = 0; i < n; ++i) {
    if (s.ReadBuffer[i] == kBlankHalf) continue;
    p.SetText("Label4", "Data ....... Not Blank!!");
    // An even index past the last byte has no high half in the buffer.
    if (i % 2 == 0 && i + 1 >= kReadBufferBytes) return;
    p.SetText("Label5", NotBlankDetail(s, i));
    return;
  }
  p.SetText("Label4", "Data ......... OK.");
}

}  // namespace

void BlankCheckWorker(OperationContext& ctx) {
  Check(ctx);
  ctx.panel.SetEnabled("Button1", true);
}
