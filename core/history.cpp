#include "core/history.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "core/backup.h"

namespace vesk {

std::string history_folder_name(std::string_view document_path) {
  std::string folded(document_path);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '/') c = '\\';
  }
  const std::uint64_t hash = content_hash(folded);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name(16, '0');
  for (int i = 0; i < 16; ++i) name[15 - i] = kHex[(hash >> (4 * i)) & 0xf];
  return name;
}

bool history_keeps_version(std::string_view old_bytes, std::string_view new_bytes) {
  return old_bytes.size() <= kHistoryMaxDocumentBytes && old_bytes != new_bytes;
}

std::string history_file_name(std::int64_t time_ms, unsigned n) {
  return std::to_string(time_ms) + "-" + std::to_string(n) + std::string(kHistorySuffix);
}

std::optional<std::int64_t> parse_history_file_name(std::string_view file_name) {
  if (file_name.size() <= kHistorySuffix.size() || !file_name.ends_with(kHistorySuffix)) return std::nullopt;
  const std::string_view stem = file_name.substr(0, file_name.size() - kHistorySuffix.size());
  const std::size_t dash = stem.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash + 1 == stem.size()) return std::nullopt;
  std::int64_t time = 0;
  unsigned n = 0;
  const char* end = stem.data() + dash;
  if (auto [p, e] = std::from_chars(stem.data(), end, time); e != std::errc() || p != end || time < 0) {
    return std::nullopt;
  }
  end = stem.data() + stem.size();
  if (auto [p, e] = std::from_chars(stem.data() + dash + 1, end, n); e != std::errc() || p != end) {
    return std::nullopt;
  }
  return time;
}

void sort_newest_first(std::vector<HistoryVersion>& versions) {
  std::sort(versions.begin(), versions.end(), [](const HistoryVersion& a, const HistoryVersion& b) {
    if (a.time_ms != b.time_ms) return a.time_ms > b.time_ms;
    return a.file > b.file;
  });
}

std::vector<HistoryVersion> history_versions_to_drop(std::vector<HistoryVersion> all,
                                                     std::string_view keep_folder) {
  sort_newest_first(all);
  std::vector<HistoryVersion> drop;
  std::vector<HistoryVersion> kept;
  std::map<std::string, std::size_t, std::less<>> per_document;
  for (HistoryVersion& version : all) {
    if (++per_document[version.folder] > kHistoryVersionsPerDocument) {
      drop.push_back(std::move(version));
    } else {
      kept.push_back(std::move(version));
    }
  }
  std::uint64_t total = 0;
  for (const HistoryVersion& version : kept) total += version.size;
  // The oldest go first; the version just kept is the newest of its folder.
  const auto newest_kept = std::find_if(kept.begin(), kept.end(),
                                        [&](const HistoryVersion& v) { return v.folder == keep_folder; });
  for (auto it = kept.rbegin(); it != kept.rend() && total > kHistoryMaxTotalBytes; ++it) {
    if (newest_kept != kept.end() && &*it == &*newest_kept) continue;
    total -= it->size;
    drop.push_back(std::move(*it));
  }
  return drop;
}

std::string history_line(std::string_view local_time, std::uint64_t size) {
  return std::string(local_time) + "，" + size_text(size);
}

}  // namespace vesk
