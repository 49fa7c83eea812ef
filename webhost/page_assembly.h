// The editor page as one file: the web folder's HTML with the style sheet,
// the font and the script inlined, and a base element for the document's
// folder. Portable; the web host reads the files and writes the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// The three web files and the font, byte for byte (a missing file is empty).
struct EditorPageSources {
  std::string html;
  std::string css;
  std::string js;
  std::string font;
};

inline constexpr std::string_view kCssPlaceholder = "__VESK_CSS__";
inline constexpr std::string_view kJsPlaceholder = "__VESK_JS__";
// In the HTML only (replaced before the style sheet and script go in): the
// theme the page shows from its first paint, "light" or "dark".
inline constexpr std::string_view kThemePlaceholder = "__VESK_THEME__";

// VESK_INLINE_PROTO: exactly "0", "false" or "off" turns the protocol flag
// off; anything else, including an empty or missing variable, leaves it on.
bool inline_protocol_enabled(std::string_view value);

// The @font-face rule embedding the font; empty for an empty font.
std::string font_face_rule(std::string_view font);

// Replaces every occurrence of `placeholder` by `block`, searching on after
// each inserted block so that its own text is never searched.
void replace_placeholders(std::string& html, std::string_view placeholder, std::string_view block);

// Quote, ampersand and angle brackets as entities; every other byte as is.
std::string escape_html_attribute(std::string_view text);

// The whole page, or nothing when one of the three web files is empty.
// `folder_url` is the file URL of the document folder; empty gives no base
// element, as does an HTML without "</head>". `theme` is "dark" or anything
// else for light.
std::optional<std::string> assemble_editor_page(const EditorPageSources& sources,
                                                bool inline_protocol,
                                                std::string_view folder_url,
                                                std::string_view theme = "light");

// The page file inside the page folder of its process.
inline constexpr std::string_view kEditorPageFileName = "page.html";

// The page folder of one process, "<pid>-<start time in 16 hex digits>", and
// back: the start time tells a reused process identifier apart.
std::string editor_page_folder_name(std::uint32_t process_id, std::uint64_t start_time);
bool parse_editor_page_folder_name(std::string_view name, std::uint32_t& process_id, std::uint64_t& start_time);

// The page URL carries the load's generation, which the bridge checks, in a
// query as well as in the fragment: a new fragment alone would only scroll the
// page on screen, which then never loads again. We cannot tell which page is
// on screen (a load still under way may be replaced by the next), so every
// load gets the query.
std::string page_url_with_generation(std::string_view file_url, std::int32_t generation);

}  // namespace vesk
