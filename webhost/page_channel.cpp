#include "webhost/page_channel.h"

#include <array>

#include "core/ascii.h"
#include "core/json.h"
#include "core/paths.h"

namespace vesk {
namespace {

constexpr std::string_view kSetMarkdownCall = "window.vesk && window.vesk.setMarkdown(";
constexpr std::string_view kMessageHead = R"({"__vesk":"setMarkdown","text":)";
constexpr std::string_view kInjectArray = "window.__veskInject";

struct ByteTables {
  std::array<std::uint8_t, 256> sequence{};  // a character's length from its first byte
  std::array<std::uint8_t, 256> escaped{};   // an upper bound of what json_quote makes of a byte
  constexpr ByteTables() {
    for (int b = 0; b < 256; ++b) {
      sequence[b] = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
      escaped[b] = (b == '"' || b == '\\') ? 2 : b < 0x20 ? 6 : 1;
    }
  }
};
constexpr ByteTables kBytes;

// Calls `chunk(begin, end)` for each piece of the text, in order. A megabytes
// long document passes through here once, so the walk stays table-driven.
template <typename Chunk>
void for_each_chunk(std::string_view text, std::size_t limit, Chunk chunk) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t start = 0;
  std::size_t escaped = 0;
  std::size_t at = 0;
  while (at < size) {
    std::size_t length = kBytes.sequence[bytes[at]];
    // A sequence cut short by the end of the text counts as a single byte.
    if (length > size - at) length = 1;
    std::size_t cost = kBytes.escaped[bytes[at]];
    for (std::size_t i = 1; i < length; ++i) cost += kBytes.escaped[bytes[at + i]];
    if (at > start && escaped + cost > limit) {
      chunk(start, at);
      start = at;
      escaped = 0;
    }
    escaped += cost;
    at += length;
  }
  if (at > start) chunk(start, at);
}

}  // namespace

MarkdownDelivery plan_markdown_delivery(std::string_view text) {
  std::string quoted = json_quote(text);
  if (quoted.size() <= kPageCallLimit) {
    std::string script;
    script.reserve(kSetMarkdownCall.size() + quoted.size() + 2);
    script.append(kSetMarkdownCall).append(quoted).append(");");
    return {MarkdownRoute::PageCall, std::move(script)};
  }
  if (kMessageHead.size() + quoted.size() + 1 <= kWebMessageLimit) {
    std::string message;
    message.reserve(kMessageHead.size() + quoted.size() + 1);
    message.append(kMessageHead).append(quoted).append("}");
    return {MarkdownRoute::WebMessage, std::move(message)};
  }
  return {MarkdownRoute::Chunks, std::move(quoted)};
}

std::string_view quoted_text_of(const MarkdownDelivery& delivery) {
  std::string_view payload = delivery.payload;
  switch (delivery.route) {
    case MarkdownRoute::PageCall:
      return payload.substr(kSetMarkdownCall.size(), payload.size() - kSetMarkdownCall.size() - 2);
    case MarkdownRoute::WebMessage:
      return payload.substr(kMessageHead.size(), payload.size() - kMessageHead.size() - 1);
    case MarkdownRoute::Chunks:
      break;
  }
  return payload;
}

std::vector<std::string_view> split_for_injection(std::string_view text, std::size_t limit) {
  std::vector<std::string_view> chunks;
  for_each_chunk(text, limit, [&](std::size_t begin, std::size_t end) { chunks.push_back(text.substr(begin, end - begin)); });
  return chunks;
}

namespace {

// `array` = []; one push of each piece of the text; then `last`. `quoted`
// is json_quote(text).
std::vector<std::string> piece_scripts(std::string_view text, std::string_view quoted,
                                       std::string_view array, std::string last) {
  std::vector<std::string> scripts;
  scripts.push_back(std::string(array) + "=[];");
  const std::string push_head = std::string(array) + ".push(";
  // json_quote escapes byte by byte, so each piece's literal is a stretch of
  // the whole text's: copy it instead of quoting the text a second time.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t quoted_at = 1;  // past the opening quote
  for_each_chunk(text, kChunkLimit, [&](std::size_t begin, std::size_t end) {
    const std::size_t from = quoted_at;
    for (std::size_t i = begin; i < end; ++i) {
      if (kBytes.escaped[bytes[i]] == 1) {
        ++quoted_at;
      } else {
        quoted_at += quoted[quoted_at + 1] == 'u' ? 6 : 2;
      }
    }
    std::string script;
    script.reserve(push_head.size() + (quoted_at - from) + 4);
    script.append(push_head).append("\"").append(quoted.substr(from, quoted_at - from)).append("\");");
    scripts.push_back(std::move(script));
  });
  scripts.push_back(std::move(last));
  return scripts;
}

bool is_engine_name(std::string_view name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name) {
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> chunk_injection_scripts(std::string_view text, std::string_view quoted) {
  return piece_scripts(text, quoted, kInjectArray,
                       "(function(){var t=(window.__veskInject||[]).join('');window.__veskInject=[];"
                       "window.vesk&&window.vesk.setMarkdown(t);})();");
}

std::string engine_request(std::string_view json) {
  JsonValue message;
  if (!parse_json(json, message) || !message.is_object()) return {};
  if (message.get_string("type", "") != "loadEngine") return {};
  std::string name = message.get_string("name", "");
  return is_engine_name(name) ? name : std::string();
}

std::vector<std::string> engine_injection_scripts(std::string_view name, std::string_view text) {
  return piece_scripts(text, json_quote(text), "window.__veskEngine",
                       "window.vesk && window.vesk.runEngine(" + json_quote(name) + ");");
}

std::vector<std::string> chunk_injection_scripts(std::string_view text) {
  return chunk_injection_scripts(text, json_quote(text));
}

std::string page_identity(std::string_view url) {
  return ascii_lower(percent_decode(url.substr(0, url.find('#'))));
}

bool navigation_allowed(std::string_view uri, std::string_view editor_page) {
  return !editor_page.empty() && page_identity(uri) == page_identity(editor_page);
}

bool message_from_current_page(std::string_view source, std::string_view editor_page,
                               std::int32_t generation) {
  const std::size_t hash = source.find('#');
  if (hash == std::string_view::npos || !navigation_allowed(source, editor_page)) return false;
  return source.substr(hash + 1) == "g" + std::to_string(generation);
}

std::string new_window_message(std::string_view uri) {
  const std::string lower = ascii_lower(uri.substr(0, 8));
  if (!lower.starts_with("http://") && !lower.starts_with("https://")) return {};
  return R"({"type":"openLink","href":)" + json_quote(uri) + "}";
}

}  // namespace vesk
