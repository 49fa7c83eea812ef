// ASCII-only helpers: case folding for file extensions, schemes and command
// names, and the value of a hex digit.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// "A" to "Z" become "a" to "z", every other byte stays as it is.
inline std::string ascii_lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

// 0 to 15 for "0"-"9", "a"-"f" and "A"-"F"; -1 for anything else.
constexpr int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace vesk
