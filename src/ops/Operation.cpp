#include "ops/Operation.h"

#include <algorithm>
#include <cstdio>

#include "app/MainState.h"
#include "ops/Handover.h"
#include "ops/OperationPanel.h"
#include "production/PassLedger.h"

std::vector<std::uint8_t> ImageCopy(OperationContext& ctx, int bytes, bool* stopped) {
  std::vector<std::uint8_t> copy(static_cast<std::size_t>(std::clamp(bytes, 0, kProgramBufferBytes)));
  const bool ran = ctx.handover.Run(
      [&] { std::copy_n(ctx.state.ProgramBuffer.begin(), copy.size(), copy.begin()); }, ctx.stop);
  if (stopped) *stopped = !ran;
  return copy;
}

bool OperationContext::Fail(Verdict why, std::string_view shown, std::int32_t status, const VerdictValues& values) {
  if (!stop.stop_requested()) outcome.Fail(why, shown, status, values);
  return false;
}

bool OperationContext::FailRed(std::string_view line, Verdict why, std::string_view text, std::int32_t status,
                               const VerdictValues& values) {
  panel.Red(line, text);
  return Fail(why, text, status, values);
}

bool OperationContext::FailStatus(std::string_view line, std::int32_t status) {
  return FailRed(line, Verdict::Link, StageFailureText(status), status);
}

bool ProbeWriter(OperationContext& ctx, std::string_view line) {
  ctx.outcome.Enter(OpStage::Probe);
  const std::int32_t probe = ctx.link.CheckWriter();
  if (probe != kLinkWriterMismatch && probe != kLinkTimeout) return true;
  return ctx.FailRed(line, Verdict::Link, LinkStatusMessage(probe), probe);
}

bool SendWriteHeader(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line) {
  return SendHeaderFor(ctx, area, mode, line, kLinkHeaderAccepted);
}

bool SendHeaderFor(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line,
                   std::int32_t want) {
  ctx.link.GetHeader(area, mode, ctx.inputs);
  const std::int32_t header = ctx.link.SendHeader(10);
  return header == want || ctx.FailStatus(line, header);
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


namespace {

// The ledger went away: what the pass and the batch show. A failure noted
// earlier stays the pass's verdict, but the batch ends all the same.
void LedgerLost(OperationContext& ctx, std::string_view line, const LedgerError& e) {
  const std::string text = std::string("Ledger error: ") + e.what();
  if (!line.empty()) ctx.panel.Red(line, text);
  ctx.outcome.Fail(Verdict::LedgerLost, text);
  ctx.outcome.ledgerError = text;
  if (ctx.outcome.pass) ctx.outcome.pass->batchOver = true;
}

PassResult LedgerResult(OpResult result) {
  switch (result) {
    case OpResult::Ok: return PassResult::Ok;
    case OpResult::Simulated: return PassResult::Simulated;
    case OpResult::Failed: return PassResult::Failed;
    case OpResult::Stopped: break;
  }
  return PassResult::Interrupted;
}

}  // namespace

bool BeginLedgerPass(OperationContext& ctx, const PassStart& pass, std::string_view line, std::string* serial,
                     long long* record) {
  if (!ctx.ledger) return true;
  try {
    const ReserveResult r = ctx.ledger->Begin(pass);
    if (r.outcome == ReserveResult::Outcome::Reserved) {
      *serial = r.pass.serial;
      *record = r.pass.qtpRecord;
      return true;
    }
    ctx.panel.Red(line, r.message);
    ctx.outcome.Fail(Verdict::LedgerRefused, r.message);
    if (ctx.outcome.pass) ctx.outcome.pass->batchOver = true;
  } catch (const LedgerError& e) {
    LedgerLost(ctx, line, e);
  }
  return false;
}

bool MarkLedgerStream(OperationContext& ctx, std::string_view line) {
  if (!ctx.ledger) return true;
  try {
    ctx.ledger->StreamStarted();
    return true;
  } catch (const LedgerError& e) {
    LedgerLost(ctx, line, e);
    return false;
  }
}

void EndLedgerPass(OperationContext& ctx, long long passCount, const std::string& checksum) {
  if (!ctx.ledger || !ctx.ledger->PassOpen()) return;
  const Outcome& out = ctx.outcome;
  const bool failed = out.result == OpResult::Failed;
  try {
    ctx.ledger->End(LedgerResult(out.result), failed ? StageName(out.stage) : "", failed ? out.text : "", passCount,
                    checksum);
  } catch (const LedgerError& e) {
    LedgerLost(ctx, {}, e);
  }
}
