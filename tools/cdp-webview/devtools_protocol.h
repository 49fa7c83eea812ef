// The Chrome DevTools Protocol messages the control sends and reads: command
// text, responses and events, the discovery answer, and the parameters of
// the few commands that carry more than a word or two.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/json.h"

namespace vesk::cdp {

// {"id":<id>,"method":"<method>","sessionId":"<session>","params":<params>};
// no session key when `session_id` is empty, "{}" for empty params.
std::string cdp_command(std::int64_t id, std::string_view method, std::string_view params_json,
                        std::string_view session_id = {});

struct CdpMessage {
  std::int64_t id = 0;     // responses; 0 for events
  std::string method;      // events
  std::string session_id;  // empty for the browser session
  JsonValue body;          // a response's result or an event's params
  bool failed = false;     // a response carrying an error
  std::string error;       // its message
};

// False for text that is not a CDP message.
bool parse_cdp_message(std::string_view text, CdpMessage& out);

// What /json/version says about the browser and where its socket is.
struct BrowserEndpoint {
  std::string browser;  // "Chrome/124.0.6367.60"
  std::string host_and_port;
  std::string path;     // "/devtools/browser/<id>"
};
bool parse_browser_endpoint(std::string_view json, BrowserEndpoint& out);

// Runtime.evaluate of a script whose value nobody waits for.
std::string evaluate_params(std::string_view expression);
// Runtime.evaluate of an expression whose value is the script's completion
// value as JSON text, "null" when it is undefined, not serialisable or the
// script threw (what callers of ExecuteScript expect).
std::string evaluate_for_json_params(std::string_view script);

// Inches, as the print settings hold them; defaults are the control's own.
struct PrintOptions {
  double page_width = 8.5;
  double page_height = 11.0;
  double margin_top = 0.4;
  double margin_bottom = 0.4;
  double margin_left = 0.4;
  double margin_right = 0.4;
  double scale = 1.0;
  bool backgrounds = false;
  bool header_and_footer = false;
  bool landscape = false;
};
std::string print_to_pdf_params(const PrintOptions& options);

}  // namespace vesk::cdp
