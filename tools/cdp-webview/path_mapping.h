// Windows file URLs (what the web host navigates to and writes into base
// elements) and the Unix file URLs Chromium on the same machine understands.
// The drive-to-folder lookup itself is Wine's; these are the text rules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk::cdp {

// "file:///C:/a%20b/x.html#g1" gives "C:\a b\x.html" and "#g1"; a share
// ("file://server/share/x") gives "\\server\share\x". False for other URLs.
bool windows_path_from_file_url(std::string_view url, std::string& path, std::string& suffix);

// "/tmp/a b/x.html" and "#g1" give "file:///tmp/a%20b/x.html#g1".
std::string file_url_from_unix_path(std::string_view path, std::string_view suffix = {});

// The reverse: "file:///tmp/a%20b/x.html#g1" gives "/tmp/a b/x.html", "#g1".
bool unix_path_from_file_url(std::string_view url, std::string& path, std::string& suffix);

// Where a drive's root lies on the Unix side ("/" for Z:), for rewriting
// base elements inside the page.
struct DriveRoot {
  char letter = 'C';
  std::string unix_root;  // ends with "/"
};

// The page function that stops at `debugger` for each accelerator key,
// called with the key's JSON as `this`: {vk, up, c, s, a, r} (virtual key,
// key-up, Ctrl, Shift, Alt, auto-repeat). Its closure's `hostHandled` is the
// host's answer.
inline constexpr char kKeyPauseFunction[] = "__veskAcceleratorKey";

// The script installed before the page's own in every document: the
// window.chrome.webview message channel over the DevTools binding `binding`,
// Windows file URLs in <base> elements pointed at their Unix folders, and
// accelerator keys held for the host's answer.
std::string page_shim_script(std::string_view binding, const std::vector<DriveRoot>& drives);

}  // namespace vesk::cdp
