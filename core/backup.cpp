#include "core/backup.h"

#include <charconv>
#include <cstdio>

namespace vesk {
namespace {

constexpr std::string_view kMagic = "VESK-BACKUP 1\n";

bool read_number(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool read_signed(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool has_control_byte(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20) return true;
  }
  return false;
}

}  // namespace

std::uint64_t content_hash(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

DiskState disk_state_of(std::string_view bytes, std::uint64_t write_time) {
  return DiskState{true, bytes.size(), write_time, content_hash(bytes)};
}

bool same_size_and_time(const DiskState& known, const DiskState& now) {
  return known.exists == now.exists && known.size == now.size && known.write_time == now.write_time;
}

DiskChange judge_disk_change(const DiskState& known, const DiskState& now) {
  if (!now.exists) return known.exists ? DiskChange::Gone : DiskChange::None;
  if (!known.exists) return DiskChange::Changed;
  if (known.size != now.size || known.hash != now.hash) return DiskChange::Changed;
  return DiskChange::None;
}

std::string encode_backup(const BackupRecord& record) {
  std::string out(kMagic);
  const auto line = [&out](std::string_view key, std::string_view value) {
    out.append(key);
    out += ' ';
    out.append(value);
    out += '\n';
  };
  line("path", has_control_byte(record.path) ? std::string_view() : std::string_view(record.path));
  line("crlf", record.crlf ? "1" : "0");
  line("time", std::to_string(record.time));
  line("disk", record.loaded.exists ? "1" : "0");
  line("disk-size", std::to_string(record.loaded.size));
  line("disk-time", std::to_string(record.loaded.write_time));
  line("disk-hash", std::to_string(record.loaded.hash));
  line("text-hash", std::to_string(content_hash(record.text)));
  line("text-bytes", std::to_string(record.text.size()));
  out += '\n';
  out += record.text;
  return out;
}

std::optional<BackupRecord> decode_backup(std::string_view bytes) {
  if (bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  std::size_t at = kMagic.size();
  BackupRecord record;
  std::uint64_t text_hash = 0;
  std::uint64_t text_bytes = 0;
  int seen = 0;
  for (;;) {
    const std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(at, end - at);
    at = end + 1;
    if (line.empty()) break;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view key = line.substr(0, space);
    const std::string_view value = line.substr(space + 1);
    bool ok = true;
    if (key == "path") {
      record.path = std::string(value);
    } else if (key == "crlf" || key == "disk") {
      ok = value == "0" || value == "1";
      (key == "crlf" ? record.crlf : record.loaded.exists) = value == "1";
    } else if (key == "time") {
      ok = read_signed(value, record.time);
    } else if (key == "disk-size") {
      ok = read_number(value, record.loaded.size);
    } else if (key == "disk-time") {
      ok = read_number(value, record.loaded.write_time);
    } else if (key == "disk-hash") {
      ok = read_number(value, record.loaded.hash);
    } else if (key == "text-hash") {
      ok = read_number(value, text_hash);
    } else if (key == "text-bytes") {
      ok = read_number(value, text_bytes);
    } else {
      continue;  // a later version's field
    }
    if (!ok) return std::nullopt;
    ++seen;
  }
  // Every field of this version, and exactly the text they describe.
  if (seen < 9 || bytes.size() - at != text_bytes) return std::nullopt;
  record.text = std::string(bytes.substr(at));
  if (content_hash(record.text) != text_hash) return std::nullopt;
  return record;
}

std::string backup_entry_name(const BackupOwner& owner) {
  return std::to_string(owner.pid) + "-" + std::to_string(owner.started);
}

std::optional<BackupOwner> parse_backup_file_name(std::string_view file_name) {
  if (file_name.size() <= kBackupSuffix.size() ||
      file_name.substr(file_name.size() - kBackupSuffix.size()) != kBackupSuffix) {
    return std::nullopt;
  }
  const std::string_view stem = file_name.substr(0, file_name.size() - kBackupSuffix.size());
  const std::size_t dash = stem.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  std::uint64_t pid = 0;
  BackupOwner owner;
  if (!read_number(stem.substr(0, dash), pid) || pid > 0xFFFFFFFFULL ||
      !read_number(stem.substr(dash + 1), owner.started)) {
    return std::nullopt;
  }
  owner.pid = static_cast<std::uint32_t>(pid);
  // Only the name this program writes: no leading zeros, no sign.
  if (backup_entry_name(owner) != stem) return std::nullopt;
  return owner;
}

bool recover_answer_from_environment(std::string_view value, RecoverAnswer& answer) {
  if (value == "restore") {
    answer = RecoverAnswer::Restore;
  } else if (value == "discard") {
    answer = RecoverAnswer::Discard;
  } else {
    return false;
  }
  return true;
}

std::string size_text(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " 字节";
  char text[32];
  if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
  }
  return text;
}

std::string recovery_list_text(const std::vector<RecoveryItem>& items) {
  std::string text;
  for (const RecoveryItem& item : items) {
    if (!text.empty()) text += '\n';
    text += item.name + "，" + item.time + "，" + size_text(item.bytes);
    if (item.file_changed) text += "（磁盘上的文件已被修改）";
  }
  return text;
}

}  // namespace vesk
