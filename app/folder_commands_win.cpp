// The main window's side of the folder panel: its commands, its messages, the
// folder it shows, and the open document following a rename.
#include <windows.h>

#include "app/folder_panel.h"
#include "app/documents.h"
#include "app/folder_rules.h"
#include "app/main_window.h"
#include "core/editor_host.h"
#include "core/json.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"
#include "webhost/web_host_view.h"

namespace vesk::win {
namespace {

std::string layout_json(bool visible, int width) {
  return std::string("{\"visible\":") + (visible ? "true" : "false") + ",\"width\":" + std::to_string(width) + "}";
}

}  // namespace

void VeskMainWindow::ensure_folder_panel() {
  if (folder_panel_) return;
  FolderPanelCallbacks callbacks;
  callbacks.run_script = [this](const std::string& script) {
    if (web_host_ && core_ && core_->is_page_ready()) web_host_->run_script(script);
  };
  callbacks.open_file = [this](const std::string& path, bool new_window) {
    if (!new_window) {
      open_path_requested(path);
    } else if (!FolderPanel::start_new_window(path)) {
      set_status("无法打开新窗口");
    }
  };
  callbacks.set_status = [this](const std::string& text) { set_status(text); };
  callbacks.moved = [this](const std::string& from, const std::string& to) { document_moved(from, to); };
  folder_panel_ = std::make_unique<FolderPanel>(window_, kFolderResultMessage, std::move(callbacks));
}

std::string VeskMainWindow::wanted_folder_root() const {
  return chosen_folder_.empty() ? document_.folder() : chosen_folder_;
}

const std::string& VeskMainWindow::folder_root() const {
  static const std::string none;
  return folder_panel_ ? folder_panel_->root() : none;
}

void VeskMainWindow::show_folder_in_page() {
  if (!web_host_) return;
  if (!files_width_) FolderPanel::load_layout(files_visible_, files_width_);
  web_host_->run_script("window.vesk && window.vesk.setFilesPanel && window.vesk.setFilesPanel(" +
                        layout_json(files_visible_, files_width_) + ");");
  refresh_menu_state();
  const std::string root = wanted_folder_root();
  if (!files_visible_) return;
  if (root.empty()) {
    web_host_->run_script("window.vesk && window.vesk.folderEntries && window.vesk.folderEntries(" +
                          folder_entries_json("", "", {}, 0, 0, true) + ");");
    return;
  }
  ensure_folder_panel();
  folder_panel_->open_root(root);
  show_current_in_folder();
}

void VeskMainWindow::open_folder_command() {
  std::string folder = read_environment("VESK_OPEN_FOLDER");
  if (folder.empty()) {
    const std::string start = wanted_folder_root().empty() ? default_document_folder() : wanted_folder_root();
    folder = show_folder_dialog(window_, start);
  }
  if (!folder.empty()) open_folder(folder);
}

void VeskMainWindow::open_folder(const std::string& folder) {
  chosen_folder_ = full_path(folder);
  files_visible_ = true;
  FolderPanel::save_layout(true, files_width_);
  remember_recent(chosen_folder_, true);
  write_diagnostic_line("NATIVE open folder " + chosen_folder_);
  show_folder_in_page();
}

void VeskMainWindow::toggle_files_command() {
  files_visible_ = !files_visible_;
  FolderPanel::save_layout(files_visible_, files_width_);
  show_folder_in_page();
}

void VeskMainWindow::quick_open_command() {
  const std::string root = wanted_folder_root();
  if (!root.empty() && (!folder_panel_ || folder_panel_->root() != root)) {
    ensure_folder_panel();
    folder_panel_->open_root(root);
  }
  if (web_host_) web_host_->run_script("window.vesk && window.vesk.quickOpen && window.vesk.quickOpen();");
}

void VeskMainWindow::search_files_command() {
  // The search panel is not built yet; the command keeps its id and name.
  set_status("在文件中搜索尚不可用");
}

void VeskMainWindow::new_window_command() {
  if (!FolderPanel::start_new_window("")) set_status("无法打开新窗口");
}

bool VeskMainWindow::handle_folder_message(std::string_view json) {
  // Page messages start with their type; only ours are parsed twice.
  if (json.substr(0, 24).find("\"type\":\"folder") == std::string_view::npos) return false;
  JsonValue message;
  if (!parse_json(json, message) || !message.is_object()) return true;
  const JsonValue* type = message.find("type");
  if (type && type->is_string() && type->text == "folderLayout") {
    files_visible_ = message.get_bool("visible", files_visible_);
    const double width = message.get_number("width", 0);
    if (width >= 120 && width <= 2000) files_width_ = static_cast<int>(width);
    FolderPanel::save_layout(files_visible_, files_width_);
    refresh_menu_state();
    return true;
  }
  if (type && type->is_string() && type->text == "folderOpenDialog") {
    open_folder_command();
    return true;
  }
  ensure_folder_panel();
  folder_panel_->handle_page_message(message);
  return true;
}

void VeskMainWindow::document_moved(const std::string& from, const std::string& to) {
  const std::string& path = document_.path();
  if (path.empty()) return;
  const auto same = [](const std::string& a, const std::string& b) {
    return _wcsicmp(to_utf16(a).c_str(), to_utf16(b).c_str()) == 0;
  };
  std::string moved;
  if (same(path, from)) {
    moved = to;
  } else if (path.size() > from.size() && path[from.size()] == '\\' && same(path.substr(0, from.size()), from)) {
    moved = to + path.substr(from.size());
  } else {
    return;
  }
  const std::string old_dir = document_.folder();
  document_.moved_to(moved);
  if (!chosen_folder_.empty() && same(chosen_folder_, from)) chosen_folder_ = to;
  if (!same(old_dir, document_.folder())) {
    if (core_) core_->set_base_dir(document_.folder());
    watch_document_folder();
  }
  update_title();
  show_current_in_folder();
  write_diagnostic_line("NATIVE document moved " + document_.path());
}

void VeskMainWindow::show_current_in_folder() {
  if (!web_host_ || !core_ || !core_->is_page_ready()) return;
  const std::string root = wanted_folder_root();
  std::string rel;
  const std::string& path = document_.path();
  if (!root.empty() && path.size() > root.size() + 1 && path[root.size()] == '\\' &&
      _wcsicmp(to_utf16(path.substr(0, root.size())).c_str(), to_utf16(root).c_str()) == 0) {
    rel = path.substr(root.size() + 1);
    for (char& c : rel) c = c == '\\' ? '/' : c;
  }
  web_host_->run_script(page_call_string("folderCurrent", rel));
}

}  // namespace vesk::win
