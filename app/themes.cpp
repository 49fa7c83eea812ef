#include "app/themes.h"

#include <algorithm>

#include "core/editor_host.h"
#include "core/json.h"

namespace vesk {

std::string theme_name_of_file(std::string_view file_name) {
  if (file_name.size() <= 4 || file_name.front() == '.') return {};
  std::string_view ext = file_name.substr(file_name.size() - 4);
  std::string lower(ext);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower != ".css") return {};
  return std::string(file_name.substr(0, file_name.size() - 4));
}

std::vector<ThemeChoice> theme_choices(std::string_view builtin_folder, std::string_view user_folder,
                                       std::vector<std::string> user_files, char separator) {
  std::vector<ThemeChoice> choices;
  choices.push_back({std::string(kLightThemeName), false, {}});
  choices.push_back({std::string(kDarkThemeName), true, {}});
  choices.push_back({std::string(kPaperThemeName), false,
                     std::string(builtin_folder) + separator + "themes" + separator + "paper.css"});
  std::sort(user_files.begin(), user_files.end());
  std::size_t added = 0;
  for (const std::string& file : user_files) {
    const std::string name = theme_name_of_file(file);
    if (name.empty() || find_theme(choices, name) >= 0) continue;
    if (++added > kMaxReaderThemes) break;
    choices.push_back({name, false, std::string(user_folder) + separator + file});
  }
  return choices;
}

int find_theme(const std::vector<ThemeChoice>& choices, std::string_view name) {
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (choices[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::string reader_theme_script(std::string_view name, std::string_view css) {
  if (name.empty()) return page_call_string("setReaderTheme", "");
  JsonValue theme = JsonValue::make_object();
  theme.members["name"] = JsonValue::make_string(std::string(name));
  theme.members["css"] = JsonValue::make_string(std::string(css));
  std::string text;
  write_json(theme, text);
  return page_call_string("setReaderTheme", text);
}

}  // namespace vesk
