// Local history: before a save replaces a document, the bytes it had are
// kept as a version. Which saves keep one, where versions live, their file
// names, which old ones go, and the lines the history dialog shows.
// Portable; the Windows side reads, writes and deletes the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

inline constexpr std::uint64_t kHistoryMaxDocumentBytes = 10ULL * 1024 * 1024;
inline constexpr std::size_t kHistoryVersionsPerDocument = 20;
inline constexpr std::uint64_t kHistoryMaxTotalBytes = 50ULL * 1024 * 1024;
inline constexpr std::string_view kHistorySuffix = ".vesk-version";
inline constexpr std::string_view kNoHistoryStatus = "此文档没有历史版本";

// The folder that holds one document's versions: 16 hex digits of the hash
// of its path, with ASCII letters folded and "/" taken as "\" (Windows finds
// "C:/A.md" and "c:\a.md" to be one file).
std::string history_folder_name(std::string_view document_path);

// A save over `old_bytes` with `new_bytes` keeps the old bytes as a version
// unless they are the same bytes or the document is over the size limit.
bool history_keeps_version(std::string_view old_bytes, std::string_view new_bytes);

// "<milliseconds since 1970>-<n>.vesk-version"; `n` tells apart versions
// kept in the same millisecond.
std::string history_file_name(std::int64_t time_ms, unsigned n = 0);
// The time of a version file name of ours; nothing for any other name.
std::optional<std::int64_t> parse_history_file_name(std::string_view file_name);

struct HistoryVersion {
  std::string folder;   // history_folder_name of its document
  std::string file;     // its file name
  std::int64_t time_ms = 0;
  std::uint64_t size = 0;
};

// Newest first; versions of the same time by file name, descending.
void sort_newest_first(std::vector<HistoryVersion>& versions);

// The versions to delete from `all` (every version of every document): past
// the newest 20 of each document, then the oldest of all until the rest take
// at most 50 MB. The newest version of `keep_folder` (the one just kept)
// always stays.
std::vector<HistoryVersion> history_versions_to_drop(std::vector<HistoryVersion> all,
                                                     std::string_view keep_folder);

// A line of the history dialog: "2026-12-10 17:30，3.4 KB".
std::string history_line(std::string_view local_time, std::uint64_t size);

}  // namespace vesk
