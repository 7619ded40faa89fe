#include "ops/DownloadWorker.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"

namespace {

constexpr std::uint8_t kDownloadCommand = 0xA9;
constexpr int kNameBytes = 16;
constexpr auto kRecordPause = std::chrono::milliseconds(20);

}  // namespace

int DownloadListRows() {
  int rows = 0;
  while (rows < kDownloadListMaxRows && !GetIcName(rows).empty()) ++rows;
  return rows;
}

std::vector<bool> DefaultDownloadTicks() {
  std::vector<bool> ticks(static_cast<std::size_t>(DownloadListRows()), false);
  int count = 0;
  for (std::size_t row = 0; row < ticks.size() && count < kDownloadMaxTicked; ++row) {
    if (GetDownload(static_cast<int>(row)) != 1) continue;
    ticks[row] = true;
    ++count;
  }
  return ticks;
}

DownloadSelection::DownloadSelection() : ticks_(DefaultDownloadTicks()) {
  count_ = static_cast<int>(std::count(ticks_.begin(), ticks_.end(), true));
}

bool DownloadSelection::SetTicked(int row, bool ticked) {
  if (row < 0 || row >= Rows() || ticks_[row] == ticked) return true;
  if (ticked && count_ >= kDownloadMaxTicked) return false;
  ticks_[row] = ticked;
  count_ += ticked ? 1 : -1;
  return true;
}

void BuildDownloadRecord(MainState& state, int recordNumber) {
  auto& r = state.CommandHeader;
  r[0] = kDownloadCommand;
  r[1] = static_cast<std::uint8_t>(recordNumber);
  if (recordNumber == kOpeningRecord) {
    std::fill(r.begin() + 2, r.begin() + 24, 0);
    r[24] = 0xFF;
    return;
  }
  for (int i = 0; i < kNameBytes; ++i) {
    const auto at = static_cast<std::size_t>(i);
    r[2 + i] = at < state.DeviceName.size() ? static_cast<std::uint8_t>(state.DeviceName[at]) : ' ';
  }
  r[18] = state.ProgramTopHi;
  r[19] = state.EepromTopHi;
  r[20] = state.DeviceAttr;
  r[21] = state.DeviceAttr2;
  r[22] = state.DeviceAttr3;
  r[23] = state.MemoryKind;
  unsigned sum = 0;
  for (int i = 1; i <= 23; ++i) sum += r[i];
  r[24] = static_cast<std::uint8_t>(sum);
}

const OperationLayout& DownloadLayout() {
  static const OperationLayout layout{
      "Device select",
      "",
      {},
      {"DownLoad", "Exit"},
      {"Download", "Exit"},
      true,
  };
  return layout;
}

Outcome DownloadWorker(OperationContext& ctx, const std::vector<bool>& ticked) {
  MainState& state = ctx.state;
  OperationPanel& panel = ctx.panel;
  ctx.outcome.Enter(OpStage::Download);
  // False (after the message box) when the Writer did not take the record.
  const auto send = [&] {
    const std::int32_t status = ctx.link.SendHeader(kDownloadRecordBytes);
    if (status == kLinkFinished) return true;
    // After the stop the link answers time-out on its own; that is no news for the user.
    if (ctx.stop.stop_requested()) return false;
    const char* text = status == kLinkTimeout ? "Connect Timeout!!" : "Writer Error!!";
    panel.Message(text);
    return ctx.Fail(Verdict::Link, text, status);
  };

  BuildDownloadRecord(state, kOpeningRecord);
  if (!send()) return ctx.outcome;

  // Records are built from a copy of the device parameters: those of the main
  // window stay the ones of the device chosen there, so its panel, checksums
  // and saved files keep describing that device after a download.
  auto device = std::make_unique<MainState>();
  const int count = DownloadListRows();
  int number = 1;
  panel.SetGauge(0);
  for (int row = 0; row < count; ++row) {
    if (ctx.stop.stop_requested()) return ctx.outcome;
    panel.SelectRow(row);
    const bool tick = static_cast<std::size_t>(row) < ticked.size() && ticked[row];
    if (tick && GetICInfo(*device, GetIcName(row)) >= 0) {
      BuildDownloadRecord(*device, number);
      std::copy_n(device->CommandHeader.begin(), kDownloadRecordBytes, state.CommandHeader.begin());
      if (!send()) return ctx.outcome;
      ++number;
      ctx.clock.Sleep(kRecordPause);
    }
    panel.SetGauge(row * 100 / count);
  }
  panel.SetGauge(100);
  ctx.outcome.Done();
  return ctx.outcome;
}
