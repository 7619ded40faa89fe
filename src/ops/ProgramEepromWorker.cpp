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
  };
  return layout;
}

namespace {

// Runs the stages; false when one of them ended the operation.
bool Program(OperationContext& ctx) {
  MainState& state = ctx.state;
  OperationPanel& panel = ctx.panel;

  if (!ProbeWriter(ctx, "Label1")) return false;
  ctx.outcome.Enter(OpStage::Eeprom);
  if (!SendWriteHeader(ctx, kAreaEeprom, kModeProgramPulse, "Label1")) return false;

  const int size = state.EepromBytes();  // the device's, bounded by the buffer
  std::array<std::uint8_t, kEepromBufferBytes> image{};
  if (!ctx.handover.Run([&] { image = state.EepromBuffer; }, ctx.stop)) return false;
  for (int a = 0; a < size; ++a) {
    state.ReadBuffer[2 * a] = image[a];
    state.ReadBuffer[2 * a + 1] = static_cast<std::uint8_t>(a & 0xFF);
  }
  const std::int32_t written = ctx.link.WriteData(2 * size, true);
  if (written == kLinkWriteFailed) {
    const auto address = static_cast<std::uint32_t>(state.WriteFailIndex / 2);
    return ctx.FailRed("Label1", Verdict::WriteFailed, "EEPROM program fail at " + HexDigits(address, 4) + "H",
                       written, {address, {}, {}});
  }
  if (written != kLinkWritten) return ctx.FailStatus("Label1", written);
  panel.SetText("Label1", "EEPROM Program Ok!!");
  panel.SetVisible("Label3", true);

  ctx.outcome.Enter(OpStage::EepromVerify);
  ctx.link.GetHeader(kAreaEeprom, kModeRead, ctx.inputs);
  const std::int32_t read = ctx.link.Read8BitData(size);
  if (read != kLinkFinished) return ctx.FailStatus("Label3", read);
  const auto diff = std::mismatch(image.begin(), image.begin() + size, state.ReadBuffer.begin());
  if (diff.first == image.begin() + size) {
    panel.SetText("Label3", "EEPROM Data Verify OK!!");
    return true;
  }
  const auto a = static_cast<std::uint32_t>(diff.first - image.begin());
  const std::string text = "Data Verify error at " + HexDigits(a, 4) + "H";
  panel.SetText("Label3", text);
  panel.SetText("Label2", "IC=" + HexDigits(*diff.second, 2) + "H, Buffer=" + HexDigits(*diff.first, 2) + "H");
  panel.SetVisible("Label2", true);
  return ctx.Fail(Verdict::Differs, text, 0, {a, *diff.second, *diff.first});
}

}  // namespace

Outcome ProgramEepromWorker(OperationContext& ctx) {
  if (Program(ctx)) ctx.outcome.Done();
  ctx.panel.SetEnabled("ButtonOk", true);
  return ctx.outcome;
}
