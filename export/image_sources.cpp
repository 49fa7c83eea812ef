#include "export/image_sources.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/ascii.h"

namespace vesk {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Elements whose contents are text to the parser, or never shown: an "<img"
// inside them is no image.
constexpr std::string_view kOpaque[] = {"script", "style",   "textarea", "title",     "xmp",     "iframe",
                                        "noembed", "noframes", "noscript", "plaintext", "template"};

bool is_opaque(std::string_view name) {
  for (std::string_view opaque : kOpaque) {
    if (name == opaque) return true;
  }
  return false;
}

// Where "</name" (any case) begins at or after `from`, or the end of `html`.
std::size_t find_end_tag(std::string_view html, std::size_t from, std::string_view name) {
  for (std::size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2)) {
    if (html.size() - at - 2 >= name.size() && ascii_lower(html.substr(at + 2, name.size())) == name) return at;
  }
  return html.size();
}

struct Attribute {
  std::string_view name;
  std::size_t value_begin = 0, value_end = 0;
  bool double_quoted = false;
};

// The candidates' addresses of a srcset value lying at begin..end of `html`.
void add_srcset_candidates(std::string_view html, std::size_t begin, std::size_t end, std::size_t tag_begin,
                           std::size_t tag_end, std::vector<ImageSourceSpan>& out) {
  std::size_t at = begin;
  while (at < end) {
    while (at < end && (is_space(html[at]) || html[at] == ',')) ++at;
    if (at >= end) break;
    const std::size_t url_begin = at;
    while (at < end && !is_space(html[at])) ++at;
    std::size_t url_end = at;
    bool ended_by_comma = false;
    while (url_end > url_begin && html[url_end - 1] == ',') {
      --url_end;
      ended_by_comma = true;
    }
    if (url_end > url_begin) out.push_back({tag_begin, tag_end, url_begin, url_end, false});
    if (ended_by_comma) continue;
    // Descriptors ("2x", "640w") run to the next comma outside parentheses.
    for (int depth = 0; at < end; ++at) {
      if (html[at] == '(') {
        ++depth;
      } else if (html[at] == ')' && depth > 0) {
        --depth;
      } else if (html[at] == ',' && depth == 0) {
        break;
      }
    }
  }
}

void append_utf8(std::uint32_t code, std::string& out) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool starts_with(const unsigned char* data, std::size_t size, std::string_view magic, std::size_t at = 0) {
  return size >= at + magic.size() && std::memcmp(data + at, magic.data(), magic.size()) == 0;
}

std::uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// "BM" alone begins plenty of text; the header's reserved zeros and a known
// info-header size make it a bitmap.
bool is_bmp(const unsigned char* data, std::size_t size) {
  if (size < 26 || !starts_with(data, size, "BM")) return false;
  if (le32(data + 6) != 0) return false;
  const std::uint32_t info = le32(data + 14);
  return info == 12 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124;
}

bool is_ico(const unsigned char* data, std::size_t size) {
  if (size < 22 || !starts_with(data, size, std::string_view("\0\0\1\0", 4))) return false;
  const unsigned count = data[4] | (data[5] << 8);
  return count > 0 && data[6 + 3] == 0;  // first entry's reserved byte
}

// An ISO media file whose brands name AVIF.
bool is_avif(const unsigned char* data, std::size_t size) {
  if (size < 16 || !starts_with(data, size, "ftyp", 4)) return false;
  const std::size_t box = (static_cast<std::size_t>(data[0]) << 24) | (data[1] << 16) | (data[2] << 8) | data[3];
  const std::size_t end = box < size ? box : size;
  for (std::size_t at = 8; at + 4 <= end; at += 4) {
    if (at == 12) continue;  // minor version
    if (starts_with(data, size, "avif", at) || starts_with(data, size, "avis", at)) return true;
  }
  return false;
}

// Markup whose first element is <svg>, after an optional byte-order mark,
// XML declaration, comments and doctype.
bool is_svg(const unsigned char* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size < 4096 ? size : 4096);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  for (;;) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    std::string_view close;
    if (text.starts_with("<?")) {
      close = "?>";
    } else if (text.starts_with("<!--")) {
      close = "-->";
    } else if (text.starts_with("<!")) {
      close = ">";
    } else {
      break;
    }
    const std::size_t end = text.find(close, 2);
    if (end == std::string_view::npos) return false;
    text.remove_prefix(end + close.size());
  }
  return text.size() > 4 && text.starts_with("<svg") && (is_space(text[4]) || text[4] == '>' || text[4] == '/');
}

}  // namespace

std::vector<ImageSourceSpan> find_image_sources(std::string_view html) {
  std::vector<ImageSourceSpan> spans;
  const std::size_t n = html.size();
  std::vector<Attribute> attributes;
  for (std::size_t at = 0; at < n;) {
    const std::size_t open = html.find('<', at);
    if (open == std::string_view::npos || open + 1 >= n) break;
    if (html.substr(open, 4) == "<!--") {
      const std::size_t end = html.find("-->", open + 4);
      if (end == std::string_view::npos) break;
      at = end + 3;
      continue;
    }
    if (!is_alpha(html[open + 1])) {
      // End tags, doctypes and processing instructions hold no sources.
      if (html[open + 1] == '/' || html[open + 1] == '!' || html[open + 1] == '?') {
        const std::size_t end = html.find('>', open + 1);
        if (end == std::string_view::npos) break;
        at = end + 1;
      } else {
        at = open + 1;
      }
      continue;
    }
    std::size_t p = open + 1;
    while (p < n && !is_space(html[p]) && html[p] != '/' && html[p] != '>') ++p;
    const std::string_view name = html.substr(open + 1, p - open - 1);

    attributes.clear();
    bool closed = false;
    while (p < n) {
      while (p < n && (is_space(html[p]) || html[p] == '/')) ++p;
      if (p >= n) break;
      if (html[p] == '>') {
        closed = true;
        break;
      }
      const std::size_t name_begin = p++;
      while (p < n && !is_space(html[p]) && html[p] != '/' && html[p] != '>' && html[p] != '=') ++p;
      Attribute attribute{html.substr(name_begin, p - name_begin)};
      std::size_t q = p;
      while (q < n && is_space(html[q])) ++q;
      if (q < n && html[q] == '=') {
        ++q;
        while (q < n && is_space(html[q])) ++q;
        if (q < n && (html[q] == '"' || html[q] == '\'')) {
          const std::size_t close = html.find(html[q], q + 1);
          if (close == std::string_view::npos) {
            p = n;
            break;
          }
          attribute.value_begin = q + 1;
          attribute.value_end = close;
          attribute.double_quoted = html[q] == '"';
          p = close + 1;
        } else {
          attribute.value_begin = q;
          while (q < n && !is_space(html[q]) && html[q] != '>') ++q;
          attribute.value_end = q;
          p = q;
        }
      }
      attributes.push_back(attribute);
    }
    if (!closed) break;
    const std::size_t tag_end = p + 1;

    // The first of a repeated attribute is the one the parser keeps.
    auto first = [&](std::string_view wanted) -> const Attribute* {
      for (const Attribute& attribute : attributes) {
        if (attribute.name == wanted) return attribute.double_quoted ? &attribute : nullptr;
      }
      return nullptr;
    };
    const std::size_t tag_spans = spans.size();
    if (name == "img") {
      const Attribute* src = first("src");
      if (src && src->value_end > src->value_begin) {
        spans.push_back({open, tag_end, src->value_begin, src->value_end, true});
      }
      if (const Attribute* srcset = first("srcset")) {
        add_srcset_candidates(html, srcset->value_begin, srcset->value_end, open, tag_end, spans);
      }
    } else if (name == "image") {
      const Attribute* href = first("href");
      if (!href) href = first("xlink:href");
      if (href && href->value_end > href->value_begin) {
        spans.push_back({open, tag_end, href->value_begin, href->value_end, true});
      }
    }
    // src and srcset may come in either order; replacements go front to back.
    std::sort(spans.begin() + static_cast<std::ptrdiff_t>(tag_spans), spans.end(),
              [](const ImageSourceSpan& a, const ImageSourceSpan& b) { return a.value_begin < b.value_begin; });
    at = is_opaque(name) ? find_end_tag(html, tag_end, name) : tag_end;
  }
  return spans;
}

std::string decode_attribute_value(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::size_t semi = value[i] == '&' ? value.find(';', i + 1) : std::string_view::npos;
    if (semi == std::string_view::npos || semi - i > 10) {
      out += value[i];
      continue;
    }
    const std::string_view entity = value.substr(i + 1, semi - i - 1);
    if (entity == "amp") {
      out += '&';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "nbsp") {
      out += "\xC2\xA0";
    } else if (entity.size() >= 2 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      std::uint32_t code = 0;
      bool valid = entity.size() > (hex ? 2u : 1u);
      for (std::size_t k = hex ? 2 : 1; k < entity.size() && valid; ++k) {
        const char c = entity[k];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') digit = (c | 0x20) - 'a' + 10;
        valid = digit >= 0 && code < 0x110000;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      }
      if (!valid) {
        out += value[i];
        continue;
      }
      append_utf8(code, out);
    } else {
      out += value[i];
      continue;
    }
    i = semi;
  }
  return out;
}

std::string_view image_mime_for_bytes(const unsigned char* data, std::size_t size) {
  if (starts_with(data, size, "\x89PNG\r\n\x1a\n")) return "image/png";
  if (starts_with(data, size, "\xFF\xD8\xFF")) return "image/jpeg";
  if (starts_with(data, size, "GIF87a") || starts_with(data, size, "GIF89a")) return "image/gif";
  if (starts_with(data, size, "RIFF") && starts_with(data, size, "WEBP", 8)) return "image/webp";
  if (is_bmp(data, size)) return "image/bmp";
  if (is_ico(data, size)) return "image/x-icon";
  if (is_avif(data, size)) return "image/avif";
  if (is_svg(data, size)) return "image/svg+xml";
  return {};
}

}  // namespace vesk
