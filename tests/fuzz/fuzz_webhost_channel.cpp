// What the web host does with text it does not control: page messages
// (checked against the page generation) and document texts (routed to the
// page and cut into pieces). The input is read as a JSON object
// {"source":…, "generation":…, "text":…} when it is one, and as a document
// text in any case. Every route must carry the text back intact.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json.h"
#include "webhost/page_channel.h"

namespace {

void check_route(std::string_view text) {
  const vesk::MarkdownDelivery delivery = vesk::plan_markdown_delivery(text);
  if (vesk::quoted_text_of(delivery) != vesk::json_quote(text)) std::abort();
  // Each piece's script carries what quoting that piece alone gives.
  const auto scripts = vesk::chunk_injection_scripts(text, vesk::quoted_text_of(delivery));
  const auto pieces = vesk::split_for_injection(text);
  if (scripts.size() != pieces.size() + 2) std::abort();
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (scripts[i + 1] != "window.__veskInject.push(" + vesk::json_quote(pieces[i]) + ");") std::abort();
  }
  if (delivery.route == vesk::MarkdownRoute::WebMessage) {
    vesk::JsonValue message;
    if (!vesk::parse_json(delivery.payload, message) || message.get_string("text", "") != text ||
        delivery.payload.size() > vesk::kWebMessageLimit) {
      std::abort();
    }
  }
  if (delivery.route == vesk::MarkdownRoute::PageCall && delivery.payload.size() > vesk::kPageCallLimit + 64) std::abort();
}

void check_pieces(std::string_view text, std::size_t limit) {
  std::string joined;
  for (std::string_view piece : vesk::split_for_injection(text, limit)) {
    if (piece.empty()) std::abort();
    // Over the limit only when one character alone is larger.
    if (vesk::json_quote(piece).size() - 2 > limit && piece.size() > 4) std::abort();
    joined.append(piece);
  }
  if (joined != text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  vesk::JsonValue event;
  if (vesk::parse_json(input, event) && event.is_object()) {
    const double generation = event.get_number("generation", 1);
    const auto as_int = generation > -1e9 && generation < 1e9 ? static_cast<std::int32_t>(generation) : 0;
    const std::string source = event.get_string("source", "");
    const std::string page = event.get_string("page", "");
    const bool current = vesk::message_from_current_page(source, page, as_int);
    // Accepted means: the editor page, with exactly this generation's fragment.
    const std::size_t hash = source.find('#');
    const bool expected = hash != std::string::npos && source.substr(hash) == "#g" + std::to_string(as_int) &&
                          !page.empty() && vesk::page_identity(source) == vesk::page_identity(page);
    if (current != expected) std::abort();
    const std::string text = event.get_string("text", "");
    check_route(text);
    check_pieces(text, 1 + size % 97);
  }
  check_route(input);
  check_pieces(input, 1 + size % 61);
  return 0;
}
