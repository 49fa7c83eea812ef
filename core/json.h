// JSON values, the parser and the compact writer used for every page message,
// page-call argument and the update manifest. Bytes are UTF-8 but never
// validated as such; nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk {

enum class JsonKind : std::uint8_t { Null, Bool, Number, String, Array, Object };

struct JsonValue;

// An object's members: one per key, kept sorted by the key's bytes (as
// memcmp orders them, which the writer and the signed manifest form rely on)
// in one contiguous array. Objects are small and mostly read, so a sorted
// array finds as fast as a tree and costs one allocation instead of one per
// member. Inserting or erasing moves the members after it, so references to
// members do not survive a change to the same object.
class JsonMembers {
 public:
  using value_type = std::pair<std::string, JsonValue>;
  using iterator = std::vector<value_type>::iterator;
  using const_iterator = std::vector<value_type>::const_iterator;
  using reverse_iterator = std::vector<value_type>::reverse_iterator;
  using const_reverse_iterator = std::vector<value_type>::const_reverse_iterator;

  // Defined after JsonValue, which they need whole.
  iterator begin();
  iterator end();
  const_iterator begin() const;
  const_iterator end() const;
  reverse_iterator rbegin();
  reverse_iterator rend();
  const_reverse_iterator rbegin() const;
  const_reverse_iterator rend() const;
  std::size_t size() const;
  bool empty() const;
  void clear();
  void swap(JsonMembers& other) noexcept;

  iterator find(std::string_view key);
  const_iterator find(std::string_view key) const;
  bool contains(std::string_view key) const;
  // The member named `key`, inserted as Null when missing.
  JsonValue& operator[](std::string_view key);
  // Inserts a Null member unless `key` is there; `second` says which.
  std::pair<iterator, bool> try_emplace(std::string key);
  std::size_t erase(std::string_view key);

 private:
  friend class JsonMemberBuilder;
  std::vector<value_type> items_;
};

struct JsonValue {
  JsonKind kind = JsonKind::Null;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  JsonMembers members;

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

  // Member by member, never through a temporary.
  friend void swap(JsonValue& a, JsonValue& b) noexcept;

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
  const JsonMembers& as_object() const;
  const std::string& as_string() const;
};

inline JsonMembers::iterator JsonMembers::begin() { return items_.begin(); }
inline JsonMembers::iterator JsonMembers::end() { return items_.end(); }
inline JsonMembers::const_iterator JsonMembers::begin() const { return items_.begin(); }
inline JsonMembers::const_iterator JsonMembers::end() const { return items_.end(); }
inline JsonMembers::reverse_iterator JsonMembers::rbegin() { return items_.rbegin(); }
inline JsonMembers::reverse_iterator JsonMembers::rend() { return items_.rend(); }
inline JsonMembers::const_reverse_iterator JsonMembers::rbegin() const { return items_.rbegin(); }
inline JsonMembers::const_reverse_iterator JsonMembers::rend() const { return items_.rend(); }
inline std::size_t JsonMembers::size() const { return items_.size(); }
inline bool JsonMembers::empty() const { return items_.empty(); }
inline void JsonMembers::clear() { items_.clear(); }
inline void JsonMembers::swap(JsonMembers& other) noexcept { items_.swap(other.items_); }
inline bool JsonMembers::contains(std::string_view key) const { return find(key) != end(); }

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
