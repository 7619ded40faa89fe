#include "production/PassCount.h"

#include <charconv>
#include <cstdint>
#include <string>

#include "app/MainState.h"

long long PassCountValue(const MainState& state) {
  const std::string& text = state.Panel.Label13;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) value = 0;
  return value;
}

void CountPass(MainState& state) { state.Panel.Label13 = std::to_string(PassCountValue(state) + 1); }
