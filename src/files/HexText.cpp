#include "files/HexText.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/Prompts.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Characters at 1-based position from..from+count-1 of the record text; shorter
// (or empty) where the record ends early.
std::string_view Field(std::string_view record, std::size_t from, std::size_t count) {
  if (from - 1 >= record.size()) return {};
  return record.substr(from - 1, count);
}

// Longest record text a count of 0xFF can use: ":" count address type data checksum.
constexpr std::size_t kMaxRecordText = 1 + 2 + 4 + 2 + 2 * 255 + 2;

}  // namespace

std::int32_t HexToInt(MainState& state, std::string_view text) {
  std::uint32_t value = 0;  // wraps like the 32-bit original arithmetic
  state.HexValue = 0;
  state.HexValid = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return 0;
    value = value * 16 + static_cast<std::uint32_t>(digit);
    state.HexValue = static_cast<std::int32_t>(value);
  }
  state.HexValid = 1;
  return state.HexValue;
}

std::int32_t HexToObj(MainState& state, Prompts& prompts, std::istream& in) {
  std::fill(state.ProgramBuffer.begin(), state.ProgramBuffer.end(), 0xFF);
  std::streambuf* sb = in.rdbuf();
  constexpr auto eof = std::char_traits<char>::eof();

  int errorKind = 0;
  std::int64_t errorLine = 0;
  std::int64_t record = 0;
  std::int32_t highest = 0;
  std::string text;
  text.reserve(kMaxRecordText);

  while (sb && sb->sgetc() != eof) {
    ++record;
    bool colon = false;
    for (int c = sb->sbumpc(); c != eof; c = sb->sbumpc()) {
      if (c == ':') {
        colon = true;
        break;
      }
    }
    // A last record without a line break ends with the file and keeps its last byte.
    text.clear();
    if (colon) {
      text.push_back(':');
      for (;;) {
        int c = sb->sbumpc();
        if (c == eof || c == '\r' || c == '\n') break;
        // Beyond the longest usable record the rest of the line is only skipped.
        if (text.size() < kMaxRecordText) text.push_back(static_cast<char>(c));
      }
    }
    const std::string_view rec(text);

    HexToInt(state, Field(rec, 2, 2));
    if (!state.HexValid) errorKind = 1, errorLine = record;
    const int count = state.HexValue;
    if (count == 0) break;

    HexToInt(state, Field(rec, 4, 4));
    if (!state.HexValid) errorKind = 2, errorLine = record;
    std::int32_t address = state.HexValue;
    int sum = count + (address & 0xFF) + ((address >> 8) & 0xFF);
    HexToInt(state, Field(rec, 8, 2));  // the record type only feeds the checksum
    sum = (sum + state.HexValue) & 0xFF;

    std::size_t pos = 10;
    for (int i = 0; i < count; ++i, pos += 2) {
      HexToInt(state, Field(rec, pos, 2));
      if (!state.HexValid) errorKind = 3, errorLine = record;
      const int byte = state.HexValue;
      if (address >= 0 && address < kProgramBufferBytes) {
        state.ProgramBuffer[static_cast<std::size_t>(address)] = static_cast<std::uint8_t>(byte);
      }
      highest = std::max(highest, address);
      ++address;
      sum = (sum + byte) & 0xFF;
    }
    const int expected = ((sum ^ 0xFF) + 1) & 0xFF;
    HexToInt(state, Field(rec, pos, 2));
    if (state.HexValue != expected) errorKind = 4, errorLine = record;
  }

  if (errorKind != 0) {
    if (state.StartupLoad) {
      state.StartupLoad = 0;
    } else {
      static const char* const kWhat[] = {"", "Byte No. error at line ", "Address error at line ",
                                          "Data error at line ", "Checksum error at line "};
      prompts.Message(kWhat[errorKind] + std::to_string(errorLine) + " !");
    }
  }
  return std::min(highest, static_cast<std::int32_t>(kProgramBufferBytes));
}

std::string HexDigits(std::uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  std::string s(buf);
  return s.size() > static_cast<std::size_t>(digits) ? s.substr(s.size() - digits) : s;
}
