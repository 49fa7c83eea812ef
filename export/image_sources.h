// Which parts of exported HTML name an image the reader sees: the src and the
// srcset candidates of <img>, and the href of SVG <image>. Everything else
// (data-* attributes, text, comments, <style> and <script> contents) is never
// read as a source, so a document cannot smuggle a file into its export by
// naming it where nothing shows it. Also the check that a file's bytes are an
// image of a type the page shows. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// One source inside a tag: `value_begin`..`value_end` is the address as
// written (entities not yet decoded), `tag_begin`..`tag_end` the whole tag.
// `primary` marks the source whose loss loses the whole image (img src,
// image href), as opposed to one srcset candidate among others.
struct ImageSourceSpan {
  std::size_t tag_begin = 0, tag_end = 0;
  std::size_t value_begin = 0, value_end = 0;
  bool primary = true;
};

// Every image source of `html`, in document order. Only lower-case tag and
// attribute names with double-quoted values count: that is how a browser
// serialises a DOM, which is what the page sends.
std::vector<ImageSourceSpan> find_image_sources(std::string_view html);

// An attribute value with the entities a serialiser writes (&amp; &quot;
// &lt; &gt; &nbsp; and numeric ones) turned back into their characters.
std::string decode_attribute_value(std::string_view value);

// The MIME type of an image judged by its first bytes (PNG, JPEG, GIF, WebP,
// BMP, ICO, AVIF, SVG), or empty when the bytes are none of these.
std::string_view image_mime_for_bytes(const unsigned char* data, std::size_t size);

// The largest image file an export embeds.
inline constexpr std::size_t kMaxInlineImageBytes = 64u << 20;

}  // namespace vesk
