#include "ops/ProgramEepromWorker.h"

#include <algorithm>
#include <array>

#include "app/MainState.h"
#include "ops/Handover.h"

const OperationLayout& ProgramEepromLayout() {
  static const OperationLayout layout{
      "Program EEPROM",
      "Program EEPROM",
      {{"Label1", "Program..."}, {"Label3", "", false}, {"Label2", ""}},
      {"ButtonOk"},
      {"OK"},
      false,
      {"EEPROM Program Ok!!", "EEPROM Data Verify OK!!"},
  };
  return layout;
}

namespace {

void Program(OperationContext& ctx) {
  MainState& s = ctx.state;
  OperationPanel& p = ctx.panel;
  WriterLink& link = ctx.link;

  if (!ProbeWriter(ctx, "Label1")) return;
  if (!SendWriteHeader(ctx, kAreaEeprom, kModeProgramPulse, "Label1")) return;

  const int size = s.EepromBytes();  // the device's, bounded by the buffer
  std::array<std::uint8_t, kEepromBufferBytes> image{};
  if (!ctx.handover.Run([&] { image = s.EepromBuffer; }, ctx.stop)) return;
  for (int a = 0; a < size; ++a) {
    s.ReadBuffer[2 * a] = image[a];
    s.ReadBuffer[2 * a + 1] = static_cast<std::uint8_t>(a & 0xFF);
  }
  const std::int32_t written = link.WriteData(2 * size, true);
  if (written == kLinkWriteFailed) {
    p.Red("Label1", "EEPROM program fail at " + HexDigits(s.WriteFailIndex / 2, 4) + "H");
    return;
  }
  if (written != kLinkWritten) {
    ShowStageFailure(p, "Label1", written);
    return;
  }
  p.SetText("Label1", "EEPROM Program Ok!!");
  p.SetVisible("Label3", true);

  link.GetHeader(kAreaEeprom, kModeRead, ctx.inputs);
  const std::int32_t read = link.Read8BitData(size);
  if (read != kLinkFinished) {
    ShowStageFailure(p, "Label3", read);
    return;
  }
  const auto diff = std::mismatch(image.begin(), image.begin() + size, s.ReadBuffer.begin());
  if (diff.first == image.begin() + size) {
    p.SetText("Label3", "EEPROM Data Verify OK!!");
    return;
  }
  const int a = static_cast<int>(diff.first - image.begin());
  p.SetText("Label3", "Data Verify error at " + HexDigits(a, 4) + "H");
  p.SetText("Label2", "IC=" + HexDigits(*diff.second, 2) + "H, Buffer=" + HexDigits(*diff.first, 2) + "H");
  p.SetVisible("Label2", true);
}

}  // namespace

void ProgramEepromWorker(OperationContext& ctx) {
  Program(ctx);
  ctx.panel.SetEnabled("ButtonOk", true);
}
