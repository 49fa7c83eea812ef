#include "path_mapping.h"

#include <cctype>
#include <cstdio>

#include "core/json.h"
#include "core/paths.h"

namespace vesk::cdp {
namespace {

bool keeps_as_is(unsigned char c) {
  return std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || c == '!' ||
         c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' ||
         c == ',' || c == ';' || c == '=' || c == ':' || c == '@';
}

std::string percent_encode_path(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (keeps_as_is(byte)) {
      out += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      out += escaped;
    }
  }
  return out;
}

// Splits "<body>?query#fragment" at the first "?" or "#".
void split_suffix(std::string_view url, std::string_view& body, std::string& suffix) {
  const std::size_t cut = url.find_first_of("?#");
  body = url.substr(0, cut);
  suffix = cut == std::string_view::npos ? std::string() : std::string(url.substr(cut));
}

bool starts_with_file_scheme(std::string_view url) {
  if (url.size() < 7) return false;
  for (std::size_t i = 0; i < 7; ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != "file://"[i]) return false;
  }
  return true;
}

}  // namespace

bool windows_path_from_file_url(std::string_view url, std::string& path, std::string& suffix) {
  if (!starts_with_file_scheme(url)) return false;
  std::string_view body;
  split_suffix(url.substr(7), body, suffix);
  std::string decoded = percent_decode(body);
  for (char& c : decoded) c = c == '/' ? '\\' : c;
  if (decoded.size() >= 3 && decoded[0] == '\\' && std::isalpha(static_cast<unsigned char>(decoded[1])) &&
      (decoded[2] == ':' || decoded[2] == '|')) {
    // file:///C:/... : drop the slash before the drive.
    path = decoded.substr(1);
    path[1] = ':';
    if (path.size() == 2) path += '\\';
    return true;
  }
  if (!decoded.empty() && decoded[0] != '\\') {
    // file://server/share/...
    path = "\\\\" + decoded;
    return true;
  }
  return false;
}

std::string file_url_from_unix_path(std::string_view path, std::string_view suffix) {
  std::string url = "file://";
  if (path.empty() || path.front() != '/') url += '/';
  url += percent_encode_path(path);
  url.append(suffix);
  return url;
}

bool unix_path_from_file_url(std::string_view url, std::string& path, std::string& suffix) {
  if (!starts_with_file_scheme(url)) return false;
  std::string_view body;
  split_suffix(url.substr(7), body, suffix);
  if (body.empty() || body.front() != '/') return false;  // "file://host/..." is not local
  path = percent_decode(body);
  return true;
}

std::string page_shim_script(std::string_view binding, const std::vector<DriveRoot>& drives) {
  JsonValue roots = JsonValue::make_object();
  for (const DriveRoot& drive : drives) {
    std::string root = file_url_from_unix_path(drive.unix_root);
    if (root.back() != '/') root += '/';
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(drive.letter)));
    roots.members[std::string(1, letter)] = JsonValue::make_string(root);
  }
  std::string roots_json;
  write_json(roots, roots_json);

  std::string script = "(function(){var B=";
  append_json_quoted(binding, script);
  script += ",R=" + roots_json + ";\n";
  script += R"JS(if (window.chrome && window.chrome.webview) return;
// The binding may be installed after this script runs; look it up per call.
var send = function (text) { var f = window[B]; if (typeof f === 'function') f(text); };
var listeners = [];
var webview = {
  postMessage: function (message) {
    var json = JSON.stringify(message);
    if (json === undefined) throw new TypeError('message is not serialisable');
    send(JSON.stringify({t: 'msg', s: String(location.href), m: json}));
  },
  addEventListener: function (type, listener) {
    if (type === 'message' && typeof listener === 'function' && listeners.indexOf(listener) < 0) listeners.push(listener);
  },
  removeEventListener: function (type, listener) {
    var at = listeners.indexOf(listener);
    if (type === 'message' && at >= 0) listeners.splice(at, 1);
  }
};
Object.defineProperty(webview, '__deliver', {value: function (data) {
  var event = {type: 'message', data: data, source: webview};
  listeners.slice().forEach(function (listener) {
    try { listener.call(webview, event); } catch (e) { setTimeout(function () { throw e; }); }
  });
}});
if (!window.chrome) window.chrome = {};
Object.defineProperty(window.chrome, 'webview', {value: webview, enumerable: true});

var mapUrl = function (url) {
  var m = /^file:\/\/\/([A-Za-z])(?::|%3A|\|)\/?(.*)$/i.exec(url || '');
  if (!m) return url;
  var root = R[m[1].toLowerCase()];
  return root ? root + m[2] : url;
};
var fixBase = function (base) {
  var href = base.getAttribute('href');
  var mapped = mapUrl(href);
  if (mapped !== href) base.setAttribute('href', mapped);
};
new MutationObserver(function (records) {
  records.forEach(function (record) {
    if (record.type === 'attributes') { if (record.target.tagName === 'BASE') fixBase(record.target); return; }
    record.addedNodes.forEach(function (node) {
      if (node.tagName === 'BASE') fixBase(node);
      else if (node.querySelectorAll) Array.prototype.forEach.call(node.querySelectorAll('base'), fixBase);
    });
  });
}).observe(document, {childList: true, subtree: true, attributes: true, attributeFilter: ['href']});

// Keys the real control raises as accelerator keys before the page sees
// them: with Ctrl or Alt held, keys that type no character (Windows virtual
// keys, which keyCode carries) and Escape; never a modifier on its own. The
// host answers inside the key's dispatch, as the real control waits for it:
// the named function below stops at `debugger`, the control raises the event
// while the page stands still, sets `hostHandled` and resumes. A key the
// host handled goes no further; any other goes on as if nobody had asked.
var modifierKeys = {16: 1, 17: 1, 18: 1, 91: 1, 92: 1, 229: 1};
var typesNothing = function (k) {
  return k === 19 || k === 20 || k === 27 || (k >= 33 && k <= 40) || k === 44 || k === 45 || k === 46 ||
      k === 93 || (k >= 112 && k <= 135) || k === 144 || k === 145 || (k >= 166 && k <= 183);
};
var hostHandled = false;
var askHost = function )JS";
  script += kKeyPauseFunction;
  script += R"JS( () {
  'use strict';
  hostHandled = false;
  debugger;
  return hostHandled;
};
var onKey = function (event) {
  var k = event.keyCode;
  if (event.isComposing || modifierKeys[k] || !(event.ctrlKey || event.altKey || typesNothing(k))) return;
  var key = JSON.stringify({vk: k, up: event.type === 'keyup', c: event.ctrlKey, s: event.shiftKey,
                            a: event.altKey, r: event.repeat});
  if (askHost.call(key)) {
    event.preventDefault();
    event.stopImmediatePropagation();
  }
};
window.addEventListener('keydown', onKey, true);
window.addEventListener('keyup', onKey, true);
})();
)JS";
  return script;
}

}  // namespace vesk::cdp
