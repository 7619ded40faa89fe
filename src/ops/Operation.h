#pragma once
// What every writer operation's worker gets and gives back, and what the
// workers share. No Qt here: the same workers run behind the operation windows
// and in writer-cli.

#include <cstdint>
#include <string>
#include <functional>
#include <stop_token>
#include <string_view>
#include <vector>

#include "files/HexText.h"
#include "link/Clock.h"
#include "link/WriterLink.h"
#include "ops/Outcome.h"

struct MainState;
class OperationPanel;
class Handover;
class Prompts;
class PassLedger;
struct PassStart;

struct OperationContext {
  MainState& state;
  WriterLink& link;
  Clock& clock;
  HeaderInputs inputs;  // taken on the GUI thread when the operation started
  std::stop_token stop;
  OperationPanel& panel;
  Handover& handover;
  // Message boxes of main-window routines (the QTP file's); null: none shown.
  // In the window they come up once the routine has returned.
  Prompts* prompts = nullptr;
  // The part ledger of Auto Program and force write; null: passes are not recorded.
  PassLedger* ledger = nullptr;
  // What the operation has come to so far. The worker returns it at its end;
  // whoever runs it also finds here how far it got when the line failed under it.
  Outcome outcome = {};

  // Notes a failure of the operation (see Outcome::Fail), unless the stop has
  // come: after it the link answers time-out on its own, not for the Writer.
  bool Fail(Verdict why, std::string_view shown, std::int32_t status = 0, const VerdictValues& values = {});
  // The usual pair: `text` red in `line`, noted as the operation's failure.
  bool FailRed(std::string_view line, Verdict why, std::string_view text, std::int32_t status = 0,
               const VerdictValues& values = {});
  // A stage that got `status` where it needed another code: its red text in
  // `line` (the standard texts for 1, 2 and 8, "Writer Error!!" for the rest).
  bool FailStatus(std::string_view line, std::int32_t status);
};

// A worker runs one operation (one pass of Auto Program and force write) and
// returns what it came to.
using Worker = std::function<Outcome(OperationContext&)>;

// A private copy of the program image, taken through the hand-over; stopped
// (when given) tells whether the stop came first.
std::vector<std::uint8_t> ImageCopy(OperationContext& ctx, int bytes, bool* stopped);

// The probe every operation begins with: false, with the red text in `line`,
// when the Writer is of the wrong model or does not answer.
bool ProbeWriter(OperationContext& ctx, std::string_view line);
// GetHeader and the 10-byte header of a write: false, with the stage's red
// text in `line`, unless the Writer is ready for the data.
bool SendWriteHeader(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line);
// The same for a header the Writer answers with `want` (an erase is answered finished).
bool SendHeaderFor(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line,
                   std::int32_t want);

// GetHeader for a read of `area`, then a 7-bit read of `count` bytes of which
// the caller looks at the first `used`. The link takes the end mark one byte
// early. When the caller uses that last byte it would be a stale one from an
// earlier read, taken as the part's, so such a short read counts as an
// unexpected reply (7); a byte nobody looks at may be left out.
std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count);
std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count, std::int32_t used);

// With a ledger, reserves the pass before any byte goes to the Writer; the
// number (empty for an unnumbered pass) in `serial`, its QTP record in
// `record`. False, with the red text in `line`, when the ledger refused the
// pass or could not be reached: the pass must not start.
bool BeginLedgerPass(OperationContext& ctx, const PassStart& pass, std::string_view line, std::string* serial,
                     long long* record);
// The program-memory stream starts: false, with the red text in `line`, when
// the ledger was lost (the stream must not start).
bool MarkLedgerStream(OperationContext& ctx, std::string_view line);
// Ends the ledger's pass from ctx.outcome, with the pass count shown and the
// part's checksum. A lost ledger fails the pass and ends the batch.
void EndLedgerPass(OperationContext& ctx, long long passCount, const std::string& checksum);

// The program word that byte i of a buffer of 7-bit halves belongs to.
template <class Bytes>
std::uint32_t WordOfByte(const Bytes& bytes, std::size_t i) {
  const std::size_t low = i & ~std::size_t{1};
  return bytes[low] + bytes[low + 1] * 128u;
}

// An ID read brings 32 bytes; only the ID and the checksum characters, the
// first 16, are ever compared.
inline constexpr std::int32_t kIdBytesCompared = 16;

// The red message of a stage that got `status` where it needed another code:
// the standard texts for 1, 2 and 8, "Writer Error!!" for every other code.
const char* StageFailureText(std::int32_t status);

