// Byte layouts of the clipboard: the CF_HTML document we write, and the
// reading of a CF_DIB block we are handed. Portable; the Windows side only
// moves these bytes between the clipboard and the imaging component.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::win {

inline constexpr std::size_t kCfHtmlHeaderLength = 105;
inline constexpr std::string_view kCfHtmlStartMarker = "<!--StartFragment-->";
inline constexpr std::string_view kCfHtmlEndMarker = "<!--EndFragment-->";

// Header, start marker, the HTML unchanged, end marker and one NUL (counted
// in no offset). Offsets are in bytes. Empty when an offset would not fit the
// header's 32-bit fields.
std::string build_cf_html(std::string_view html);

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiBitfields = 3;
inline constexpr std::size_t kDibInfoHeaderLength = 40;
inline constexpr std::size_t kBmpFileHeaderLength = 14;

// The BITMAPINFOHEADER fields the conversion looks at.
struct DibInfo {
  std::uint32_t header_size = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: rows stored bottom-up
  std::uint16_t bit_count = 0;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
};

// False when the block is shorter than a BITMAPINFOHEADER.
bool read_dib_info(std::span<const unsigned char> dib, DibInfo& info);

enum class DibRoute {
  Refuse,       // not a bitmap we can read safely
  DirectAlpha,  // 32-bit pixels with a real alpha channel: handed over as BGRA
  BmpFile,      // everything else: wrapped as a BMP file for the decoder
};

struct DibPlan {
  DibRoute route = DibRoute::Refuse;
  DibInfo info;
  std::size_t pixel_offset = 0;  // from the start of the DIB
  std::uint32_t width = 0;
  std::uint32_t rows = 0;
};

// Every size the header claims is checked against the block, so a header that
// lies can neither send a reader past the end nor ask for a huge bitmap.
DibPlan plan_dib(std::span<const unsigned char> dib);

// For DirectAlpha: width x rows BGRA pixels, top row first.
std::vector<unsigned char> top_down_bgra(std::span<const unsigned char> dib, const DibPlan& plan);

// For BmpFile: the 14-byte file header followed by the DIB unchanged.
std::vector<unsigned char> bmp_file_from_dib(std::span<const unsigned char> dib,
                                             const DibPlan& plan);

}  // namespace vesk::win
