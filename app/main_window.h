// VeskMainWindow: the one top-level window, owner of the web host, the host
// adapter and the editor core, and the home of the document, view and
// automation state of a run. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/commands.h"
#include "core/document_session.h"
#include "core/editor_core.h"
#include "app/documents.h"
#include "app/keyboard.h"
#include "app/window_messages.h"

namespace vesk::win {

class ShellHost;
class WebHostView;
class DropTarget;
class FolderPanel;
class FolderWatcher;

// Vesk.exe --recover-backup <entry file>: a start that brings back one
// crash backup, asked for by the start that found it.
inline constexpr wchar_t kRecoverSwitch[] = L"--recover-backup";
// Vesk.exe --open-copy <file>: a start that shows the file's text as an
// untitled, unsaved document (a version from the local history).
inline constexpr wchar_t kOpenCopySwitch[] = L"--open-copy";

class VeskMainWindow {
 public:
  explicit VeskMainWindow(HINSTANCE instance);
  ~VeskMainWindow();
  VeskMainWindow(const VeskMainWindow&) = delete;
  VeskMainWindow& operator=(const VeskMainWindow&) = delete;

  // Registers the class, creates the window (WM_CREATE builds everything it
  // owns) and installs the keyboard hook.
  bool create_window();
  void show_window(int show_command);
  int run_message_loop();

  HWND window() const { return window_; }
  EditorCore* core() const { return core_.get(); }
  WebHostView* web_host() const { return web_host_.get(); }
  HACCEL accelerator_table() const { return accelerator_table_; }

  // Status line; held until the page is ready.
  void set_status(const std::string& text);

  // Documents.
  void load_welcome_document();
  void open_document(const std::string& path);
  void open_with_dialog();
  void start_new_document();
  void save_document(const std::string& text);
  bool confirm_unsaved_changes(AfterSaveAction action, const std::string& path);
  static UnsavedAnswer ask_unsaved_changes(HWND owner, const std::string& display_name);
  std::string display_name() const;
  void update_title();
  bool write_document_file(const std::string& text, const std::string& path);
  bool write_document_bytes(const std::string& bytes, const std::string& path);
  // A document that arrived without a disk path (dropped from another
  // program): shown untitled, with no folder.
  void load_dropped_document(const std::string& text);

  // Crash backups (backups_win.cpp): the page's text while it is unsaved;
  // the entries of processes that are gone, offered at start (the first
  // into this window when `window_free`); one entry taken into this window.
  void backup_text(const std::string& text);
  void on_dirty_changed(bool dirty);
  void recover_at_start(bool window_free);
  bool recover_entry(const std::string& file);

  // Local history (history_win.cpp): the bytes a save to `path` replaces
  // are kept as a version; 文件 › 历史版本…; a version shown untitled.
  void keep_history_version(const std::string& path, const std::string& new_bytes);
  void history_command();
  void open_copy(const std::string& file);

  // Other programs' changes (external_changes_win.cpp): looks at the
  // document's file and reloads, asks or marks the text unsaved.
  void check_external_change();

  // Host operations that belong to the window rather than the core.
  void open_path_requested(const std::string& path);
  void on_page_ready();
  void on_view_state(const ViewState& state);
  void open_link(const std::string& href);
  void front_end_error(const std::string& message);
  void export_html(const std::string& html);
  void export_pdf_requested(const std::string& path);
  void clipboard_write(const std::string& text, const std::string& html);
  void read_clipboard_text(std::string& text);
  bool read_clipboard_image(std::vector<unsigned char>& bytes, std::string& mime);

  // Commands from menus, accelerators, keys and automation.
  void run_command(int id);
  void run_command(Command command) { run_command(command_id(command)); }
  // True, and logged, when a dialog of ours is up, so `command` (or a page
  // request of its kind) must not start a second one inside it.
  bool busy_with_modal_flow(Command command);
  // A key the page did not want: true when it ran a command (or the native
  // image paste) and must not reach the page.
  bool handle_page_accelerator(std::uint32_t key, std::uint16_t modifiers, bool repeat = false);
  void update_theme();
  void refresh_menu_state();
  // 视图 › 主题 (themes_win.cpp): the remembered choice at start, a choice
  // from the menu, 深色模式 or 跟随系统外观 replacing a style sheet theme,
  // the style sheet sent after every page load, the menu's items.
  void restore_theme_choice();
  void choose_theme(int index);
  void clear_theme_choice(bool follow_system);
  void apply_reader_theme();
  void fill_theme_menu(HMENU menu);
  void open_themes_folder();

  // The folder panel, quick open, search across files and new windows
  // (folder_commands_win.cpp).
  void open_folder_command();
  void toggle_files_command();
  void quick_open_command();
  void search_files_command();
  void new_window_command();
  // The file or folder at `from` was renamed to `to`: the open document
  // follows it when it was that file or lay inside that folder.
  void document_moved(const std::string& from, const std::string& to);
  const std::string& folder_root() const;
  // Shows `folder` in the panel as the chosen folder.
  void open_folder(const std::string& folder);
  // The recent list (recent_win.cpp).
  void remember_recent(const std::string& path, bool folder);
  void fill_recent_menu();
  void on_recent_menu(UINT id);
  // Marks the open document in the panel's tree.
  void show_current_in_folder();
  bool files_visible() const { return files_visible_; }

  const DocumentSession& document() const { return document_; }
  const std::string& document_path() const { return document_.path(); }
  const std::string& document_dir() const { return document_.folder(); }
  bool uses_crlf() const { return document_.uses_crlf(); }
  const std::string& pending_status() const { return pending_status_; }

 private:
  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam);
  LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT on_create();
  void on_destroy();
  void on_close();
  void on_timer(UINT_PTR id);
  void resize_web_host();
  void on_page_loaded();
  void on_page_message(std::string_view json);
  void on_menu_command(UINT id);
  bool handle_key_down(std::uint32_t key, bool repeat);
  void run_after_save_action(const DeferredAction& deferred);
  // A page message of the folder panel ("folder…"); true when it was one.
  bool handle_folder_message(std::string_view json);
  // On every page load: the panel's layout and, when it is shown, its folder.
  void show_folder_in_page();
  void ensure_folder_panel();
  std::string wanted_folder_root() const;

  // Pieces that belong to the menus, keyboard, drop target, automation and
  // updater.
  void install_menus();
  void install_keyboard_hook();
  void ensure_drop_target();
  void revoke_drop_target();
  void run_startup_command();
  void take_snapshot();
  void run_drop_probe();
  void start_updater();
  void on_update_timer();
  void check_for_updates_now();
  void on_update_result(LPARAM result);
  // Frees a posted update result without acting on it.
  static void discard_update_result(LPARAM result);
  // Messages that arrive while WM_DESTROY tears down (the web control's
  // Close may dispatch them) are not acted on; true when `message` is one.
  bool drop_during_teardown(UINT message, LPARAM lparam);
  void begin_pdf_export();
  void export_pdf_command();
  void finish_pdf_export(const std::string& path, bool ok, const std::string& message);
  // True, with the status said, while an export prints: the control prints
  // one at a time and refuses another.
  bool pdf_export_busy();
  std::string backup_file_path() const;
  void remove_backup();
  // The document's file now; its bytes read (and hashed) only when its size
  // or time moved.
  DiskChange look_at_disk(DiskState& now, std::string& bytes) const;
  void reload_from_disk(std::string bytes, const DiskState& now);
  // Whether a save writes over a file another program changed.
  enum class SaveOverChange { Write, Stop, SaveAs };
  SaveOverChange confirm_save_over_change();
  void watch_document_folder();

  // Fields in construction order; the owned objects are released in reverse
  // order of creation by WM_DESTROY.
  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  std::unique_ptr<WebHostView> web_host_;
  std::unique_ptr<ShellHost> host_adapter_;
  std::unique_ptr<EditorCore> core_;

 public:
  // Keyboard-hook state, shared with the hook procedure.
  HHOOK keyboard_hook = nullptr;
  KeyboardState keys;
  // Sets the modifiers from the real key state; on activation.
  void resync_keyboard();

 private:
  HACCEL accelerator_table_ = nullptr;
  HWND drop_window_ = nullptr;
  DropTarget* drop_target_ = nullptr;
  std::vector<HWND> drop_refused_;  // windows whose RegisterDragDrop failed
  DocumentSession document_;
  std::string pending_status_;
  bool toc_visible_ = false;
  bool source_view_ = false;
  // The next step of a PDF export waiting for the page to finish drawing.
  std::function<void()> pdf_wait_;
  std::string reader_theme_;  // the style sheet theme's name; empty: none
  HMENU theme_menu_ = nullptr;
  bool follow_system_theme_ = true;
  bool dark_theme_ = false;
  bool startup_command_done_ = false;
  bool first_ready_done_ = false;
  bool drop_probe_done_ = false;
  std::vector<std::string> drop_probe_paths_;
  double last_zoom_ = 1.0;
  bool pdf_export_running_ = false;
  bool tearing_down_ = false;
  std::unique_ptr<FolderPanel> folder_panel_;
  HMENU recent_menu_ = nullptr;  // owned by the menu bar
  std::vector<std::string> recent_paths_;  // as the menu shows them
  std::string chosen_folder_;  // from "打开文件夹…"; else the document's folder
  bool files_visible_ = false;
  int files_width_ = 0;
  bool checking_disk_ = false;
  std::unique_ptr<FolderWatcher> folder_watcher_;
};

// Names the main window once it exists; the keyboard hook reaches the window
// only through it.
extern VeskMainWindow* main_window_instance;

}  // namespace vesk::win
