#include "app/folder_rules.h"

#include <algorithm>

#include "core/json.h"

namespace vesk::win {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool ends_with_ci(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && iequals(text.substr(text.size() - suffix.size()), suffix);
}

// UTF-16 length of UTF-8 text: four-byte sequences are surrogate pairs.
std::size_t utf16_length(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++n;
    if (c >= 0xF0) ++n;
  }
  return n;
}

}  // namespace

int logical_compare(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  int tie = 0;  // the first difference that the folding or the numbers hid
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && is_digit(a[ei])) ++ei;
      while (ej < b.size() && is_digit(b[ej])) ++ej;
      std::size_t si = i, sj = j;  // leading zeros do not change the value
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      const std::size_t li = ei - si, lj = ej - sj;
      if (li != lj) return li < lj ? -1 : 1;
      const int c = a.substr(si, li).compare(b.substr(sj, lj));
      if (c != 0) return c < 0 ? -1 : 1;
      // Same value: more leading zeros sorts first, as Explorer does.
      if (!tie && (ei - i) != (ej - j)) tie = (ei - i) > (ej - j) ? -1 : 1;
      i = ei;
      j = ej;
      continue;
    }
    const char x = fold(a[i]), y = fold(b[j]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    if (!tie && a[i] != b[j]) tie = static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return tie;
}

bool is_listed_markdown(std::string_view name) {
  return ends_with_ci(name, ".md") || ends_with_ci(name, ".markdown");
}

bool folder_entry_listed(std::string_view name, bool is_dir, bool hidden_or_system) {
  if (hidden_or_system || name.empty() || name == "." || name == "..") return false;
  if (is_dir) return name != ".git" && !iequals(name, "node_modules");
  return is_listed_markdown(name);
}

std::string windows_name_problem(std::string_view name) {
  if (name.empty()) return "名称不能为空";
  bool blank = true;
  for (char c : name) blank = blank && c == ' ';
  if (blank) return "名称不能为空";
  for (unsigned char c : name) {
    if (c < 32 || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return "名称不能包含下列字符：\\ / : * ? \" < > | 或控制字符";
    }
  }
  if (name.back() == '.' || name.back() == ' ') return "名称不能以句点或空格结尾";
  if (utf16_length(name) > 255) return "名称太长（最多 255 个字符）";
  // Device names are reserved with any extension: "con.md" is CON too.
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::string_view kReserved[] = {"CON", "PRN", "AUX", "NUL"};
  bool reserved = false;
  for (std::string_view r : kReserved) reserved = reserved || iequals(base, r);
  if (base.size() == 4 && (iequals(base.substr(0, 3), "COM") || iequals(base.substr(0, 3), "LPT")) &&
      base[3] >= '1' && base[3] <= '9') {
    reserved = true;
  }
  if (reserved) return "“" + std::string(base) + "”是 Windows 保留的名称，请换一个";
  return {};
}

void sort_folder_entries(std::vector<FolderEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    if (a.is_dir != b.is_dir) return a.is_dir;
    return logical_compare(a.name, b.name) < 0;
  });
}

std::string folder_child_path(std::string_view root, std::string_view relative) {
  if (root.empty()) return {};
  std::string out(root);
  while (out.size() > 3 && (out.back() == '\\' || out.back() == '/')) out.pop_back();
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view name = relative.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.find_first_of(":\\") != std::string_view::npos) {
      return {};
    }
    if (out.back() != '\\') out += '\\';
    out.append(name);
    start = end + 1;
    if (end + 1 == relative.size()) return {};  // a trailing separator
  }
  return out;
}

std::string folder_entries_json(std::string_view root, std::string_view dir,
                                const std::vector<FolderEntry>& entries, std::size_t from,
                                std::size_t count, bool done) {
  std::string out = "{\"root\":";
  append_json_quoted(root, out);
  out += ",\"dir\":";
  append_json_quoted(dir, out);
  out += ",\"entries\":[";
  const std::size_t end = std::min(entries.size(), from + count);
  for (std::size_t k = from; k < end; ++k) {
    if (k > from) out += ',';
    out += "{\"name\":";
    append_json_quoted(entries[k].name, out);
    out += entries[k].is_dir ? ",\"dir\":true}" : ",\"dir\":false}";
  }
  out += done ? "],\"done\":true}" : "],\"done\":false}";
  return out;
}

std::string folder_index_json(std::string_view root, const std::vector<std::string>& files,
                              std::size_t from, std::size_t count, bool done, bool truncated) {
  std::string out = "{\"root\":";
  append_json_quoted(root, out);
  out += ",\"files\":[";
  const std::size_t end = std::min(files.size(), from + count);
  for (std::size_t k = from; k < end; ++k) {
    if (k > from) out += ',';
    append_json_quoted(files[k], out);
  }
  out += "],\"done\":";
  out += done ? "true" : "false";
  out += ",\"truncated\":";
  out += truncated ? "true}" : "false}";
  return out;
}

std::string folder_index_log_line(std::string_view root, std::size_t count, long long ms) {
  return "NATIVE folder " + std::string(root) + " files=" + std::to_string(count) + " ms=" + std::to_string(ms);
}

}  // namespace vesk::win
