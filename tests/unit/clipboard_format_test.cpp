// The clipboard's byte layouts: the CF_HTML document we write and the way a
// CF_DIB block is read, including blocks whose headers lie.
#include "app/clipboard_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

namespace vesk::win {
namespace {

std::uint64_t header_number(const std::string& cf_html, const std::string& name) {
  const std::size_t at = cf_html.find("\r\n" + name + ":");
  if (at == std::string::npos || at > kCfHtmlHeaderLength) return 0;
  return std::strtoull(cf_html.c_str() + at + name.size() + 3, nullptr, 10);
}

TEST(CfHtml, EightByteFragmentGivesTheDocumentedHeader) {
  EXPECT_EQ(build_cf_html("<b>x</b>"),
            std::string("Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000151\r\n"
                        "StartFragment:0000000125\r\nEndFragment:0000000133\r\n"
                        "<!--StartFragment--><b>x</b><!--EndFragment-->\0",
                        152));
}

TEST(CfHtml, OffsetsCountBytesOfMultiByteText) {
  const std::string fragments[] = {
      "", "<p>a</p>", "<p>中文</p>", "<p>😀 é</p>", "<ul><li>\xE2\x80\x94</li></ul>\r\n",
  };
  for (const std::string& html : fragments) {
    const std::string doc = build_cf_html(html);
    ASSERT_FALSE(doc.empty()) << html;
    const std::uint64_t start_fragment = header_number(doc, "StartFragment");
    const std::uint64_t end_fragment = header_number(doc, "EndFragment");
    const std::uint64_t end_html = header_number(doc, "EndHTML");
    EXPECT_EQ(header_number(doc, "StartHTML"), 105u);
    EXPECT_EQ(start_fragment, 125u);
    EXPECT_EQ(end_fragment, 125u + html.size()) << html;
    EXPECT_EQ(end_html, end_fragment + 18) << html;
    // The terminating NUL follows EndHTML and is counted in no offset.
    ASSERT_EQ(doc.size(), end_html + 1) << html;
    EXPECT_EQ(doc.back(), '\0');
    EXPECT_EQ(doc.substr(105, 20), kCfHtmlStartMarker);
    EXPECT_EQ(doc.substr(start_fragment, end_fragment - start_fragment), html);
    EXPECT_EQ(doc.substr(end_fragment, 18), kCfHtmlEndMarker);
  }
}

// A DIB assembled field by field, so a test can make any of them lie.
struct DibSpec {
  std::uint32_t header_size = 40;
  std::int32_t width = 2;
  std::int32_t height = 2;
  std::uint16_t bits = 24;
  std::uint32_t compression = kBiRgb;
  std::uint32_t colours_used = 0;
  std::size_t tail = 16;  // bytes after the 40 header bytes
};

std::vector<unsigned char> make_dib(const DibSpec& s, unsigned char fill = 0) {
  std::vector<unsigned char> dib(40 + s.tail, fill);
  const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) dib[at + i] = static_cast<unsigned char>(value >> (8 * i));
  };
  put(0, s.header_size, 4);
  put(4, static_cast<std::uint32_t>(s.width), 4);
  put(8, static_cast<std::uint32_t>(s.height), 4);
  put(12, 1, 2);
  put(14, s.bits, 2);
  put(16, s.compression, 4);
  std::fill(dib.begin() + 20, dib.begin() + 40, 0);
  put(32, s.colours_used, 4);
  return dib;
}

TEST(Dib, RouteAndPixelOffset) {
  constexpr auto kFile = DibRoute::BmpFile;
  constexpr auto kDirect = DibRoute::DirectAlpha;
  constexpr auto kRefuse = DibRoute::Refuse;
  struct Case {
    const char* name;
    DibSpec spec;
    unsigned char fill;
    DibRoute route;
    std::size_t pixel_offset;
  };
  const Case cases[] = {
      {"24-bit, padded rows", {.width = 3, .tail = 24}, 0, kFile, 40},
      {"24-bit, one byte short", {.width = 3, .tail = 23}, 0, kRefuse, 0},
      {"16-bit rows pad to 8", {.width = 3, .height = -2, .bits = 16, .tail = 16}, 0, kFile, 40},
      {"32-bit alpha 0x80", {.bits = 32}, 0x80, kDirect, 40},
      {"32-bit alpha all 0", {.bits = 32}, 0x00, kFile, 40},
      {"32-bit alpha all 255", {.bits = 32}, 0xFF, kFile, 40},
      {"32-bit optional table", {.bits = 32, .colours_used = 2, .tail = 24}, 0x80, kDirect, 48},
      {"8-bit full palette", {.bits = 8, .tail = 1024 + 8}, 0, kFile, 40 + 1024},
      {"8-bit two colours", {.bits = 8, .colours_used = 2, .tail = 16}, 0, kFile, 48},
      {"1-bit", {.width = 33, .bits = 1, .tail = 8 + 16}, 0, kFile, 48},
      {"bitfields after 40 bytes",
       {.bits = 32, .compression = kBiBitfields, .tail = 28}, 0x80, kFile, 52},
      {"bitfields inside V5 header",
       {.header_size = 124, .bits = 32, .compression = kBiBitfields, .tail = 100}, 0, kFile, 124},
      {"RLE8 only needs its palette",
       {.bits = 8, .compression = 1, .colours_used = 1, .tail = 4}, 0, kFile, 44},
      // Headers that lie: none of these may be read past their end.
      {"core header", {.header_size = 12}, 0, kRefuse, 0},
      {"header longer than block", {.header_size = 4096}, 0, kRefuse, 0},
      {"palette beyond block", {.bits = 8, .colours_used = 0xFFFFFFFF}, 0, kRefuse, 0},
      {"negative width", {.width = -2}, 0, kRefuse, 0},
      {"zero height", {.height = 0}, 0, kRefuse, 0},
      {"height INT_MIN", {.height = INT_MIN, .bits = 32}, 0x80, kRefuse, 0},
      {"huge 32-bit", {.width = INT_MAX, .height = INT_MAX, .bits = 32}, 0x80, kRefuse, 0},
      {"huge bit count", {.width = INT_MAX, .height = -INT_MAX, .bits = 0xFFFF}, 0, kRefuse, 0},
  };
  for (const Case& c : cases) {
    const auto dib = make_dib(c.spec, c.fill);
    const DibPlan plan = plan_dib(dib);
    EXPECT_EQ(plan.route, c.route) << c.name;
    if (c.route != DibRoute::Refuse) {
      EXPECT_EQ(plan.pixel_offset, c.pixel_offset) << c.name;
    }
  }
}

}  // namespace
}  // namespace vesk::win
