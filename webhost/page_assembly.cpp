#include "webhost/page_assembly.h"

#include "core/ascii.h"
#include "core/json.h"

namespace vesk {

bool inline_protocol_enabled(std::string_view value) {
  return value != "0" && value != "false" && value != "off";
}

std::string font_face_rule(std::string_view font) {
  if (font.empty()) return {};
  std::string rule = "@font-face{font-family:'JetBrains Mono';src:url(data:font/ttf;base64,";
  rule += encode_base64(reinterpret_cast<const unsigned char*>(font.data()), font.size());
  rule += ") format('truetype');font-weight:300;font-style:normal;font-display:block;}";
  return rule;
}

void replace_placeholders(std::string& html, std::string_view placeholder, std::string_view block) {
  if (placeholder.empty()) return;
  std::size_t at = html.find(placeholder);
  if (at == std::string::npos) return;
  // One pass into a new string: the script block is megabytes, and
  // std::string::replace in place would move the tail once per occurrence.
  std::string out;
  out.reserve(html.size() + block.size());
  std::size_t from = 0;
  while (at != std::string::npos) {
    out.append(html, from, at - from);
    out.append(block);
    from = at + placeholder.size();
    at = html.find(placeholder, from);
  }
  out.append(html, from, std::string::npos);
  html.swap(out);
}

std::string escape_html_attribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c; break;
    }
  }
  return out;
}

std::optional<std::string> assemble_editor_page(const EditorPageSources& sources,
                                                bool inline_protocol,
                                                std::string_view folder_url,
                                                std::string_view theme) {
  if (sources.html.empty() || sources.css.empty() || sources.js.empty()) return std::nullopt;

  std::string html = sources.html;
  // The theme goes into the template first: the style sheet and the script
  // are never searched for it (the script's text is hashed by the page).
  replace_placeholders(html, kThemePlaceholder, theme == "dark" ? "dark" : "light");
  replace_placeholders(html, kCssPlaceholder, font_face_rule(sources.font) + sources.css);

  std::string script = inline_protocol ? "window.VESK_INLINE_PROTO=true;"
                                       : "window.VESK_INLINE_PROTO=false;";
  script += sources.js;
  replace_placeholders(html, kJsPlaceholder, script);

  if (!folder_url.empty()) {
    std::string url(folder_url);
    if (url.back() != '/') url += '/';
    const std::string escaped = escape_html_attribute(url);
    const std::size_t head_end = html.find("</head>");
    if (head_end != std::string::npos) {
      html.insert(head_end, "<base href=\"" + escaped + "\">");
    }
  }
  return html;
}

std::string editor_page_folder_name(std::uint32_t process_id, std::uint64_t start_time) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = std::to_string(process_id) + "-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(start_time >> shift) & 0xF];
  return name;
}

bool parse_editor_page_folder_name(std::string_view name, std::uint32_t& process_id, std::uint64_t& start_time) {
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 10 || name.size() - dash - 1 != 16) return false;
  std::uint64_t id = 0;
  for (const char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return false;
    id = id * 10 + static_cast<unsigned>(c - '0');
  }
  if (id > 0xFFFFFFFFu) return false;
  std::uint64_t time = 0;
  for (const char c : name.substr(dash + 1)) {
    const int digit = hex_digit_value(c);
    if (digit < 0 || (c >= 'A' && c <= 'F')) return false;
    time = (time << 4) | static_cast<unsigned>(digit);
  }
  process_id = static_cast<std::uint32_t>(id);
  start_time = time;
  return true;
}

std::string page_url_with_generation(std::string_view file_url, std::int32_t generation) {
  const std::string mark = "g" + std::to_string(generation);
  return std::string(file_url) + "?" + mark + "#" + mark;
}

}  // namespace vesk
