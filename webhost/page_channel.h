// Both directions between the native side and the page, decided from text:
// how a document reaches the page's setMarkdown (one script, one web message
// or scripts carrying it in pieces) and which page messages are current.
// Portable; the web host does the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Bytes of UTF-8. The first and last bound what one executed script may
// carry; a web message is not counted against that budget.
inline constexpr std::size_t kPageCallLimit = 0x80000;     // JSON form of a document
inline constexpr std::size_t kWebMessageLimit = 0x180000;  // whole large-document message
inline constexpr std::size_t kChunkLimit = 0x80000;        // escaped size of one piece

enum class MarkdownRoute { PageCall, WebMessage, Chunks };

struct MarkdownDelivery {
  MarkdownRoute route = MarkdownRoute::PageCall;
  // The script for PageCall, the JSON message for WebMessage, the text's
  // JSON string literal for Chunks (see chunk_injection_scripts).
  std::string payload;
};

// Quotes the text once and picks the route by the sizes above.
MarkdownDelivery plan_markdown_delivery(std::string_view text);
// The text's JSON string literal inside a delivery, whatever its route.
std::string_view quoted_text_of(const MarkdownDelivery& delivery);

// Splits the text into pieces whose JSON escaping stays within `limit`
// bytes, never inside a UTF-8 sequence. An empty text gives no pieces.
std::vector<std::string_view> split_for_injection(std::string_view text,
                                                  std::size_t limit = kChunkLimit);

// The scripts that carry a text in pieces and hand it to setMarkdown once,
// to be run in this order. `quoted` must be json_quote(text), when the
// caller has it already.
std::vector<std::string> chunk_injection_scripts(std::string_view text);
std::vector<std::string> chunk_injection_scripts(std::string_view text, std::string_view quoted);

// Engines the page loads on demand (web/<name>.js): the name a page message
// {"type":"loadEngine","name":…} asks for, or "" for any other message and
// for a name that is not lower-case letters only (never a path).
std::string engine_request(std::string_view json);

// The scripts that hand an engine's text to the page: its pieces into
// window.__veskEngine, then vesk.runEngine(name), which runs it. An empty
// text (a missing file) still ends with the call, so the page stops waiting.
std::vector<std::string> engine_injection_scripts(std::string_view name, std::string_view text);

// The URL of a page without its fragment, percent-decoded and ASCII
// lower-cased: the URL we navigated to and the one the control reports then
// compare equal whatever each of them escaped.
std::string page_identity(std::string_view url);

// The editor page is the only page the control may show: a navigation
// elsewhere (a link, a script, a dropped file) is cancelled. `editor_page`
// is the URL last navigated to, with or without its fragment.
bool navigation_allowed(std::string_view uri, std::string_view editor_page);

// True when a page message comes from the editor page shown now and from its
// current load: its source is that page with exactly "#g<generation>".
// Messages of older loads, of other pages and without a source are dropped.
bool message_from_current_page(std::string_view source, std::string_view editor_page,
                               std::int32_t generation);

// The page message a request for a new window turns into: web addresses
// follow the link road a Ctrl+click takes; anything else opens nothing.
std::string new_window_message(std::string_view uri);

}  // namespace vesk
