// Themes of the 视图 › 主题 menu: the built-in light and dark ones, the
// built-in "纸张" style sheet and the reader's own style sheets from the
// themes folder, and how a choice is remembered and handed to the page.
// Portable; themes_win.cpp reads the folders and the registry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

inline constexpr std::string_view kLightThemeName = "浅色";
inline constexpr std::string_view kDarkThemeName = "深色";
inline constexpr std::string_view kPaperThemeName = "纸张";
// Larger style sheets are not themes: they are not read.
inline constexpr std::size_t kMaxThemeBytes = 1024 * 1024;
inline constexpr std::size_t kMaxReaderThemes = 64;

struct ThemeChoice {
  std::string name;
  bool dark = false;   // the base the style sheet goes over
  std::string file;    // the style sheet; empty for the plain light and dark themes
};

// "x.css" (any case) gives "x"; anything else, a hidden file or a bare
// ".css", gives "".
std::string theme_name_of_file(std::string_view file_name);

// 浅色, 深色, 纸张 (web/themes/paper.css under `builtin_folder`), then the
// reader's .css files in `user_folder` by name, without names the built-in
// ones already have, at most kMaxReaderThemes. Folders end without a slash;
// `separator` joins them to file names.
std::vector<ThemeChoice> theme_choices(std::string_view builtin_folder, std::string_view user_folder,
                                       std::vector<std::string> user_files, char separator = '\\');

// The index of the remembered name among the choices, or -1.
int find_theme(const std::vector<ThemeChoice>& choices, std::string_view name);

// The page call that applies a style sheet theme ("" name and css: none).
std::string reader_theme_script(std::string_view name, std::string_view css);

}  // namespace vesk
