#include "ops/Operation.h"

#include <cstdio>

#include "app/MainState.h"
#include "link/Comm.h"
#include "ops/OperationPanel.h"

namespace {
constexpr int kWaitSliceMs = 5;  // longest single wait between looks at the clock and the stop
}

bool WaitCtsTicks(TCustomComm& comm, TickTimer& timer, int ticks, std::stop_token stop) {
  while (!comm.GetModemState(1)) {
    if (stop.stop_requested() || timer.Ticks() >= ticks) return false;
    comm.WaitForCts(kWaitSliceMs);
  }
  return !stop.stop_requested();
}

bool WaitInputTicks(TCustomComm& comm, TickTimer& timer, int ticks, std::stop_token stop) {
  while (comm.InQueCount() <= 0) {
    if (stop.stop_requested() || timer.Ticks() >= ticks) return false;
    comm.WaitForInput(kWaitSliceMs);
  }
  return !stop.stop_requested();
}

bool WriteByteUnlessStopped(TCustomComm& comm, std::uint8_t byte, std::stop_token stop) {
  if (stop.stop_requested()) return false;
  comm.Write(&byte, 1);
  return true;
}

bool ProbeWriter(OperationContext& ctx, std::string_view line) {
  const std::int32_t probe = ctx.link.CheckWriter();
  if (probe != kLinkWriterMismatch && probe != kLinkTimeout) return true;
  ctx.panel.Red(line, LinkStatusMessage(probe));
  return false;
}

bool SendWriteHeader(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line) {
  ctx.link.GetHeader(area, mode, ctx.inputs);
  const std::int32_t header = ctx.link.SendHeader(10);
  if (header == kLinkHeaderAccepted) return true;
  ShowStageFailure(ctx.panel, line, header);
  return false;
}

std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count) {
  return ReadExactly(ctx, area, count, count);
}

std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count, std::int32_t used) {
  constexpr std::uint8_t kUnfilled = 0x80;  // no 7-bit data byte has this value
  ctx.link.GetHeader(area, kModeRead, ctx.inputs);
  auto& buffer = ctx.state.ReadBuffer;
  const bool marked = used >= count && count > 0 && count <= static_cast<std::int32_t>(buffer.size());
  if (marked) buffer[count - 1] = kUnfilled;
  const std::int32_t status = ctx.link.Read7BitData(count, true);
  if (status == kLinkFinished && marked && buffer[count - 1] == kUnfilled) return kLinkUnexpected;
  return status;
}

const char* StageFailureText(std::int32_t status) {
  switch (status) {
    case kLinkSocketError:
    case kLinkAdapterError:
    case kLinkTimeout: return LinkStatusMessage(status);
    default: return "Writer Error!!";
  }
}

void ShowStageFailure(OperationPanel& panel, std::string_view line, std::int32_t status) {
  panel.Red(line, StageFailureText(status));
}

