#include "files/FillBuffer.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/MainState.h"

namespace {

// The dialog's fields take at most four hex digits; anything else is refused
// rather than read as a partial number.
std::optional<int> ReadHex(const std::string& text) {
  if (text.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

int LastProgramAddress(const MainState& state) { return state.ProgramTopHi * 256 + state.ProgramTopLo; }

}  // namespace

std::string FillDefaultEnd(const MainState& state) {
  char text[8];
  std::snprintf(text, sizeof text, "%X", LastProgramAddress(state));
  return text;
}

std::string FillProgramBuffer(MainState& state, const FillRequest& request) {
  // A device row larger than the buffer is cut to the buffer.
  const int top = std::min(LastProgramAddress(state), kProgramBufferWords - 1);
  const auto start = ReadHex(request.start);
  const auto end = ReadHex(request.end);
  const auto data = ReadHex(request.data);
  if (!start || *start > top) return "Start address is a invalid value!";
  if (!end || *end > top) return "End address is a invalid value!";
  if (*end < *start) return "Start address is a invalid value!";
  if (!data || *data >= 0x4000) return "Data is a invalid value!";
  for (int n = *start; n <= *end; ++n) state.SetProgramWord(n, static_cast<std::uint16_t>(*data));
  return {};
}
