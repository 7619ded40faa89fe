#include "views/EditSingleData.h"

#include <cstdint>

namespace {

int HexDigit(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

}  // namespace

bool IsHexEntryKey(char32_t key) { return key == U'\b' || HexDigit(key) >= 0; }

int CellHexValue(std::string_view text) {
  std::uint32_t value = 0;  // wraps like the 32-bit reader it stands in for
  for (char c : text) {
    const int digit = HexDigit(static_cast<unsigned char>(c));
    if (digit < 0) return 0;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return static_cast<int>(value);
}

std::string PaddedCellEntry(std::string_view field) {
  std::string text(field);
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (text.size() < kCellEntryChars) text.insert(0, kCellEntryChars - text.size(), '0');
  return text;
}

std::optional<int> AcceptCellEntry(std::string_view field, int limit) {
  const int value = CellHexValue(PaddedCellEntry(field));
  if (value < 0 || value >= limit) return std::nullopt;
  return value;
}
