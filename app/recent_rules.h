// The "最近打开" list decided from text: newest first, at most ten, one entry
// per path whatever its case, documents and folders alike. Portable; the
// registry and the menu are recent_win.cpp's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk::win {

inline constexpr std::size_t kRecentLimit = 10;

// `path` moved (or added) to the front; an older entry that names the same
// path with other letter case goes. Empty paths change nothing.
void add_recent(std::vector<std::string>& list, std::string_view path);

// A list as stored (one path per line) and back; blank lines, duplicates
// and anything past the limit are dropped on reading.
std::string join_recent(const std::vector<std::string>& list);
std::vector<std::string> split_recent(std::string_view stored);

// The menu text of an entry: "&1 name  (folder)", with & doubled in names.
std::string recent_menu_text(std::size_t index, std::string_view path);

}  // namespace vesk::win
