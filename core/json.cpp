#include "core/json.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define VESK_JSON_SSE2 1
#endif
#if defined(__SSE2__) && defined(__GNUC__)
#include <tmmintrin.h>
#define VESK_BASE64_SSSE3 1
#endif

namespace vesk {
namespace {

constexpr int kMaxDepth = 64;

// Longest text a number can write as: "-2.2250738585072014e-308".
constexpr std::size_t kMaxNumberChars = 24;

// The bytes a string literal cannot hold raw, both when reading and when
// quoting: the double quote, the backslash and the controls below 0x20.
constexpr bool is_special(unsigned char c) { return c == '"' || c == '\\' || c < 0x20; }

// Strings are scanned 16 bytes at a time: document texts are long runs of
// plain bytes, and each special byte is then found and handled without a
// call per byte. Callers make sure 16 bytes are readable at `p`.
constexpr std::ptrdiff_t kBlock = 16;

#ifdef VESK_JSON_SSE2
__m128i load_block(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

unsigned to_mask(__m128i hits) { return static_cast<unsigned>(_mm_movemask_epi8(hits)); }

// Bit i set when p[i] is special.
unsigned special_mask(const char* p) {
  const __m128i bytes = load_block(p);
  const __m128i ctrl = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
  const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
  return to_mask(_mm_or_si128(ctrl, _mm_or_si128(quote, backslash)));
}

// Bit i set when p[i] == c, for the 64 bytes at p.
std::uint64_t byte_mask64(const char* p, char c) {
  const __m128i wanted = _mm_set1_epi8(c);
  std::uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    mask |= std::uint64_t{to_mask(_mm_cmpeq_epi8(load_block(p + i * kBlock), wanted))} << (i * kBlock);
  }
  return mask;
}
#else
unsigned special_mask(const char* p) {
  unsigned mask = 0;
  for (int i = 0; i < kBlock; ++i) mask |= unsigned{is_special(static_cast<unsigned char>(p[i]))} << i;
  return mask;
}

std::uint64_t byte_mask64(const char* p, char c) {
  std::uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= std::uint64_t{p[i] == c} << i;
  return mask;
}
#endif

// The first special byte in [p, end), or end.
const char* find_special(const char* p, const char* end) {
  for (; end - p >= kBlock; p += kBlock) {
    if (const unsigned mask = special_mask(p)) return p + std::countr_zero(mask);
  }
  while (p != end && !is_special(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// The bytes of a 64-byte chunk that a backslash escapes, given the chunk's
// backslashes and whether its first byte is escaped from the chunk before
// (`carry`, updated for the next chunk). In a run of backslashes the 1st,
// 3rd, ... escape the byte after them. Subtracting the run from its shifted
// copy merged with the odd bits borrows through the run from its first bit,
// which leaves, after undoing the odd bits, the escaping backslashes and the
// byte after an odd run marked; toggling the backslashes then gives the
// escaped bytes.
std::uint64_t escaped_bytes(std::uint64_t backslash, std::uint64_t& carry) {
  constexpr std::uint64_t kOddBits = 0xAAAAAAAAAAAAAAAAu;
  const std::uint64_t escaping = backslash & ~carry;
  const std::uint64_t marks = (((escaping << 1) | kOddBits) - escaping) ^ kOddBits;
  const std::uint64_t escaped = marks ^ (backslash | carry);
  carry = (marks & backslash) >> 63;
  return escaped;
}

// The first double quote in [p, end) that no backslash escapes, or nullptr.
// `p` must not be just after a backslash.
const char* find_unescaped_quote(const char* p, const char* end) {
  std::uint64_t carry = 0;
  for (; end - p >= 64; p += 64) {
    const std::uint64_t escaped = escaped_bytes(byte_mask64(p, '\\'), carry);
    if (const std::uint64_t quotes = byte_mask64(p, '"') & ~escaped) return p + std::countr_zero(quotes);
  }
  for (bool after_backslash = carry != 0; p != end; ++p) {
    if (after_backslash) {
      after_backslash = false;
    } else if (*p == '"') {
      return p;
    } else {
      after_backslash = *p == '\\';
    }
  }
  return nullptr;
}

// The letter after the backslash in the escape of each special byte; 'u'
// for the "\u00XX" form.
constexpr std::array<char, 256> kEscapeLetter = [] {
  std::array<char, 256> letters{};
  for (int c = 0; c < 0x20; ++c) letters[c] = 'u';
  letters['"'] = '"';
  letters['\\'] = '\\';
  letters['\b'] = 'b';
  letters['\t'] = 't';
  letters['\n'] = 'n';
  letters['\f'] = 'f';
  letters['\r'] = 'r';
  return letters;
}();

// Bytes each byte's escape takes beyond the byte itself.
constexpr std::array<std::uint8_t, 256> kEscapeExtra = [] {
  std::array<std::uint8_t, 256> extra{};
  for (int c = 0; c < 256; ++c) {
    if (kEscapeLetter[c] != 0) extra[c] = kEscapeLetter[c] == 'u' ? 5 : 1;
  }
  return extra;
}();

std::size_t escape_extra(unsigned char c) { return kEscapeExtra[c]; }

// Extra bytes the escapes in the whole blocks from `p` take beyond the bytes
// themselves; advances `p` past those blocks.
#ifdef VESK_JSON_SSE2
std::size_t blocks_escape_extra(const char*& p, const char* end) {
  __m128i total = _mm_setzero_si128();
  for (; end - p >= kBlock; p += kBlock) {
    const __m128i bytes = load_block(p);
    const __m128i ctrl = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
    const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
    const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
    // \b \t \n \f \r are 0x08 to 0x0D but for 0x0B; other controls take
    // four bytes more.
    const __m128i from_8 = _mm_sub_epi8(bytes, _mm_set1_epi8(8));
    const __m128i short_ctrl = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x0B)),
                                                _mm_cmpeq_epi8(_mm_min_epu8(from_8, _mm_set1_epi8(5)), from_8));
    const __m128i special = _mm_or_si128(ctrl, _mm_or_si128(quote, backslash));
    const __m128i extra = _mm_or_si128(_mm_and_si128(special, _mm_set1_epi8(1)),
                                       _mm_and_si128(_mm_andnot_si128(short_ctrl, ctrl), _mm_set1_epi8(4)));
    total = _mm_add_epi64(total, _mm_sad_epu8(extra, _mm_setzero_si128()));
  }
  std::uint64_t halves[2];
  std::memcpy(halves, &total, sizeof halves);
  return static_cast<std::size_t>(halves[0] + halves[1]);
}
#else
// The byte loop after it does all the work.
std::size_t blocks_escape_extra(const char*&, const char*) { return 0; }
#endif

// The exact length of the quoted text.
std::size_t quoted_size(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  std::size_t size = text.size() + 2 + blocks_escape_extra(p, end);
  for (; p != end; ++p) size += escape_extra(static_cast<unsigned char>(*p));
  return size;
}

char* write_escape(char* dst, unsigned char c) {
  const char letter = kEscapeLetter[c];
  dst[0] = '\\';
  dst[1] = letter;
  if (letter != 'u') return dst + 2;
  constexpr char hex[] = "0123456789abcdef";
  dst[2] = '0';
  dst[3] = '0';
  dst[4] = hex[c >> 4];
  dst[5] = hex[c & 0xF];
  return dst + 6;
}

// Writes the quoted text at `dst`, which has room for quoted_size(text)
// bytes, and returns the end.
//
// Blocks are taken at fixed steps and every special byte of a block is
// handled from one mask, so the loads never wait on where the previous
// escape ended. The plain bytes before each special byte (and the block's
// rest) go out as one 16-byte copy that may spill past them; the spill is
// overwritten next. Every input byte yields at least one output byte, so
// with 16 bytes of input left to read the spill stays within the room.
char* write_quoted(char* dst, std::string_view text) {
  const char* block = text.data();
  const char* const end = block + text.size();
  *dst++ = '"';
  for (; end - block >= 2 * kBlock; block += kBlock) {
    const char* from = block;
    for (unsigned mask = special_mask(block); mask != 0; mask &= mask - 1) {
      const char* const special = block + std::countr_zero(mask);
      std::memcpy(dst, from, kBlock);
      dst = write_escape(dst + (special - from), static_cast<unsigned char>(*special));
      from = special + 1;
    }
    std::memcpy(dst, from, kBlock);
    dst += block + kBlock - from;
  }
  for (const char* p = block; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (kEscapeLetter[c] != 0) {
      dst = write_escape(dst, c);
    } else {
      *dst++ = static_cast<char>(c);
    }
  }
  *dst++ = '"';
  return dst;
}

// Powers of ten that are exact in a double.
constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Reads a number span the way strtod does, failing unless the whole span is
// used. Plain decimals of up to 15 digits are exact in a double, as is every
// power of ten up to 1e22, so one division gives the correctly rounded value
// strtod would; everything else goes to strtod itself.
bool convert_number(const char* first, const char* last, double& out) {
#if FLT_EVAL_METHOD == 0
  {
    const char* p = first;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction_digits = 0;
    bool seen_point = false;
    for (; p != last && digits <= 15; ++p) {
      const char c = *p;
      if (c >= '0' && c <= '9') {
        mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        ++digits;
        fraction_digits += seen_point;
      } else if (c == '.' && !seen_point) {
        seen_point = true;
      } else {
        break;
      }
    }
    if (p == last && digits > 0 && digits <= 15) {
      const double magnitude = static_cast<double>(mantissa) / kPow10[fraction_digits];
      out = negative ? -magnitude : magnitude;
      return true;
    }
  }
#endif
  // strtod needs a terminated copy; spans are short except in hostile input.
  const std::size_t length = static_cast<std::size_t>(last - first);
  char small[64];
  std::string large;
  char* buffer = small;
  if (length < sizeof small) {
    std::memcpy(small, first, length);
    small[length] = '\0';
  } else {
    large.assign(first, length);
    buffer = large.data();
  }
  char* stop = nullptr;
  const double value = std::strtod(buffer, &stop);
  if (stop != buffer + length) return false;
  out = value;
  return true;
}

// Writes x as "%g" with the fewest digits that read back would, when x is
// a decimal of at most 15 significant digits between 1e-4 and 1e15 (a
// ratio, a zoom, a percentage) - without the shortest-digits search. The
// smallest k for which some integer m has m / 10^k == x gives those
// digits: with 15 digits or fewer, m * 10^-k is the nearest decimal of its
// length to x and no shorter decimal lies within half a unit of x.
// False, with nothing written, for every other x.
bool write_short_decimal(char*& dst, double x) {
#if FLT_EVAL_METHOD == 0
  const double magnitude = std::fabs(x);
  if (!(magnitude >= 1e-4 && magnitude < 1e15)) return false;
  for (int k = 1; k <= 15; ++k) {
    const double scaled = magnitude * kPow10[k];
    if (scaled >= 1e15) return false;
    const double m = std::nearbyint(scaled);
    if (m / kPow10[k] != magnitude) continue;
    const auto digits = static_cast<std::uint64_t>(m);
    // A trailing zero means a rounding slip in `scaled` hid a smaller k.
    if (digits % 10 == 0) return false;
    char text[20];
    const int n = static_cast<int>(std::to_chars(text, text + sizeof text, digits).ptr - text);
    char* out = dst;
    if (x < 0) *out++ = '-';
    if (n > k) {
      out = std::copy(text, text + (n - k), out);
      *out++ = '.';
      out = std::copy(text + (n - k), text + n, out);
    } else {
      *out++ = '0';
      *out++ = '.';
      out = std::fill_n(out, k - n, '0');
      out = std::copy(text, text + n, out);
    }
    dst = out;
    return true;
  }
#else
  (void)dst;
  (void)x;
#endif
  return false;
}

// Writes the number at `dst`, which has room for kMaxNumberChars bytes.
char* write_number(char* dst, double x) {
  char buffer[40];
  char* const buffer_end = buffer + sizeof buffer;
  std::to_chars_result text{};
  if (std::isfinite(x) && x == std::floor(x) && std::fabs(x) < 9007199254740992.0) {
    text = std::to_chars(buffer, buffer_end, static_cast<long long>(x));
  } else if (write_short_decimal(dst, x)) {
    return dst;
  } else if (!std::isfinite(x)) {
    // "inf", "-inf", "nan" or "-nan", as printf has it; not JSON.
    text = std::to_chars(buffer, buffer_end, x);
  } else {
    // The fewest "%g" digits that read back as x. No precision below the
    // shortest round-trip digit count can, so the search starts there.
    int precision = 0;
    const auto shortest = std::to_chars(buffer, buffer_end, x, std::chars_format::scientific);
    for (const char* c = buffer; c != shortest.ptr && *c != 'e'; ++c) precision += (*c >= '0' && *c <= '9');
    for (precision = std::max(precision, 1); precision <= 17; ++precision) {
      text = std::to_chars(buffer, buffer_end, x, std::chars_format::general, precision);
      double back = 0.0;
      if (convert_number(buffer, text.ptr, back) && back == x) break;
    }
  }
  const auto length = static_cast<std::size_t>(text.ptr - buffer);
  std::memcpy(dst, buffer, length);
  return dst + length;
}

// An upper bound of what write_value writes; exact but for numbers.
std::size_t written_size(const JsonValue& value) {
  switch (value.kind) {
    case JsonKind::Null: return 4;
    case JsonKind::Bool: return value.boolean ? 4 : 5;
    case JsonKind::Number: return kMaxNumberChars;
    case JsonKind::String: return quoted_size(value.text);
    case JsonKind::Array: {
      std::size_t size = 2 + value.items.size();
      for (const JsonValue& item : value.items) size += written_size(item);
      return size;
    }
    case JsonKind::Object: {
      std::size_t size = 2 + 2 * value.members.size();
      for (const auto& [key, member] : value.members) size += quoted_size(key) + written_size(member);
      return size;
    }
  }
  return 4;
}

char* write_word(char* dst, std::string_view word) {
  std::memcpy(dst, word.data(), word.size());
  return dst + word.size();
}

// Writes the value at `dst`, which has room for written_size(value) bytes,
// and returns the end.
char* write_value(char* dst, const JsonValue& value) {
  switch (value.kind) {
    case JsonKind::Null:
      break;
    case JsonKind::Bool:
      return write_word(dst, value.boolean ? "true" : "false");
    case JsonKind::Number:
      return write_number(dst, value.number);
    case JsonKind::String:
      return write_quoted(dst, value.text);
    case JsonKind::Array: {
      *dst++ = '[';
      bool first = true;
      for (const JsonValue& item : value.items) {
        if (!first) *dst++ = ',';
        first = false;
        dst = write_value(dst, item);
      }
      *dst++ = ']';
      return dst;
    }
    case JsonKind::Object: {
      *dst++ = '{';
      bool first = true;
      for (const auto& [key, member] : value.members) {
        if (!first) *dst++ = ',';
        first = false;
        dst = write_quoted(dst, key);
        *dst++ = ':';
        dst = write_value(dst, member);
      }
      *dst++ = '}';
      return dst;
    }
  }
  return write_word(dst, "null");
}

char* write_utf8(char* dst, std::uint32_t code) {
  if (code < 0x80) {
    *dst++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *dst++ = static_cast<char>(0xC0 | (code >> 6));
    *dst++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *dst++ = static_cast<char>(0xE0 | (code >> 12));
    *dst++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *dst++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *dst++ = static_cast<char>(0xF0 | (code >> 18));
    *dst++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *dst++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *dst++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return dst;
}

// Four hex digits at `at`, before `end`; or -1.
long read_hex4(const char* at, const char* end) {
  if (end - at < 4) return -1;
  long code = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hex_digit_value(at[i]);
    if (digit < 0) return -1;
    code = code * 16 + digit;
  }
  return code;
}

// What a "\u" escape decodes to: the input after it and the output end, or
// a null `next` when the escape is not valid.
struct Decoded {
  const char* next;
  char* dst;
};

// Decodes the "\u" escape whose hex digits start at `at`, before `end`.
Decoded decode_unicode_escape(const char* at, const char* end, char* dst) {
  long code = read_hex4(at, end);
  if (code < 0) return {nullptr, dst};
  const char* next = at + 4;
  if (code >= 0xD800 && code <= 0xDBFF) {
    // A high half needs its low half right after it; a lone low half is
    // kept as it is.
    if (end - next < 2 || next[0] != '\\' || next[1] != 'u') return {nullptr, dst};
    const long low = read_hex4(next + 2, end);
    if (low < 0xDC00 || low > 0xDFFF) return {nullptr, dst};
    code = 0x10000 + (code - 0xD800) * 0x400 + (low - 0xDC00);
    next += 6;
  }
  return {next, write_utf8(dst, static_cast<std::uint32_t>(code))};
}

// The byte each one-letter escape stands for; 0 for any other letter.
constexpr std::array<char, 256> kUnescaped = [] {
  std::array<char, 256> bytes{};
  bytes['"'] = '"';
  bytes['/'] = '/';
  bytes['\\'] = '\\';
  bytes['b'] = '\b';
  bytes['f'] = '\f';
  bytes['n'] = '\n';
  bytes['r'] = '\r';
  bytes['t'] = '\t';
  return bytes;
}();

// Decodes the escape whose letter is at `at`, before `end`.
Decoded decode_escape(const char* at, const char* end, char* dst) {
  if (at == end) return {nullptr, dst};
  if (const char byte = kUnescaped[static_cast<unsigned char>(*at)]) {
    *dst = byte;
    return {at + 1, dst + 1};
  }
  if (*at != 'u') return {nullptr, dst};
  return decode_unicode_escape(at + 1, end, dst);
}

// Decodes the string body [p, close) to `dst`, which has room for
// close - p bytes (escapes only ever shorten the text). Returns the end, or
// nullptr on a raw control byte or a bad escape. Works like write_quoted;
// an escape may run on into the next block, whose mask then skips the bytes
// already taken.
char* decode_string(char* dst, const char* p, const char* close) {
  const char* from = p;  // the first byte not yet decoded
  for (const char* block = p; close - block >= 2 * kBlock; block += kBlock) {
    unsigned mask = special_mask(block) & (~0u << (from - block));
    while (mask != 0) {
      const int at = std::countr_zero(mask);
      const char* const special = block + at;
      std::memcpy(dst, from, kBlock);
      dst += special - from;
      if (*special != '\\') return nullptr;  // a raw control byte
      // One-letter escapes, by far the most common, take a path whose next
      // step does not wait on the table lookup.
      if (const char byte = kUnescaped[static_cast<unsigned char>(special[1])]) {
        *dst++ = byte;
        from = special + 2;
        mask &= ~(3u << at);
        continue;
      }
      const Decoded decoded = decode_escape(special + 1, close, dst);
      if (decoded.next == nullptr) return nullptr;
      from = decoded.next;
      dst = decoded.dst;
      mask &= ~0u << (from - block);  // an escape is at most 12 bytes long
    }
    if (from < block + kBlock) {
      std::memcpy(dst, from, kBlock);
      dst += block + kBlock - from;
      from = block + kBlock;
    }
  }
  while (from != close) {
    if (!is_special(static_cast<unsigned char>(*from))) {
      *dst++ = *from++;
      continue;
    }
    if (*from != '\\') return nullptr;
    const Decoded decoded = decode_escape(from + 1, close, dst);
    if (decoded.next == nullptr) return nullptr;
    from = decoded.next;
    dst = decoded.dst;
  }
  return dst;
}

}  // namespace

// Collects a parsed object's members in text order, remembering whether they
// came sorted, and leaves them as JsonMembers keeps them: sorted by key, the
// last of equal keys kept (as a later member replaces an earlier one).
class JsonMemberBuilder {
  static constexpr std::size_t kInsertionSortLimit = 16;

 public:
  explicit JsonMemberBuilder(JsonMembers& members) : items_(members.items_) {
    // Page messages mostly hold up to four members.
    items_.reserve(4);
  }

  std::string& next_key() { return items_.emplace_back().first; }

  // After next_key() has been read.
  JsonValue& value_of_next() {
    const std::size_t n = items_.size();
    if (sorted_ && n >= 2 && !key_less(items_[n - 2].first, items_[n - 1].first)) sorted_ = false;
    return items_.back().second;
  }

  // Byte order, as std::string's own; keys mostly differ in their first
  // byte, which decides without a call.
  static bool key_less(const std::string& a, const std::string& b) {
    if (!a.empty() && !b.empty() && a[0] != b[0]) {
      return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
    }
    return a < b;
  }

  void finish() {
    if (sorted_) return;
    auto& items = items_;
    const auto by_key = [](const auto& a, const auto& b) { return key_less(a.first, b.first); };
    if (const std::size_t n = items.size(); n <= kInsertionSortLimit) {
      // Sorts positions (stably), then puts each member in its place along
      // the permutation's cycles: n - cycles swaps, not one per inversion.
      std::array<std::uint8_t, kInsertionSortLimit> order;
      for (std::size_t i = 0; i < n; ++i) {
        std::size_t j = i;
        for (; j > 0 && by_key(items[i], items[order[j - 1]]); --j) order[j] = order[j - 1];
        order[j] = static_cast<std::uint8_t>(i);
      }
      for (std::size_t i = 0; i < n; ++i) {
        std::size_t j = i;
        while (order[j] != i) {
          const std::size_t next = order[j];
          swap(items[j], items[next]);
          order[j] = static_cast<std::uint8_t>(j);
          j = next;
        }
        order[j] = static_cast<std::uint8_t>(j);
      }
    } else {
      std::stable_sort(items.begin(), items.end(), by_key);
    }
    // Of equal keys, now side by side in text order, the last one stays.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (kept > 0 && items[kept - 1].first == items[i].first) {
        swap(items[kept - 1].second, items[i].second);
      } else {
        if (kept != i) swap(items[kept], items[i]);
        ++kept;
      }
    }
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
  }

 private:
  std::vector<JsonMembers::value_type>& items_;
  bool sorted_ = true;
};

namespace {

// Recursive descent over the text. The parser builds every value in the
// place it ends up (array slot or map node), so nothing is copied or moved
// after parsing except array items when their vector grows.
class Parser {
 public:
  explicit Parser(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool parse_document(JsonValue& out) {
    skip_whitespace();
    if (!parse_value(out, 0)) return false;
    skip_whitespace();
    return p_ == end_;
  }

 private:
  void skip_whitespace() {
    // Compact text, the common case, has none.
    if (p_ != end_ && static_cast<unsigned char>(*p_) > ' ') return;
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  bool consume(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }

  // The size is known at compile time, so the comparison is a load or two.
  template <std::size_t N>
  bool consume_word(const char (&word)[N]) {
    constexpr std::size_t size = N - 1;
    if (static_cast<std::size_t>(end_ - p_) < size || std::memcmp(p_, word, size) != 0) return false;
    p_ += size;
    return true;
  }

  // `out` is always a fresh Null.
  bool parse_value(JsonValue& out, int depth) {
    if (depth > kMaxDepth || p_ == end_) return false;
    switch (*p_) {
      case '{':
        ++p_;
        return parse_object(out, depth);
      case '[':
        ++p_;
        return parse_array(out, depth);
      case '"':
        ++p_;
        out.kind = JsonKind::String;
        return parse_string(out.text);
      case 't':
        out.kind = JsonKind::Bool;
        out.boolean = true;
        return consume_word("true");
      case 'f':
        out.kind = JsonKind::Bool;
        return consume_word("false");
      case 'n':
        return consume_word("null");
      default:
        out.kind = JsonKind::Number;
        return parse_number(out.number);
    }
  }

  // Members are appended as they come, each value parsed in its slot (a
  // nested value only ever grows its own arrays, never this one), then put
  // in key order once at the end.
  bool parse_object(JsonValue& out, int depth) {
    out.kind = JsonKind::Object;
    skip_whitespace();
    if (consume('}')) return true;
    JsonMemberBuilder members(out.members);
    for (;;) {
      skip_whitespace();
      if (!consume('"')) return false;
      std::string& key = members.next_key();
      if (!parse_string(key)) return false;
      skip_whitespace();
      if (!consume(':')) return false;
      skip_whitespace();
      if (!parse_value(members.value_of_next(), depth + 1)) return false;
      skip_whitespace();
      if (consume('}')) {
        members.finish();
        return true;
      }
      if (!consume(',')) return false;
    }
  }

  bool parse_array(JsonValue& out, int depth) {
    out.kind = JsonKind::Array;
    skip_whitespace();
    if (consume(']')) return true;
    out.items.reserve(4);  // instead of growing through 1, 2 and 4
    for (;;) {
      skip_whitespace();
      if (!parse_value(out.items.emplace_back(), depth + 1)) return false;
      skip_whitespace();
      if (consume(']')) return true;
      if (!consume(',')) return false;
    }
  }

  bool parse_number(double& out) {
    const char* const start = p_;
    if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
    while (p_ != end_) {
      const char c = *p_;
      if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) break;
      ++p_;
    }
    return p_ != start && convert_number(start, p_, out);
  }

  // Called after the opening quote.
  bool parse_string(std::string& out) {
    const char* const body = p_;
    const char* const first = find_special(body, end_);
    if (first == end_) return false;
    if (*first == '"') {
      out.assign(body, static_cast<std::size_t>(first - body));
      p_ = first + 1;
      return true;
    }
    // With escapes, find the end first: the body's length bounds the decoded
    // text, which is then written once into its final buffer.
    const char* const close = find_unescaped_quote(first, end_);
    if (close == nullptr) return false;
    out.resize(static_cast<std::size_t>(close - body));
    char* const begin = out.data();
    const std::size_t plain = static_cast<std::size_t>(first - body);
    std::memcpy(begin, body, plain);
    const char* const stop = decode_string(begin + plain, first, close);
    if (stop == nullptr) return false;
    out.resize(static_cast<std::size_t>(stop - begin));
    p_ = close + 1;
    return true;
  }

  const char* p_;
  const char* const end_;
};

constexpr std::array<signed char, 256> make_base64_values() {
  std::array<signed char, 256> values{};
  for (auto& v : values) v = -1;
  for (int i = 0; i < 26; ++i) {
    values['A' + i] = static_cast<signed char>(i);
    values['a' + i] = static_cast<signed char>(26 + i);
  }
  for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<signed char>(52 + i);
  values['+'] = values['-'] = 62;
  values['/'] = values['_'] = 63;
  return values;
}

constexpr std::array<signed char, 256> kBase64Values = make_base64_values();

void clear_moved_from(JsonValue& value) noexcept {
  value.kind = JsonKind::Null;
  value.boolean = false;
  value.number = 0.0;
  value.text.clear();
  value.items.clear();
  value.members.clear();
}

}  // namespace

JsonMembers::iterator JsonMembers::find(std::string_view key) {
  const auto it = std::lower_bound(items_.begin(), items_.end(), key,
                                   [](const value_type& member, std::string_view k) { return member.first < k; });
  return it != items_.end() && it->first == key ? it : items_.end();
}

JsonMembers::const_iterator JsonMembers::find(std::string_view key) const {
  return const_cast<JsonMembers*>(this)->find(key);
}

std::pair<JsonMembers::iterator, bool> JsonMembers::try_emplace(std::string key) {
  const auto it = std::lower_bound(items_.begin(), items_.end(), key,
                                   [](const value_type& member, std::string_view k) { return member.first < k; });
  if (it != items_.end() && it->first == key) return {it, false};
  return {items_.emplace(it, std::move(key), JsonValue()), true};
}

JsonValue& JsonMembers::operator[](std::string_view key) {
  const auto it = find(key);
  return it != items_.end() ? it->second : try_emplace(std::string(key)).first->second;
}

std::size_t JsonMembers::erase(std::string_view key) {
  const auto it = find(key);
  if (it == items_.end()) return 0;
  items_.erase(it);
  return 1;
}

JsonValue::JsonValue(JsonValue&& other) noexcept
    : kind(other.kind),
      boolean(other.boolean),
      number(other.number),
      text(std::move(other.text)),
      items(std::move(other.items)),
      members(std::move(other.members)) {
  clear_moved_from(other);
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) {
    // Take the source whole before releasing the old tree: the source may
    // be part of it, as in `value = std::move(value.items[0])`.
    JsonValue taken(std::move(other));
    kind = taken.kind;
    boolean = taken.boolean;
    number = taken.number;
    text.swap(taken.text);
    items.swap(taken.items);
    members.swap(taken.members);
  }
  return *this;
}

void swap(JsonValue& a, JsonValue& b) noexcept {
  std::swap(a.kind, b.kind);
  std::swap(a.boolean, b.boolean);
  std::swap(a.number, b.number);
  a.text.swap(b.text);
  a.items.swap(b.items);
  a.members.swap(b.members);
}

JsonValue JsonValue::make_bool(bool value) {
  JsonValue v;
  v.kind = JsonKind::Bool;
  v.boolean = value;
  return v;
}

JsonValue JsonValue::make_number(double value) {
  JsonValue v;
  v.kind = JsonKind::Number;
  v.number = value;
  return v;
}

JsonValue JsonValue::make_string(std::string value) {
  JsonValue v;
  v.kind = JsonKind::String;
  v.text = std::move(value);
  return v;
}

JsonValue JsonValue::make_array() {
  JsonValue v;
  v.kind = JsonKind::Array;
  return v;
}

JsonValue JsonValue::make_object() {
  JsonValue v;
  v.kind = JsonKind::Object;
  return v;
}

const JsonValue* JsonValue::find(std::string_view key) const {
  if (kind != JsonKind::Object) return nullptr;
  const auto it = members.find(key);
  return it == members.end() ? nullptr : &it->second;
}

bool JsonValue::get_bool(std::string_view key, bool fallback) const {
  const JsonValue* member = find(key);
  return member != nullptr && member->kind == JsonKind::Bool ? member->boolean : fallback;
}

double JsonValue::get_number(std::string_view key, double fallback) const {
  const JsonValue* member = find(key);
  return member != nullptr && member->kind == JsonKind::Number ? member->number : fallback;
}

std::string JsonValue::get_string(std::string_view key, std::string_view fallback) const {
  const JsonValue* member = find(key);
  return member != nullptr && member->kind == JsonKind::String ? member->text : std::string(fallback);
}

const std::vector<JsonValue>& JsonValue::as_array() const {
  static const std::vector<JsonValue> empty;
  return kind == JsonKind::Array ? items : empty;
}

const JsonMembers& JsonValue::as_object() const {
  static const JsonMembers empty;
  return kind == JsonKind::Object ? members : empty;
}

const std::string& JsonValue::as_string() const {
  static const std::string empty;
  return kind == JsonKind::String ? text : empty;
}

bool parse_json(std::string_view text, JsonValue& out) {
  // Callers mostly pass a fresh value; resetting one costs a whole move.
  if (out.kind != JsonKind::Null || !out.text.empty() || !out.items.empty() || !out.members.empty()) {
    out = JsonValue();
  }
  return Parser(text).parse_document(out);
}

void write_json(const JsonValue& value, std::string& out) {
  // Sizing first puts a large document in one allocation, written once,
  // instead of copying it at every growth step.
  const std::size_t start = out.size();
  out.resize(start + written_size(value));
  char* const begin = out.data();
  out.resize(static_cast<std::size_t>(write_value(begin + start, value) - begin));
}

std::string json_quote(std::string_view text) {
  std::string out(quoted_size(text), '\0');
  write_quoted(out.data(), text);
  return out;
}

void append_json_quoted(std::string_view text, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + quoted_size(text));
  write_quoted(out.data() + start, text);
}

std::vector<unsigned char> decode_base64(std::string_view text) {
  std::vector<unsigned char> out;
  out.reserve(text.size() * 3 / 4 + 3);
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (const char c : text) {
    if (c == '=') break;
    const int value = kBase64Values[static_cast<unsigned char>(c)];
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      out.push_back(static_cast<unsigned char>(bits >> bit_count));
      bits &= (1u << bit_count) - 1;
    }
  }
  return out;
}

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every 12-bit value as its two Base64 letters, so three input bytes take two
// table loads instead of four.
struct Base64PairTable {
  char pairs[4096][2];
  constexpr Base64PairTable() : pairs() {
    for (int i = 0; i < 4096; ++i) {
      pairs[i][0] = kBase64Alphabet[i >> 6];
      pairs[i][1] = kBase64Alphabet[i & 63];
    }
  }
};
constexpr Base64PairTable kBase64Pairs;

// Encodes whole groups of three bytes; returns the bytes taken.
std::size_t encode_base64_groups(const unsigned char* data, std::size_t size, char* to) {
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3, to += 4) {
    const std::uint32_t group = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    std::memcpy(to, kBase64Pairs.pairs[group >> 12], 2);
    std::memcpy(to + 2, kBase64Pairs.pairs[group & 0xFFF], 2);
  }
  return i;
}

// Twelve bytes to sixteen letters per step with SSSE3 (on nearly every x64
// processor; checked once at run time). The shuffle puts each group's bytes where two multiplies shift its
// four 6-bit values into bytes of their own; a 16-entry table then turns
// each value's range (A-Z, a-z, 0-9, +, /) into the offset to its letter.
#if defined(__GNUC__) && defined(VESK_BASE64_SSSE3)
bool has_ssse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

// Encodes 12-byte steps while 16 bytes are readable; returns the bytes taken.
__attribute__((target("ssse3"))) std::size_t encode_base64_ssse3(const unsigned char* data, std::size_t size, char* to) {
  const __m128i shuffle = _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1);
  const __m128i offsets = _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                        '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  std::size_t i = 0;
  for (; size - i >= 16; i += 12, to += 16) {
    const __m128i in = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), shuffle);
    const __m128i high = _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0fc0fc00)), _mm_set1_epi32(0x04000040));
    const __m128i low = _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003f03f0)), _mm_set1_epi32(0x01000010));
    const __m128i values = _mm_or_si128(high, low);
    // 0 for a-z, 1-10 for digits, 11 and 12 for + and /, 13 for A-Z.
    __m128i range = _mm_subs_epu8(values, _mm_set1_epi8(51));
    range = _mm_or_si128(range, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), values), _mm_set1_epi8(13)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_add_epi8(_mm_shuffle_epi8(offsets, range), values));
  }
  return i;
}
#endif

// Encodes `size` bytes, a multiple of three, at `to`.
void encode_base64_whole(const unsigned char* data, std::size_t size, char* to) {
  std::size_t done = 0;
#ifdef VESK_BASE64_SSSE3
  static const bool ssse3 = has_ssse3();
  if (ssse3) done = encode_base64_ssse3(data, size, to);
#endif
  encode_base64_groups(data + done, size - done, to + done / 3 * 4);
}

}  // namespace

void append_base64(const unsigned char* data, std::size_t size, std::string& out) {
  out.reserve(out.size() + (size + 2) / 3 * 4);
  // Through a small buffer that stays in the cache: sizing `out` up front
  // would first fill the whole text with zeros, one more pass over memory
  // as large as the images themselves.
  constexpr std::size_t kPiece = 3 * 4096;
  char letters[kPiece / 3 * 4];
  std::size_t whole = size - size % 3;
  for (std::size_t at = 0; at < whole; at += kPiece) {
    const std::size_t n = std::min(kPiece, whole - at);
    encode_base64_whole(data + at, n, letters);
    out.append(letters, n / 3 * 4);
  }
  if (whole < size) {
    const bool two = size - whole == 2;
    const std::uint32_t group = (std::uint32_t{data[whole]} << 16) | (two ? std::uint32_t{data[whole + 1]} << 8 : 0u);
    const char tail[4] = {kBase64Alphabet[group >> 18], kBase64Alphabet[(group >> 12) & 63],
                          two ? kBase64Alphabet[(group >> 6) & 63] : '=', '='};
    out.append(tail, 4);
  }
}

std::string encode_base64(const unsigned char* data, std::size_t size) {
  std::string out;
  append_base64(data, size, out);
  return out;
}

}  // namespace vesk
