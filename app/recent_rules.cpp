#include "app/recent_rules.h"

#include <algorithm>

namespace vesk::win {
namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_path(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] == '/' ? '\\' : fold(a[i]);
    const char y = b[i] == '/' ? '\\' : fold(b[i]);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void add_recent(std::vector<std::string>& list, std::string_view path) {
  if (path.empty()) return;
  std::erase_if(list, [&](const std::string& entry) { return same_path(entry, path); });
  list.insert(list.begin(), std::string(path));
  if (list.size() > kRecentLimit) list.resize(kRecentLimit);
}

std::string join_recent(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& entry : list) {
    if (entry.find('\n') != std::string::npos) continue;  // cannot be stored as a line
    out += entry;
    out += '\n';
  }
  return out;
}

std::vector<std::string> split_recent(std::string_view stored) {
  std::vector<std::string> list;
  std::size_t start = 0;
  while (start < stored.size() && list.size() < kRecentLimit) {
    std::size_t end = stored.find('\n', start);
    if (end == std::string_view::npos) end = stored.size();
    std::string_view line = stored.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool seen = std::any_of(list.begin(), list.end(), [&](const std::string& e) { return same_path(e, line); });
    if (!line.empty() && !seen) list.emplace_back(line);
    start = end + 1;
  }
  return list;
}

std::string recent_menu_text(std::size_t index, std::string_view path) {
  std::string text;
  if (index < 9) {
    text = "&" + std::to_string(index + 1) + " ";
  } else if (index == 9) {
    text = "1&0 ";
  }
  for (char c : path) {
    text += c;
    if (c == '&') text += '&';
  }
  return text;
}

}  // namespace vesk::win
