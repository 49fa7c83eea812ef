// Whatever parses must write out as text that parses again and writes the
// same; any bytes, quoted, must parse back as those bytes.
#include "core/json.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Infinities and NaN write as C library text, which is not JSON.
bool all_finite(const vesk::JsonValue& value) {
  switch (value.kind) {
    case vesk::JsonKind::Number:
      return std::isfinite(value.number);
    case vesk::JsonKind::Array:
      for (const auto& item : value.items) {
        if (!all_finite(item)) return false;
      }
      return true;
    case vesk::JsonKind::Object:
      for (const auto& [key, member] : value.members) {
        if (!all_finite(member)) return false;
      }
      return true;
    default:
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  vesk::JsonValue value;
  if (vesk::parse_json(text, value) && all_finite(value)) {
    std::string first;
    vesk::write_json(value, first);
    vesk::JsonValue again;
    if (!vesk::parse_json(first, again)) std::abort();
    std::string second;
    vesk::write_json(again, second);
    if (second != first) std::abort();
  }

  vesk::JsonValue quoted;
  if (!vesk::parse_json(vesk::json_quote(text), quoted) || quoted.as_string() != text) std::abort();
  return 0;
}
