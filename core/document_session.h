// DocumentSession: the open document's state (its path, folder and line
// ends, a pending save-as and the work deferred until a save succeeds) and
// the decisions about it. Portable; the main window asks it what to do and
// carries that out. Also the text rules a document needs: the folder of a
// path, byte order marks and line ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/backup.h"

namespace vesk {

// Text before the last "\" or "/"; the separator itself when it is the first
// character; empty without a separator. "C:\a.md" gives "C:".
std::string parent_directory(std::string_view path);

// Drops a leading UTF-8 byte order mark, in place.
void strip_utf8_bom(std::string& bytes);
// The file uses CR LF line ends when the pair occurs anywhere.
bool contains_crlf(std::string_view bytes);
// Turns every LF that is not already preceded by CR into CR LF, so text that
// holds CR LF already is not corrupted into CR CR LF.
std::string restore_crlf(std::string_view text);

// Work deferred until the save it asked for has succeeded.
enum class AfterSaveAction : std::int32_t {
  None = 0,
  OpenDialog = 1,
  OpenPath = 2,
  NewDocument = 3,
  CloseWindow = 4,
  ExportPdf = 5,
};

struct DeferredAction {
  AfterSaveAction action = AfterSaveAction::None;
  std::string path;  // for OpenPath
};

// What a save of the page's text needs before bytes can be written.
struct SavePlan {
  bool ask_for_path = false;  // untitled, or save as: the save dialog
  std::string path;           // the target when no dialog is needed
  std::string proposed;       // the dialog's proposal
};

// What to do about the document's file changing on disk.
enum class ExternalAction {
  None,        // nothing to do
  Reload,      // no unsaved edits: take the new text
  Ask,         // unsaved edits: "文件已被其他程序修改"
  MarkGone,    // deleted or moved away: keep the text, marked unsaved
};
// The answers to "文件已被其他程序修改".
enum class ExternalAnswer { Reload, KeepMine, SaveAs };

inline constexpr std::string_view kBackupFailedStatus = "无法备份未保存的内容";
inline constexpr std::string_view kReloadedStatus = "已重新载入（文件在外部被修改）";
inline constexpr std::string_view kGoneStatus = "文件已被删除或移动";
inline constexpr std::string_view kRecoveredStatus = "已恢复未保存的内容";

class DocumentSession {
 public:
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }
  bool uses_crlf() const { return uses_crlf_; }
  bool untitled() const { return path_.empty(); }

  // The built-in welcome text: no path, no folder.
  void loaded_welcome();
  // A file read from `path` (absolute); its line ends come from `text`, and
  // `disk` is what the file was when read.
  void opened(const std::string& path, std::string_view text, const DiskState& disk = {});
  // A backup brought back: its path, line ends and the file as it was when
  // the document was loaded.
  void recovered(const BackupRecord& record);
  // A text without a disk path (dropped from another program).
  void loaded_untitled(std::string_view text);
  // An empty document; the folder stays for the save dialog.
  void started_new();
  // The file was renamed or moved here (from the folder panel): the same
  // bytes under `path`.
  void moved_to(const std::string& path);

  // The folder the open and save dialogs start in.
  std::string dialog_folder(std::string_view default_folder) const;

  // Save (false) or save as (true), asked before the page's text arrives.
  void request_save(bool save_as) { save_as_requested_ = save_as; }
  bool save_as_requested() const { return save_as_requested_; }
  // Work to run once the next save succeeds.
  void defer(AfterSaveAction action, std::string path = {});
  AfterSaveAction deferred_action() const { return deferred_.action; }

  // Takes the save-as request and says what the save needs.
  SavePlan plan_save(std::string_view default_folder);
  // The path the user chose in the save dialog, as it will be written.
  static std::string chosen_save_path(std::string_view chosen);
  // The bytes written for the page's text: its line ends restored.
  std::string bytes_for_save(std::string_view text) const;
  // The save to `path` succeeded: it is the document now; returns (and
  // forgets) the deferred work.
  // `disk` is the file as this save left it, so the save is never taken
  // for another program's change.
  DeferredAction saved(const std::string& path, const DiskState& disk = {});
  // The save was cancelled or failed: the deferred work is dropped.
  void save_abandoned();

  // Backups. The entry for the page's `text`, taken at `now`.
  BackupRecord backup_of(std::string text, std::int64_t now) const;
  // A backup write ended; the status to show, once for a run of failures.
  std::optional<std::string> backup_written(bool ok);

  // Changes on disk. The file as last loaded or saved here.
  const DiskState& disk() const { return disk_; }
  // At activation or from the folder watcher: `now` is the file now (its
  // hash taken when size or time moved) and `change` how it compares.
  ExternalAction on_disk_seen(const DiskState& now, DiskChange change, bool dirty);
  // Before a save writes over the file: true when the user must be asked.
  bool save_needs_asking(DiskChange change) const;
  // The new text of the file was taken.
  void reloaded(const DiskState& now, std::string_view text);
  // The user keeps their text over the file seen as `now`: not asked again
  // for it, but a save over it still asks.
  void kept_mine(const DiskState& now) { declined_ = now; }

 private:
  std::string path_;
  std::string folder_;
  bool uses_crlf_ = false;
  bool save_as_requested_ = false;
  DeferredAction deferred_;
  DiskState disk_;
  DiskState declined_;
  bool backup_failing_ = false;
};

}  // namespace vesk
