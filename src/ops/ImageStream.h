#pragma once
// The program-memory stream of "Program Memory", Auto Program and force
// write: after the Writer has accepted the header, one byte of the image per
// round trip, each sent when CTS is on and answered by the Writer, every wait
// bounded by the window's one-second ticks.

#include <cstdint>
#include <functional>
#include <vector>

#include "ops/Operation.h"

struct StreamEnd {
  enum Kind {
    AllWritten,   // 0xB0 after byte index
    Reply,        // another reply than 0xB5 / 0xB0 after byte index (in reply)
    CtsTimeout,   // CTS did not come for byte index
    ReplyTimeout, // no reply to byte index
    Exhausted,    // every byte up to ProgramBytes + 5 taken, never 0xB0
  };
  Kind kind = Exhausted;
  int index = 0;
  std::uint8_t reply = 0;
};

// A private copy of the program image: bytes past it are sent as blank halves.
std::vector<std::uint8_t> ImageCopy(OperationContext& ctx, int bytes, bool* stopped);

// Streams bytes 0 .. count - 1 of image (blank halves past its end). accepted(j)
// runs after each 0xB5.
StreamEnd StreamImage(OperationContext& ctx, const std::vector<std::uint8_t>& image, int count, int ticks,
                      const std::function<void(int)>& accepted);
