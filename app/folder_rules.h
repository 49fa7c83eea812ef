// The rules of the folder panel decided from text: the order of names as
// Explorer sorts them, which entries are listed, the checks Windows makes on a
// new name, and the page call that carries a listing. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::win {

// Explorer's order of names: runs of digits compare by their value, the
// rest case-insensitively (ASCII letters folded), byte order breaking ties.
// Negative, zero or positive like strcmp.
int logical_compare(std::string_view a, std::string_view b);

// .md and .markdown files, ASCII case-insensitive.
bool is_listed_markdown(std::string_view name);

// False for what the panel leaves out: hidden and system entries, ".git",
// "node_modules", and files that are not Markdown.
bool folder_entry_listed(std::string_view name, bool is_dir, bool hidden_or_system);

// Empty when Windows accepts `name` as a file or folder name; otherwise the
// message to show: reserved device names (CON, NUL, COM1…), a trailing dot or
// space, the characters <>:"/\|?* and control characters, an empty or
// over-long name.
std::string windows_name_problem(std::string_view name);

struct FolderEntry {
  std::string name;
  bool is_dir = false;
};

// Folders first, then files, each in logical order.
void sort_folder_entries(std::vector<FolderEntry>& entries);

// `root` joined with a path the page sent, relative to it with "/" between
// names; empty when that path is not a plain relative path inside the root
// ("..", ".", an empty name, a drive or stream colon, a leading separator).
// The empty relative path is the root itself.
std::string folder_child_path(std::string_view root, std::string_view relative);

// The limits of the background index of a folder tree.
inline constexpr int kIndexMaxDepth = 16;
inline constexpr std::size_t kIndexMaxFiles = 100000;
inline constexpr const char* kIndexTruncatedNote = "文件过多，仅列出前 100000 个";

// The argument of the page's folderEntries call: {"root","dir","entries":[{"name","dir"}],"done"}.
std::string folder_entries_json(std::string_view root, std::string_view dir,
                                const std::vector<FolderEntry>& entries, std::size_t from,
                                std::size_t count, bool done);

// The argument of the page's folderIndex call: {"root","files":[relative paths],"done","truncated"}.
std::string folder_index_json(std::string_view root, const std::vector<std::string>& files,
                              std::size_t from, std::size_t count, bool done, bool truncated);

// The log line written when the index of `root` is complete.
std::string folder_index_log_line(std::string_view root, std::size_t count, long long ms);

}  // namespace vesk::win
