#include "devtools_protocol.h"

#include <cmath>

namespace vesk::cdp {

std::string cdp_command(std::int64_t id, std::string_view method, std::string_view params_json,
                        std::string_view session_id) {
  std::string text = "{\"id\":" + std::to_string(id) + ",\"method\":";
  append_json_quoted(method, text);
  if (!session_id.empty()) {
    text += ",\"sessionId\":";
    append_json_quoted(session_id, text);
  }
  text += ",\"params\":";
  text.append(params_json.empty() ? std::string_view("{}") : params_json);
  text += '}';
  return text;
}

bool parse_cdp_message(std::string_view text, CdpMessage& out) {
  out = {};
  JsonValue message;
  if (!parse_json(text, message) || !message.is_object()) return false;
  out.session_id = message.get_string("sessionId", "");
  if (const JsonValue* id = message.find("id"); id && id->kind == JsonKind::Number) {
    out.id = static_cast<std::int64_t>(id->number);
    if (out.id <= 0 || static_cast<double>(out.id) != id->number) return false;
    if (const JsonValue* error = message.find("error"); error && error->is_object()) {
      out.failed = true;
      out.error = error->get_string("message", "error");
      if (out.error.empty()) out.error = "error";
    } else if (auto result = message.members.find("result"); result != message.members.end()) {
      out.body = std::move(result->second);
    }
    return true;
  }
  out.method = message.get_string("method", "");
  if (out.method.empty()) return false;
  if (auto params = message.members.find("params"); params != message.members.end()) {
    out.body = std::move(params->second);
  }
  return true;
}

bool parse_browser_endpoint(std::string_view json, BrowserEndpoint& out) {
  out = {};
  JsonValue version;
  if (!parse_json(json, version) || !version.is_object()) return false;
  out.browser = version.get_string("Browser", "");
  const std::string url = version.get_string("webSocketDebuggerUrl", "");
  constexpr std::string_view scheme = "ws://";
  if (url.compare(0, scheme.size(), scheme) != 0) return false;
  const std::size_t slash = url.find('/', scheme.size());
  if (slash == std::string::npos || slash == scheme.size()) return false;
  out.host_and_port = url.substr(scheme.size(), slash - scheme.size());
  out.path = url.substr(slash);
  return true;
}

std::string evaluate_params(std::string_view expression) {
  std::string params = "{\"expression\":";
  append_json_quoted(expression, params);
  params += ",\"returnByValue\":false,\"silent\":true}";
  return params;
}

std::string evaluate_for_json_params(std::string_view script) {
  // Indirect eval gives the script's completion value in global scope, as if
  // it had been run on its own; stringifying in the page leaves the JSON
  // exactly as the page produced it.
  std::string expression = "(function(){var v;try{v=(0,eval)(";
  append_json_quoted(script, expression);
  expression +=
      ");}catch(e){return 'null';}if(v===undefined)return 'null';"
      "try{var j=JSON.stringify(v);return j===undefined?'null':j;}catch(e){return 'null';}})()";
  std::string params = "{\"expression\":";
  append_json_quoted(expression, params);
  params += ",\"returnByValue\":true,\"silent\":true}";
  return params;
}

std::string print_to_pdf_params(const PrintOptions& options) {
  JsonValue params = JsonValue::make_object();
  params.members["paperWidth"] = JsonValue::make_number(options.page_width);
  params.members["paperHeight"] = JsonValue::make_number(options.page_height);
  params.members["marginTop"] = JsonValue::make_number(options.margin_top);
  params.members["marginBottom"] = JsonValue::make_number(options.margin_bottom);
  params.members["marginLeft"] = JsonValue::make_number(options.margin_left);
  params.members["marginRight"] = JsonValue::make_number(options.margin_right);
  params.members["scale"] = JsonValue::make_number(options.scale);
  params.members["printBackground"] = JsonValue::make_bool(options.backgrounds);
  params.members["displayHeaderFooter"] = JsonValue::make_bool(options.header_and_footer);
  params.members["landscape"] = JsonValue::make_bool(options.landscape);
  params.members["preferCSSPageSize"] = JsonValue::make_bool(false);
  params.members["transferMode"] = JsonValue::make_string("ReturnAsBase64");
  std::string text;
  write_json(params, text);
  return text;
}

}  // namespace vesk::cdp
