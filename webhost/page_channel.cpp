#include "webhost/page_channel.h"

#include "core/json.h"

namespace vesk {
namespace {

constexpr std::string_view kSetMarkdownCall = "window.vesk && window.vesk.setMarkdown(";
constexpr std::string_view kMessageHead = R"({"__vesk":"setMarkdown","text":)";

std::size_t sequence_length(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// An upper bound of what json_quote makes of one byte.
std::size_t escaped_size(unsigned char byte) {
  if (byte == '"' || byte == '\\') return 2;
  if (byte < 0x20) return 6;
  return 1;
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
  return {MarkdownRoute::Chunks, {}};
}

std::vector<std::string_view> split_for_injection(std::string_view text, std::size_t limit) {
  std::vector<std::string_view> chunks;
  std::size_t start = 0;
  std::size_t escaped = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t length = sequence_length(static_cast<unsigned char>(text[at]));
    // A sequence cut short by the end of the text counts as a single byte.
    if (length > text.size() - at) length = 1;
    std::size_t cost = 0;
    for (std::size_t i = 0; i < length; ++i) cost += escaped_size(static_cast<unsigned char>(text[at + i]));
    if (at > start && escaped + cost > limit) {
      chunks.push_back(text.substr(start, at - start));
      start = at;
      escaped = 0;
    }
    escaped += cost;
    at += length;
  }
  if (at > start) chunks.push_back(text.substr(start, at - start));
  return chunks;
}

std::vector<std::string> chunk_injection_scripts(std::string_view text) {
  const std::vector<std::string_view> chunks = split_for_injection(text);
  std::vector<std::string> scripts;
  scripts.reserve(chunks.size() + 2);
  scripts.emplace_back("window.__veskInject=[];");
  for (std::string_view chunk : chunks) {
    std::string script = "window.__veskInject.push(";
    script.reserve(script.size() + chunk.size() + chunk.size() / 8 + 4);
    append_json_quoted(chunk, script);
    script += ");";
    scripts.push_back(std::move(script));
  }
  scripts.emplace_back(
      "(function(){var t=(window.__veskInject||[]).join('');window.__veskInject=[];"
      "window.vesk&&window.vesk.setMarkdown(t);})();");
  return scripts;
}

bool message_from_current_page(std::string_view source, std::int32_t generation) {
  const std::size_t hash = source.find('#');
  if (hash == std::string_view::npos) return true;
  return source.substr(hash + 1) == "g" + std::to_string(generation);
}

}  // namespace vesk
