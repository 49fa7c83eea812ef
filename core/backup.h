// Crash backups of unsaved text and what a file on disk was: the entry
// format, entry file names, the hash that tells a real change from a touch,
// and the texts of the recovery question. Portable; the Windows side reads
// and writes the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// 64-bit FNV-1a of the bytes.
std::uint64_t content_hash(std::string_view bytes);

// A file on disk as last seen: its size, last write time (the system's own
// ticks) and the hash of its bytes.
struct DiskState {
  bool exists = false;
  std::uint64_t size = 0;
  std::uint64_t write_time = 0;
  std::uint64_t hash = 0;
  bool operator==(const DiskState&) const = default;
};

// The file as it was when a document was loaded from `bytes`.
DiskState disk_state_of(std::string_view bytes, std::uint64_t write_time);

// How a file now compares with what was last seen of it.
enum class DiskChange {
  None,     // same bytes (a touch that kept them counts as none)
  Changed,  // other bytes
  Gone,     // deleted or moved away
};
// Size and write time alike: no change without reading the file.
bool same_size_and_time(const DiskState& known, const DiskState& now);
// `now` with its hash taken from the bytes read.
DiskChange judge_disk_change(const DiskState& known, const DiskState& now);

// One window's backup: the text exactly as the page has it (LF line ends)
// and what it needs to be a document again.
struct BackupRecord {
  std::string path;          // empty for an untitled document
  bool crlf = false;         // written back with CR LF
  std::int64_t time = 0;     // seconds since 1970, UTC, when it was taken
  DiskState loaded;          // the file when the document was loaded
  std::string text;
};

std::string encode_backup(const BackupRecord& record);
// Nothing for a file that is not a whole backup of ours (foreign, cut short,
// damaged): such files are left alone.
std::optional<BackupRecord> decode_backup(std::string_view bytes);

// The process that owns an entry: its number and start time, so a reused
// process number is not taken for the same process.
struct BackupOwner {
  std::uint32_t pid = 0;
  std::uint64_t started = 0;
  bool operator==(const BackupOwner&) const = default;
};
inline constexpr std::string_view kBackupSuffix = ".vesk-backup";
// "<pid>-<started>": the entry, as named in logs.
std::string backup_entry_name(const BackupOwner& owner);
// The owner of "<pid>-<started>.vesk-backup"; nothing for any other name.
std::optional<BackupOwner> parse_backup_file_name(std::string_view file_name);

// The recovery question.
enum class RecoverAnswer { Restore, Discard, Later };
// VESK_RECOVER: exactly "restore" or "discard"; anything else asks.
bool recover_answer_from_environment(std::string_view value, RecoverAnswer& answer);

struct RecoveryItem {
  std::string name;        // file name or "未命名"
  std::string time;        // as shown, local time
  std::uint64_t bytes = 0;  // of the text
  bool file_changed = false;  // the file on disk differs from when it was loaded
};
// The question's content: one line per entry.
std::string recovery_list_text(const std::vector<RecoveryItem>& items);
// "12 字节", "3.4 KB", "10.0 MB".
std::string size_text(std::uint64_t bytes);

}  // namespace vesk
