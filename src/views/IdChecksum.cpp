#include "views/IdChecksum.h"

#include <algorithm>

#include "app/MainState.h"
#include "views/GridText.h"

namespace {

void AppendLatin1(std::string& out, std::uint8_t byte) {
  if (byte < 0x80) {
    out += static_cast<char>(byte);
  } else {
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
}

std::string HexBytes(const MainState& state, int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    if (i > first) text += ' ';
    text += views::Hex(state.IdBuffer[i], 2);
  }
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0xF;
}

}  // namespace

std::string IdHexText(const MainState& state) { return HexBytes(state, 0, kUserIdBytes); }

std::string IdAsciiText(const MainState& state) {
  std::string text;
  for (int i = 0; i < kIdAsciiChars && state.IdBuffer[i] != 0; ++i) AppendLatin1(text, state.IdBuffer[i]);
  return text;
}

std::string IdLabelText(const MainState& state) {
  return state.IdShowHex == 1 ? IdHexText(state) : IdAsciiText(state);
}

std::string IcChecksumText(const MainState& state) {
  std::string text;
  for (int i = 12; i < 16; ++i) {
    const std::uint8_t byte = state.IdBuffer[i];
    AppendLatin1(text, byte < 32 ? ' ' : byte);
  }
  return text;
}

WriterInfoTexts WriterInfoText(const MainState& state) {
  const auto& id = state.IdBuffer;
  return {views::Hex(id[16], 2), views::Hex(id[24], 2), views::Hex(id[25], 2),
          views::Hex(id[22], 2), views::Hex(id[20], 2), views::Hex(id[21], 2),
          HexBytes(state, 16, 16)};
}

std::string BodyOptionText(const MainState& state, int group) {
  std::string text = views::Hex(state.OptionLow, 2) + " " + views::Hex(state.OptionHigh, 2) + " ";
  const int first = group == 0 ? 0 : 4;
  for (int i = first; i < first + 4; ++i) text += views::Hex(state.BodyOptionBytes[i], 2) + " ";
  return text;
}

void ShowIdOnPanel(MainState& state) {
  state.Panel.Label17 = IcChecksumText(state);
  state.Panel.Label18 = IdLabelText(state);
}

void StoreIdHexEntry(MainState& state, std::string_view text) {
  auto digit = [&](std::size_t pos) { return pos < text.size() ? HexDigit(text[pos]) : 0xF; };
  for (int k = 0; k < kUserIdBytes; ++k) {
    const std::size_t pos = static_cast<std::size_t>(3 * k);
    state.IdBuffer[k] = static_cast<std::uint8_t>((digit(pos) * 16 + digit(pos + 1)) & 0x7F);
  }
}

void StoreIdAsciiEntry(MainState& state, std::u32string_view text) {
  for (int k = 0; k < kUserIdBytes; ++k) {
    if (k >= static_cast<int>(text.size())) {
      state.IdBuffer[k] = kBlankHalf;
    } else {
      const char32_t c = text[k];
      state.IdBuffer[k] = static_cast<std::uint8_t>(c <= 0xFF ? c : U'?');
    }
  }
}

std::u32string EditedBytes(std::u32string_view bytes, std::u32string_view before, std::u32string_view after,
                           std::size_t cursor) {
  // What follows the cursor was there before; a shorter tail when an edit
  // left it changed after all.
  std::size_t tail = std::min({after.size() - std::min(cursor, after.size()), before.size(), bytes.size()});
  while (tail > 0 && before.substr(before.size() - tail) != after.substr(after.size() - tail)) --tail;
  std::size_t head = 0;
  const std::size_t headLimit = std::min({before.size(), bytes.size()}) - tail;
  while (head < headLimit && head + tail < after.size() && before[head] == after[head]) ++head;
  std::u32string out(bytes.substr(0, head));
  out += after.substr(head, after.size() - tail - head);
  out += bytes.substr(bytes.size() - tail);
  return out;
}
