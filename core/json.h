// JSON values, the parser and the compact writer used for every page message,
// page-call argument and the update manifest. Bytes are UTF-8 but never
// validated as such; nothing here throws.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

enum class JsonKind : std::uint8_t { Null, Bool, Number, String, Array, Object };

struct JsonValue {
  JsonKind kind = JsonKind::Null;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  // std::string compares with memcmp, i.e. by unsigned bytes, so members stay
  // in the byte order the writer and the signed manifest form rely on.
  std::map<std::string, JsonValue, std::less<>> members;

  JsonValue() = default;
  JsonValue(const JsonValue&) = default;
  // Through a copy, so assigning a value one of its own descendants
  // (v = v.items[0]) never reads the subtree it is replacing.
  JsonValue& operator=(const JsonValue& other) {
    if (this != &other) *this = JsonValue(other);
    return *this;
  }
  // Moving leaves the source an empty Null, not a half-moved value.
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(JsonValue&& other) noexcept;

  static JsonValue make_bool(bool value);
  static JsonValue make_number(double value);
  static JsonValue make_string(std::string value);
  static JsonValue make_array();
  static JsonValue make_object();

  bool is_null() const { return kind == JsonKind::Null; }
  bool is_object() const { return kind == JsonKind::Object; }
  bool is_array() const { return kind == JsonKind::Array; }
  bool is_string() const { return kind == JsonKind::String; }

  // Total accessors: a missing member, or one of another kind, reads as the
  // fallback (or as a shared empty value).
  const JsonValue* find(std::string_view key) const;
  bool get_bool(std::string_view key, bool fallback) const;
  double get_number(std::string_view key, double fallback) const;
  std::string get_string(std::string_view key, std::string_view fallback) const;
  const std::vector<JsonValue>& as_array() const;
  const std::map<std::string, JsonValue, std::less<>>& as_object() const;
  const std::string& as_string() const;
};

// True when the whole text is one JSON value (whitespace around it allowed).
// Nesting deeper than 64 levels fails. On false `out` must not be used.
bool parse_json(std::string_view text, JsonValue& out);

// Appends the compact text of `value` to `out`.
void write_json(const JsonValue& value, std::string& out);

// The text as a JSON string literal, quotes included. Only the bytes JSON
// requires are escaped; UTF-8 (and U+2028/U+2029) pass through raw.
std::string json_quote(std::string_view text);
// The same literal appended to `out`, for building a script around a large
// text without an intermediate copy.
void append_json_quoted(std::string_view text, std::string& out);

// Lenient Base64: standard and URL-safe letters mixed, stops at the first
// "=", skips every other byte, never fails.
std::vector<unsigned char> decode_base64(std::string_view text);

// Standard alphabet, "=" padding, no line breaks.
std::string encode_base64(const unsigned char* data, std::size_t size);
// The same encoding appended to `out`, sized once, so a large image goes
// straight into the HTML being built.
void append_base64(const unsigned char* data, std::size_t size, std::string& out);
inline std::string encode_base64(const std::vector<unsigned char>& bytes) {
  return encode_base64(bytes.data(), bytes.size());
}

}  // namespace vesk
