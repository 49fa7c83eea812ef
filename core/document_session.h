// DocumentSession: the open document's state (its path, folder and line
// ends, a pending save-as and the work deferred until a save succeeds) and
// the decisions about it. Portable; the main window asks it what to do and
// carries that out. Also the text rules a document needs: folder and file
// name of a path, byte order marks and line ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk {

// Text before the last "\" or "/"; the separator itself when it is the first
// character; empty without a separator. "C:\a.md" gives "C:".
std::string parent_directory(std::string_view path);
// Text after the last "\" or "/", or the whole text.
std::string file_name_part(std::string_view path);

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

class DocumentSession {
 public:
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }
  bool uses_crlf() const { return uses_crlf_; }
  bool untitled() const { return path_.empty(); }

  // The built-in welcome text: no path, no folder.
  void loaded_welcome();
  // A file read from `path` (absolute); its line ends come from `text`.
  void opened(const std::string& path, std::string_view text);
  // A text without a disk path (dropped from another program).
  void loaded_untitled(std::string_view text);
  // An empty document; the folder stays for the save dialog.
  void started_new();

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
  DeferredAction saved(const std::string& path);
  // The save was cancelled or failed: the deferred work is dropped.
  void save_abandoned();

 private:
  std::string path_;
  std::string folder_;
  bool uses_crlf_ = false;
  bool save_as_requested_ = false;
  DeferredAction deferred_;
};

}  // namespace vesk
