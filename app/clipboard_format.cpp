#include "app/clipboard_format.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace vesk::win {
namespace {

std::uint32_t read_u32(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void append_u32(std::vector<unsigned char>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<unsigned char>(value >> shift));
  }
}

// Bytes of colour table and colour masks between the header and the pixels.
std::uint64_t bytes_before_pixels(const DibInfo& info) {
  std::uint64_t entries = info.colours_used;
  // A palette bitmap without a count has a full palette; deeper bitmaps may
  // still carry an optional table when they give a count.
  if (info.bit_count >= 1 && info.bit_count <= 8 && entries == 0) entries = 1u << info.bit_count;
  std::uint64_t extra = entries * 4;
  // Only the 40-byte header is followed by its three masks; the larger
  // headers hold them inside, and counting them twice shifts every pixel.
  if (info.compression == kBiBitfields && info.header_size == kDibInfoHeaderLength) extra += 12;
  return extra;
}

// A real alpha channel is one that is neither all transparent nor all opaque:
// screenshots often leave the byte 0 everywhere, and must not paste invisible.
bool has_real_alpha(std::span<const unsigned char> pixels) {
  bool any_zero = false;
  bool any_full = false;
  for (std::size_t i = 3; i < pixels.size(); i += 4) {
    const unsigned char alpha = pixels[i];
    if (alpha != 0 && alpha != 255) return true;
    (alpha == 0 ? any_zero : any_full) = true;
    if (any_zero && any_full) return true;
  }
  return false;
}

}  // namespace

std::string build_cf_html(std::string_view html) {
  const std::uint64_t start_fragment = kCfHtmlHeaderLength + kCfHtmlStartMarker.size();
  const std::uint64_t end_fragment = start_fragment + html.size();
  const std::uint64_t end_html = end_fragment + kCfHtmlEndMarker.size();
  if (end_html > std::numeric_limits<std::uint32_t>::max()) return {};

  char header[kCfHtmlHeaderLength + 1];
  const int written = std::snprintf(
      header, sizeof header,
      "Version:0.9\r\nStartHTML:%010u\r\nEndHTML:%010u\r\n"
      "StartFragment:%010u\r\nEndFragment:%010u\r\n",
      static_cast<unsigned>(kCfHtmlHeaderLength), static_cast<unsigned>(end_html),
      static_cast<unsigned>(start_fragment), static_cast<unsigned>(end_fragment));
  // Ten digits hold any 32-bit value, so the header never changes length.
  if (written != static_cast<int>(kCfHtmlHeaderLength)) return {};

  std::string out;
  out.reserve(static_cast<std::size_t>(end_html) + 1);
  out.append(header, kCfHtmlHeaderLength);
  out.append(kCfHtmlStartMarker);
  out.append(html);
  out.append(kCfHtmlEndMarker);
  out.push_back('\0');
  return out;
}

bool read_dib_info(std::span<const unsigned char> dib, DibInfo& info) {
  if (dib.size() < kDibInfoHeaderLength) return false;
  info.header_size = read_u32(dib, 0);
  info.width = static_cast<std::int32_t>(read_u32(dib, 4));
  info.height = static_cast<std::int32_t>(read_u32(dib, 8));
  info.bit_count = static_cast<std::uint16_t>(dib[14] | dib[15] << 8);
  info.compression = read_u32(dib, 16);
  info.colours_used = read_u32(dib, 32);
  return true;
}

DibPlan plan_dib(std::span<const unsigned char> dib) {
  DibPlan plan;
  DibInfo& info = plan.info;
  if (!read_dib_info(dib, info)) return plan;
  // A smaller header (the 12-byte core header) has different fields at these
  // places; a larger one than the block cannot be.
  if (info.header_size < kDibInfoHeaderLength || info.header_size > dib.size()) return plan;
  if (info.width <= 0 || info.height == 0 ||
      info.height == std::numeric_limits<std::int32_t>::min()) {
    return plan;
  }
  const std::uint64_t offset = info.header_size + bytes_before_pixels(info);
  if (offset > dib.size()) return plan;
  // The file header counts the whole file in 32 bits.
  if (dib.size() > std::numeric_limits<std::uint32_t>::max() - kBmpFileHeaderLength) return plan;

  plan.pixel_offset = static_cast<std::size_t>(offset);
  plan.width = static_cast<std::uint32_t>(info.width);
  plan.rows = static_cast<std::uint32_t>(info.height < 0 ? -info.height : info.height);

  const bool uncompressed = info.compression == kBiRgb || info.compression == kBiBitfields;
  if (uncompressed) {
    // Rows are padded to four bytes. The stride fits 64 bits (2^31 pixels of
    // at most 2^16 bits); the product with the rows might not, so divide.
    const std::uint64_t stride = (std::uint64_t{plan.width} * info.bit_count + 31) / 32 * 4;
    if (stride > (dib.size() - plan.pixel_offset) / plan.rows) return plan;
  }

  plan.route = DibRoute::BmpFile;
  if (info.bit_count == 32 && info.compression == kBiRgb) {
    const std::size_t length = std::size_t{plan.width} * 4 * plan.rows;
    if (has_real_alpha(dib.subspan(plan.pixel_offset, length))) plan.route = DibRoute::DirectAlpha;
  }
  return plan;
}

std::vector<unsigned char> top_down_bgra(std::span<const unsigned char> dib, const DibPlan& plan) {
  if (plan.route != DibRoute::DirectAlpha) return {};
  const std::size_t stride = std::size_t{plan.width} * 4;
  const auto pixels = dib.subspan(plan.pixel_offset, stride * plan.rows);
  if (plan.info.height < 0) return {pixels.begin(), pixels.end()};
  std::vector<unsigned char> out;
  out.reserve(pixels.size());
  for (std::size_t row = plan.rows; row-- > 0;) {
    const auto line = pixels.subspan(row * stride, stride);
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

std::vector<unsigned char> bmp_file_from_dib(std::span<const unsigned char> dib,
                                             const DibPlan& plan) {
  if (plan.route == DibRoute::Refuse) return {};
  std::vector<unsigned char> file;
  file.reserve(kBmpFileHeaderLength + dib.size());
  file.push_back('B');
  file.push_back('M');
  append_u32(file, static_cast<std::uint32_t>(dib.size() + kBmpFileHeaderLength));
  append_u32(file, 0);  // two reserved 16-bit fields
  append_u32(file, static_cast<std::uint32_t>(kBmpFileHeaderLength + plan.pixel_offset));
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

}  // namespace vesk::win
