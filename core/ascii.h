// ASCII-only case folding for file extensions, schemes and command names:
// "A" to "Z" become "a" to "z", every other byte stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

inline std::string ascii_lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

}  // namespace vesk
