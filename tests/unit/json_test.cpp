#include "core/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace vesk {
namespace {

std::string written(const JsonValue& value) {
  std::string out;
  write_json(value, out);
  return out;
}

// Parses and writes back, or returns "FAIL".
std::string reparsed(std::string_view text) {
  JsonValue value;
  return parse_json(text, value) ? written(value) : "FAIL";
}

TEST(JsonParse, DocumentsRoundTripToCompactText) {
  const struct { std::string_view in, out; } cases[] = {
      {" \t\r\n{\"a\" : [ 1 , \"x\" ] }\n ", R"({"a":[1,"x"]})"},
      {R"({"b":1,"a":[true,null]})", R"({"a":[true,null],"b":1})"},
      {R"({"a":1,"a":2})", R"({"a":2})"},
      {R"({"b":1,"a":2,"b":3,"c":[],"a":4})", R"({"a":4,"b":3,"c":[]})"},
      {R"({"ab":1,"a":2,"":3,"b":{"y":1,"x":2}})", R"({"":3,"a":2,"ab":1,"b":{"x":2,"y":1}})"},
      {R"({"a":{"x":1},"a":[]})", R"({"a":[]})"},
      {R"({"b":1,"ab":2,"a":3,"\u00e9":4,"B":5})", "{\"B\":5,\"a\":3,\"ab\":2,\"b\":1,\"\xC3\xA9\":4}"},
      {"[]", "[]"}, {"{}", "{}"}, {"[ ]", "[]"}, {"{ }", "{}"},
      {"[false,true,null,\"\"]", "[false,true,null,\"\"]"},
      {"+5", "5"}, {".5", "0.5"}, {"5.", "5"}, {"007", "7"}, {"1E2", "100"}, {"-0", "0"},
      {"1e21", "1e+21"}, {"123456.5", "123456.5"}, {"1e999", "inf"}, {"-1e999", "-inf"},
      {"1e-999", "0"}, {"12345678901234567890", "1.2345678901234567e+19"},
  };
  for (const auto& c : cases) EXPECT_EQ(reparsed(c.in), c.out) << c.in;
}

TEST(JsonParse, RejectsMalformedText) {
  const std::string_view cases[] = {
      "", " ", "{} x", "1 2", "[1,]", "{\"a\":1,}", "[,1]", "{,}", "{1:2}", "{\"a\"}", "{\"a\":}",
      "[1 2]", "{\"a\":1 \"b\":2}", "tru", "True", "nul", "falsey", "-", "+", "1-2", "1..2", "1e",
      "0x10", "--1", "+-1", ".", "e5", "]", "}", "\"abc", "\"a\tb\"", "\"\\x\"", "\"\\u12\"",
      "\"\\u12G4\"", "\"\\", "\"\\ud83d\"", "\"\\ud83dx\"", "\"\\ud83d\\n\"", "\"\\ud83d\\u0041\"",
      "\"\\ud83d\\ud83d\"", std::string_view("\"a\0b\"", 5), "[\"a\"", "{\"a\":1",
  };
  for (const auto c : cases) {
    JsonValue value;
    EXPECT_FALSE(parse_json(c, value)) << c;
  }
}

TEST(JsonParse, DecodesStringEscapes) {
  const struct { std::string_view in, bytes; } cases[] = {
      {R"("\"\/\\\b\f\n\r\t")", "\"/\\\b\f\n\r\t"},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {R"("\ude00")", "\xED\xB8\x80"},
      {R"("\u0000")", std::string_view("\0", 1)},
      {R"("\u007f\u0080\u07ff\u0800\uffff")", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {"\"raw \x7F\xFF\xE2\x80\xA8\"", "raw \x7F\xFF\xE2\x80\xA8"},
      {R"("a\tb")", "a\tb"},
  };
  for (const auto& c : cases) {
    JsonValue value;
    ASSERT_TRUE(parse_json(c.in, value)) << c.in;
    ASSERT_TRUE(value.is_string());
    EXPECT_EQ(value.text, c.bytes) << c.in;
  }
}

TEST(JsonParse, NestingStopsAfter64Levels) {
  const auto nested = [](int depth, std::string_view inner) {
    return std::string(depth, '[') + std::string(inner) + std::string(depth, ']');
  };
  JsonValue value;
  EXPECT_TRUE(parse_json(nested(64, "1"), value));
  EXPECT_FALSE(parse_json(nested(65, "1"), value));
  EXPECT_TRUE(parse_json(nested(65, ""), value));
  EXPECT_FALSE(parse_json(nested(66, ""), value));
  std::string objects;
  for (int i = 0; i < 64; ++i) objects += "{\"k\":";
  EXPECT_TRUE(parse_json(objects + "1" + std::string(64, '}'), value));
  EXPECT_FALSE(parse_json("{\"k\":" + objects + "1" + std::string(65, '}'), value));
  // Far too deep must fail cleanly, not exhaust the stack.
  EXPECT_FALSE(parse_json(std::string(1 << 20, '['), value));
}

TEST(JsonParse, ResetsTheOutputValue) {
  JsonValue value = JsonValue::make_string("old");
  value.items.resize(3);
  ASSERT_TRUE(parse_json("5", value));
  EXPECT_EQ(value.kind, JsonKind::Number);
  EXPECT_TRUE(value.text.empty());
  EXPECT_TRUE(value.items.empty());
}

TEST(JsonParse, EveryTruncationFails) {
  const std::string text =
      R"({"version":"1.2.3","notes":"a\"b\\c\u00e9\ud83d\ude00","n":[1,-2.5e3,true,false,null],"o":{"k":{}}})";
  JsonValue value;
  ASSERT_TRUE(parse_json(text, value));
  for (std::size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(parse_json(text.substr(0, n), value)) << n;
}

TEST(JsonParse, SurvivesArbitraryBytes) {
  std::mt19937 random(7);
  JsonValue value;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 64, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    if (round % 2) bytes.insert(0, "[\"");  // get past the first byte now and then
    parse_json(bytes, value);
  }
  EXPECT_FALSE(parse_json(std::string(1 << 22, '7') + "x", value));
  ASSERT_TRUE(parse_json(std::string(1 << 16, '9'), value));
  EXPECT_TRUE(std::isinf(value.number));
}

TEST(JsonParse, LargeTextWithEscapesSurvivesUnchanged) {
  std::string text;
  for (int i = 0; text.size() < (4u << 20); ++i) text += "line \"" + std::to_string(i) + "\"\t\\ \xE4\xB8\xAD\n";
  JsonValue value;
  ASSERT_TRUE(parse_json(R"({"type":"save","text":)" + json_quote(text) + "}", value));
  EXPECT_EQ(value.get_string("text", ""), text);
  EXPECT_EQ(value.get_string("type", ""), "save");
}

TEST(JsonWrite, Numbers) {
  const struct { double in; std::string_view out; } cases[] = {
      {5, "5"}, {-0.0, "0"}, {0.1, "0.1"}, {1e300, "1e+300"}, {9007199254740992.0, "9007199254740992"},
      {9007199254740991.0, "9007199254740991"}, {-9007199254740991.0, "-9007199254740991"},
      {1e21, "1e+21"}, {123456.5, "123456.5"}, {0.1 + 0.2, "0.30000000000000004"}, {-1.5e-7, "-1.5e-07"},
      {1e15 + 0.5, "1000000000000000.5"}, {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::infinity(), "inf"}, {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(written(JsonValue::make_number(c.in)), c.out) << c.in;
}

TEST(JsonWrite, FiniteNumbersReadBackExactly) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (i % 2) x = static_cast<double>(random() % 100000000) / 1000.0;
    if (!std::isfinite(x)) continue;
    JsonValue back;
    ASSERT_TRUE(parse_json(written(JsonValue::make_number(x)), back));
    ASSERT_EQ(back.number, x) << written(JsonValue::make_number(x));
  }
}

// Many members in reverse order with duplicates: the last of each key wins
// however the members are sorted.
TEST(JsonParse, LargeUnsortedObjectsKeepTheLastOfEachKey) {
  std::string text = "{";
  for (int i = 99; i >= 0; --i) text += "\"k" + std::to_string(i % 40 + 10) + "\":" + std::to_string(i) + ",";
  text.back() = '}';
  JsonValue value;
  ASSERT_TRUE(parse_json(text, value));
  ASSERT_EQ(value.members.size(), 40u);
  std::string previous;
  for (const auto& [key, member] : value.members) {
    EXPECT_LT(previous, key);
    previous = key;
    EXPECT_EQ(member.number, std::stoi(key.substr(1)) - 10) << key;
  }
}

// Fractions write with the fewest "%g" digits that read back as themselves.
TEST(JsonWrite, DecimalsTakeTheFewestDigitsThatReadBack) {
  const auto fewest = [](double x) {
    char text[40];
    for (int precision = 1;; ++precision) {
      std::snprintf(text, sizeof text, "%.*g", precision, x);
      if (std::strtod(text, nullptr) == x) return std::string(text);
    }
  };
  std::mt19937_64 random(5);
  for (int i = 0; i < 20000; ++i) {
    const int scale = static_cast<int>(random() % 18);
    double x = static_cast<double>(random() % 1000000000000000u) / std::pow(10.0, scale);
    if (i % 3 == 0) x = -x;
    if (i % 7 == 0) x = std::nextafter(x, 1e300);
    if (x == std::floor(x)) continue;  // integers write as integers
    ASSERT_EQ(written(JsonValue::make_number(x)), fewest(x)) << std::hexfloat << x;
  }
  for (const double x : {1e-4, 9.9999e-5, 0.0001234, 999999999999999.9, 1e15 - 0.5, 0.065, 25.5, 2.675, 1.0 / 3}) {
    EXPECT_EQ(written(JsonValue::make_number(x)), fewest(x)) << std::hexfloat << x;
  }
}

TEST(JsonValue, MembersStayInByteOrderThroughEdits) {
  JsonValue value = JsonValue::make_object();
  for (const char* key : {"b", "\xC3\xA9", "a", "B", "ab"}) value.members[key] = JsonValue::make_string(key);
  value.members["a"] = JsonValue::make_bool(true);
  EXPECT_EQ(value.members.erase("B"), 1u);
  EXPECT_EQ(value.members.erase("missing"), 0u);
  EXPECT_FALSE(value.members.try_emplace("b").second);
  EXPECT_EQ(written(value), "{\"a\":true,\"ab\":\"ab\",\"b\":\"b\",\"\xC3\xA9\":\"\xC3\xA9\"}");
  EXPECT_EQ(value.members.rbegin()->first, "\xC3\xA9");
  EXPECT_EQ(value.get_string("ab", ""), "ab");
  EXPECT_TRUE(value.members.contains("b"));
}

TEST(JsonWrite, AppendsToExistingText) {
  std::string out = "x=";
  for (int i = 0; i < 1000; ++i) write_json(JsonValue::make_bool(i % 2), out);
  EXPECT_EQ(out.size(), 2u + 500 * 4 + 500 * 5);
  EXPECT_EQ(out.substr(0, 11), "x=falsetrue");
}

TEST(JsonQuote, EscapesOnlyWhatJsonRequires) {
  EXPECT_EQ(json_quote("A\x01\"\xC3\xA9"), "\"A\\u0001\\\"\xC3\xA9\"");
  EXPECT_EQ(json_quote(""), "\"\"");
  EXPECT_EQ(json_quote("\b\t\n\f\r\x1F\\/\x7F\xE2\x80\xA8"), "\"\\b\\t\\n\\f\\r\\u001f\\\\/\x7F\xE2\x80\xA8\"");
  EXPECT_EQ(json_quote(std::string_view("\0", 1)), "\"\\u0000\"");
}

TEST(JsonQuote, ParsesBackToTheSameBytes) {
  // Plain runs, backslash runs and quotes at every offset around the 16- and
  // 64-byte scan steps, with a second string after the first so a missed
  // closing quote shows.
  const char alphabet[] = {'a', 'b', '\\', '\\', '"', '\n', '\x01', '\x1F', '\xC3', '\xA9', '/', 'u'};
  std::mt19937 random(3);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(random() % 300, '\0');
    const unsigned plain_odds = 1 + random() % 40;
    for (char& c : bytes) c = random() % plain_odds ? 'x' : alphabet[random() % sizeof alphabet];
    const std::string quoted = json_quote(bytes);
    JsonValue value;
    ASSERT_TRUE(parse_json("[" + quoted + "," + quoted + "]", value)) << quoted;
    ASSERT_EQ(value.items.size(), 2u);
    ASSERT_EQ(value.items[1].text, bytes);
    ASSERT_EQ(written(value.items[0]), quoted);
  }
}

TEST(Base64, DecodesLeniently) {
  const struct { std::string_view in; std::vector<unsigned char> out; } cases[] = {
      {"aGVs bG8=", {'h', 'e', 'l', 'l', 'o'}},
      {"-_8", {0xFB, 0xFF}},
      {"+/8=", {0xFB, 0xFF}},
      {"====", {}},
      {"", {}},
      {"QQ", {'A'}},
      {"Q", {}},
      {"QUJD\r\nREVG", {'A', 'B', 'C', 'D', 'E', 'F'}},
      {"QU=JD", {'A'}},
      {"*Q!U\xFF" "JD", {'A', 'B', 'C'}},
  };
  for (const auto& c : cases) EXPECT_EQ(decode_base64(c.in), c.out) << c.in;
}

TEST(Base64, EncodesAndRoundTrips) {
  const struct { std::string_view in, out; } cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encode_base64(reinterpret_cast<const unsigned char*>(c.in.data()), c.in.size()), c.out);
  }
  // Every letter, at every offset into the steps a fast path takes.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::string prefix; prefix.size() < 64; prefix += "AAAA") {
    EXPECT_EQ(encode_base64(decode_base64(prefix + alphabet + alphabet)), prefix + alphabet + alphabet);
  }
  std::mt19937 random(5);
  for (std::size_t n = 0; n < 300; ++n) {
    std::vector<unsigned char> bytes(n);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    EXPECT_EQ(decode_base64(encode_base64(bytes)), bytes);
  }
  std::vector<unsigned char> large(100000);
  for (auto& b : large) b = static_cast<unsigned char>(random());
  std::string appended = "data:";
  append_base64(large.data(), large.size(), appended);
  EXPECT_EQ(appended, "data:" + encode_base64(large));
  EXPECT_EQ(decode_base64(appended.substr(5)), large);
}

TEST(JsonValue, AccessorsFallBackOnMissingOrMistypedMembers) {
  JsonValue value;
  ASSERT_TRUE(parse_json(R"({"n":5,"s":"5","b":true,"a":[1],"o":{}})", value));
  EXPECT_EQ(value.get_number("n", 0), 5);
  EXPECT_EQ(value.get_number("s", -1), -1);
  EXPECT_EQ(value.get_string("s", "d"), "5");
  EXPECT_EQ(value.get_string("n", "d"), "d");
  EXPECT_EQ(value.get_bool("b", false), true);
  EXPECT_EQ(value.get_bool("n", false), false);
  EXPECT_EQ(value.get_bool("missing", true), true);
  EXPECT_EQ(value.find("a")->as_array().size(), 1u);
  EXPECT_EQ(value.find("missing"), nullptr);
  EXPECT_EQ(value.find("n")->find("n"), nullptr);
  EXPECT_TRUE(value.find("n")->as_array().empty());
  EXPECT_TRUE(value.find("a")->as_object().empty());
  EXPECT_TRUE(value.find("a")->as_string().empty());
  EXPECT_EQ(value.as_object().size(), 5u);
  EXPECT_EQ(JsonValue().get_string("x", "d"), "d");
}

TEST(JsonValue, MovesLeaveAnEmptyNullAndCopiesAreDeep) {
  JsonValue value;
  ASSERT_TRUE(parse_json(R"([{"k":["deep"]},"s"])", value));
  JsonValue copy = value;
  JsonValue moved = std::move(value);
  EXPECT_TRUE(value.is_null());
  EXPECT_TRUE(value.items.empty());
  EXPECT_EQ(written(moved), written(copy));
  copy.items[0].members["k"].items[0].text = "changed";
  EXPECT_EQ(written(moved), R"([{"k":["deep"]},"s"])");

  JsonValue string = JsonValue::make_string("text");
  JsonValue target = JsonValue::make_number(1);
  target = std::move(string);
  EXPECT_EQ(target.as_string(), "text");
  EXPECT_TRUE(string.is_null());
  EXPECT_TRUE(string.text.empty());

  JsonValue& self = moved;
  moved = std::move(self);
  EXPECT_EQ(written(moved), R"([{"k":["deep"]},"s"])");
  // Taking over one's own child releases the rest of the tree safely.
  moved = std::move(moved.items[0]);
  EXPECT_EQ(written(moved), R"({"k":["deep"]})");
  // The same by copy: the subtree is copied out before the tree is replaced.
  copy = copy.items[0];
  EXPECT_EQ(written(copy), R"({"k":["changed"]})");
}

}  // namespace
}  // namespace vesk
