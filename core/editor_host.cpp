// Page-call texts and the fixed scripts the native side runs in the page.
#include "core/editor_host.h"

#include "core/json.h"

namespace vesk {
namespace {

constexpr std::string_view kCallPrefix = "window.vesk && window.vesk.";

std::string call_with(std::string_view function, std::string_view argument) {
  std::string script;
  script.reserve(kCallPrefix.size() + function.size() + argument.size() + 3);
  script.append(kCallPrefix).append(function).append("(").append(argument).append(");");
  return script;
}

}  // namespace

std::string page_call(std::string_view function) { return call_with(function, {}); }

std::string page_call_bool(std::string_view function, bool argument) {
  return call_with(function, argument ? "true" : "false");
}

std::string page_call_int(std::string_view function, long long argument) {
  return call_with(function, std::to_string(argument));
}

std::string page_call_string(std::string_view function, std::string_view argument) {
  // The argument may be a whole document: quote it straight into the script.
  std::string script;
  script.reserve(kCallPrefix.size() + function.size() + argument.size() + 5);
  script.append(kCallPrefix).append(function).append("(");
  append_json_quoted(argument, script);
  script.append(");");
  return script;
}

std::string base_href_script(std::string_view url) {
  std::string script =
      "(function(){var h=document.head;if(!h)return;var b=h.querySelector('base');"
      "if(!b){b=document.createElement('base');h.insertBefore(b,h.firstChild);}b.href=";
  append_json_quoted(url, script);
  script += ";})();";
  return script;
}

std::string remove_base_script() {
  return "(function(){var b=document.querySelector('base');"
         "if(b&&b.parentNode)b.parentNode.removeChild(b);})();";
}

std::string platform_class_script(std::string_view name) {
  std::string script = "(function(){if(document.body)document.body.classList.add('platform-";
  script.append(name);
  script += "');})();";
  return script;
}

}  // namespace vesk
