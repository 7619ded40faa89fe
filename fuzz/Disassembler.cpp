// Arbitrary buffer contents and device sizes: the listing never reads outside
// the bytes and every line has the shape a reader of the listing relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "app/MainState.h"
#include "files/Disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::int32_t programBytes;
  std::memcpy(&programBytes, data, sizeof programBytes);
  data += 4;
  size -= 4;

  // Exactly the fuzzer's bytes, so a read past them is caught.
  const std::string listing = DisassemblyListing(std::span(data, size), programBytes / 2);
  if (!listing.ends_with("        END\r\n")) std::abort();
  for (std::size_t pos = 0; pos < listing.size();) {
    const std::size_t eol = listing.find("\r\n", pos);
    if (eol == std::string::npos) std::abort();
    if (listing[pos] == ' ' && listing.compare(pos, 16, "        ORG     ") != 0 && eol - pos != 45 &&
        listing.compare(pos, eol - pos, "        END") != 0)
      std::abort();  // an instruction line of the wrong width
    pos = eol + 2;
  }

  // The same through the main state, with any device size.
  static MainState state;
  state.ProgramBytes = programBytes;
  const std::size_t n = std::min(size, state.ProgramBuffer.size());
  std::memcpy(state.ProgramBuffer.data(), data, n);
  (void)DisassemblyListing(state);
  std::memset(state.ProgramBuffer.data(), kBlankHalf, n);
  return 0;
}
