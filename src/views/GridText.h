#pragma once
// Hex texts shared by the buffer views and the ID window.

#include <string>

namespace views {

// value as upper-case hex, at least `digits` digits.
std::string Hex(unsigned value, int digits);

}  // namespace views
