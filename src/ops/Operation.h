#pragma once
// What every writer operation's worker gets, and the waits of the workers that
// stream bytes themselves. No Qt here: the same workers run behind the
// operation windows and in writer-cli.

#include <chrono>
#include <cstdint>
#include <string>
#include <functional>
#include <stop_token>
#include <string_view>

#include "files/HexText.h"
#include "link/Clock.h"
#include "link/WriterLink.h"

struct MainState;
class OperationPanel;
class Handover;
class Prompts;
class TCustomComm;

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
};

using Worker = std::function<void(OperationContext&)>;

// The progress window's one-second timer: whole seconds since the last reset.
class TickTimer {
 public:
  explicit TickTimer(Clock& clock) : clock_(clock) { Reset(); }
  void Reset() { start_ = clock_.Now(); }
  int Ticks() const { return static_cast<int>((clock_.Now() - start_) / std::chrono::seconds(1)); }

 private:
  Clock& clock_;
  Clock::Duration start_{};
};

// A streaming worker gives up after three ticks of its window's one-second timer.
inline constexpr int kStreamTicks = 3;

// Waits of a worker that streams bytes itself. Each returns false when `ticks`
// ticks pass first or the stop comes; they never spin.
bool WaitCtsTicks(TCustomComm& comm, TickTimer& timer, int ticks, std::stop_token stop);
bool WaitInputTicks(TCustomComm& comm, TickTimer& timer, int ticks, std::stop_token stop);
// Writes one byte unless the stop has come; false when stopped.
bool WriteByteUnlessStopped(TCustomComm& comm, std::uint8_t byte, std::stop_token stop);

// The probe every operation begins with: false, with the red text in `line`,
// when the Writer is of the wrong model or does not answer.
bool ProbeWriter(OperationContext& ctx, std::string_view line);
// GetHeader and the 10-byte header of a write: false, with the stage's red
// text in `line`, unless the Writer is ready for the data.
bool SendWriteHeader(OperationContext& ctx, std::uint32_t area, std::int32_t mode, std::string_view line);

// GetHeader for a read of `area`, then a 7-bit read of `count` bytes of which
// the caller looks at the first `used`. The link takes the end mark one byte
// early. When the caller uses that last byte it would be a stale one from an
// earlier read, taken as the part's, so such a short read counts as an
// unexpected reply (7); a byte nobody looks at may be left out.
std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count);
std::int32_t ReadExactly(OperationContext& ctx, std::uint32_t area, std::int32_t count, std::int32_t used);

// An ID read brings 32 bytes; only the ID and the checksum characters, the
// first 16, are ever compared.
inline constexpr std::int32_t kIdBytesCompared = 16;

// The red message of a stage that got `status` where it needed another code:
// the standard texts for 1, 2 and 8, "Writer Error!!" for every other code.
const char* StageFailureText(std::int32_t status);
void ShowStageFailure(OperationPanel& panel, std::string_view line, std::int32_t status);

