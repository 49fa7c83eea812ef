// Crash backups on Windows: the entry this window keeps in the Backups
// folder while its document has unsaved changes, and the recovery at start
// of entries whose process is gone. DocumentSession decides what goes into
// an entry and what a failure shows; this file only moves the bytes.
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "app/disk_win.h"
#include "app/main_window.h"
#include "core/backup.h"
#include "platform/atomic_write.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

std::string backups_folder() {
  const std::string data = vesk_data_folder();
  return data.empty() ? std::string() : data + "\\Backups";
}

struct FoundEntry {
  std::string file;  // name in the Backups folder
  BackupRecord record;
};

// Entries of processes that are gone. Anything else in the folder (foreign
// files, damaged entries, a killed write's temporary) is left alone.
std::vector<FoundEntry> orphaned_entries(const std::string& folder) {
  std::vector<FoundEntry> found;
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW(to_utf16(folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = to_utf8(data.cFileName);
    const auto owner = parse_backup_file_name(name);
    if (!owner) {
      write_diagnostic_line("NATIVE backup foreign " + name);
      continue;
    }
    if (backup_owner_running(*owner)) continue;
    std::string bytes;
    auto record = read_file_shared(folder + "\\" + name, bytes) ? decode_backup(bytes) : std::nullopt;
    if (!record) {
      write_diagnostic_line("NATIVE backup damaged " + name);
      continue;
    }
    found.push_back({name, std::move(*record)});
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return found;
}

RecoverAnswer ask_recovery(HWND owner, const std::vector<FoundEntry>& entries) {
  RecoverAnswer answer = RecoverAnswer::Later;
  if (recover_answer_from_environment(read_environment("VESK_RECOVER"), answer)) return answer;
  std::vector<RecoveryItem> items;
  for (const FoundEntry& entry : entries) {
    const BackupRecord& record = entry.record;
    RecoveryItem item;
    item.name = display_name(record.path);
    item.time = local_time_text(record.time);
    item.bytes = record.text.size();
    if (!record.path.empty()) {
      DiskState now = disk_state_without_hash(record.path);
      if (!same_size_and_time(record.loaded, now)) {
        std::string bytes;
        if (now.exists && read_file_shared(record.path, bytes)) now.hash = content_hash(bytes);
        item.file_changed = judge_disk_change(record.loaded, now) != DiskChange::None;
      }
    }
    items.push_back(std::move(item));
  }
  const std::wstring content = to_utf16(recovery_list_text(items));
  const TASKDIALOG_BUTTON buttons[] = {{1000, L"恢复"}, {1001, L"丢弃"}, {IDCANCEL, L"稍后再说"}};  // Escape is 稍后再说
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  config.pszWindowTitle = L"发现未保存的内容";
  config.pszMainInstruction = L"发现未保存的内容";
  config.pszContent = content.c_str();
  config.cButtons = 3;
  config.pButtons = buttons;
  config.nDefaultButton = 1000;
  int pressed = 0;
  if (FAILED(task_dialog_indirect(config, pressed))) return RecoverAnswer::Later;
  if (pressed == 1000) return RecoverAnswer::Restore;
  if (pressed == 1001) return RecoverAnswer::Discard;
  return RecoverAnswer::Later;
}

// Another Vesk for one more recovered entry.
void start_recovering_process(const std::string& file) {
  start_vesk({kRecoverSwitch, to_utf16(file)}, "recover " + file);
}

}  // namespace

std::string VeskMainWindow::backup_file_path() const {
  const std::string folder = backups_folder();
  if (folder.empty()) return {};
  return folder + "\\" + backup_entry_name(current_backup_owner()) + std::string(kBackupSuffix);
}

void VeskMainWindow::backup_text(const std::string& text) {
  // A backup that arrives after a save or a discard is not unsaved text.
  if (!core_ || !core_->is_dirty()) return;
  const std::string path = backup_file_path();
  const bool ok = !path.empty() && ensure_folder(backups_folder()) &&
                  write_file_atomically(path, encode_backup(document_.backup_of(text, unix_time_now())));
  if (ok) {
    write_diagnostic_line("NATIVE backup " + backup_entry_name(current_backup_owner()) +
                          " bytes=" + std::to_string(text.size()));
  } else {
    write_diagnostic_line("NATIVE backup failed " + path);
  }
  if (const auto status = document_.backup_written(ok)) set_status(*status);
}

void VeskMainWindow::on_dirty_changed(bool dirty) {
  update_title();
  // Clean again (saved, discarded, undone to the file's text): nothing to
  // keep.
  if (!dirty) remove_backup();
}

void VeskMainWindow::remove_backup() {
  const std::string path = backup_file_path();
  if (!path.empty()) DeleteFileW(to_utf16(path).c_str());
}

bool VeskMainWindow::recover_entry(const std::string& file) {
  const std::string folder = backups_folder();
  const std::string mine = backup_file_path();
  if (folder.empty() || mine.empty()) return false;
  // Taking the entry is renaming it to this process's own: of two starts
  // that try at once, one rename finds nothing left to move.
  if (!MoveFileExW(to_utf16(folder + "\\" + file).c_str(), to_utf16(mine).c_str(), 0)) return false;
  std::string bytes;
  auto record = read_file_shared(mine, bytes) ? decode_backup(bytes) : std::nullopt;
  if (!record) return false;
  document_.recovered(*record);
  if (core_) core_->load_unsaved_document(record->text, document_.folder());
  watch_document_folder();
  update_title();
  write_diagnostic_line("NATIVE recovered " + (record->path.empty() ? std::string("untitled") : record->path));
  set_status(std::string(kRecoveredStatus));
  return true;
}

void VeskMainWindow::recover_at_start(bool window_free) {
  const std::string folder = backups_folder();
  if (folder.empty()) return;
  std::vector<FoundEntry> entries = orphaned_entries(folder);
  if (entries.empty()) return;
  switch (ask_recovery(window_, entries)) {
    case RecoverAnswer::Restore:
      // The first entry this window can take comes here; every other one
      // gets a Vesk of its own. An entry another start took is skipped.
      for (const FoundEntry& entry : entries) {
        if (!window_free) {
          start_recovering_process(entry.file);
        } else if (recover_entry(entry.file)) {
          window_free = false;
        }
      }
      break;
    case RecoverAnswer::Discard:
      for (const FoundEntry& entry : entries) {
        DeleteFileW(to_utf16(folder + "\\" + entry.file).c_str());
        write_diagnostic_line("NATIVE backup discarded " + entry.file);
      }
      break;
    case RecoverAnswer::Later:
      break;
  }
}

}  // namespace vesk::win
