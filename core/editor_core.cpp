#include "core/editor_core.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "core/images.h"
#include "core/paths.h"

namespace vesk {
namespace {

// A reference to a string member, so that a multi-megabyte "save" text is
// handed on without another copy.
const std::string& string_member(const JsonValue& message, std::string_view key) {
  const JsonValue* member = message.find(key);
  static const std::string empty;
  return member ? member->as_string() : empty;
}

// Truncates toward zero; out-of-range counts saturate instead of being
// undefined behaviour in the conversion.
std::int32_t to_int32(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  if (value >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (value <= kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace

EditorCore::EditorCore(EditorHost* host) : host_(host) {}

void EditorCore::handle_page_message(std::string_view json) {
  JsonValue message;
  if (!parse_json(json, message) || !message.is_object()) return;
  const std::string& type = string_member(message, "type");

  if (type == "ready") {
    on_ready();
  } else if (type == "view") {
    host_->view_state(ViewState{message.get_bool("toc", false), message.get_bool("source", false),
                                message.get_number("zoom", 1.0)});
  } else if (type == "dirty") {
    const bool value = message.get_bool("value", false);
    dirty_ = value;
    host_->dirty_changed(value);
  } else if (type == "stats") {
    host_->stats(to_int32(message.get_number("cjk", 0)), to_int32(message.get_number("words", 0)));
  } else if (type == "save") {
    host_->save_document(string_member(message, "text"));
  } else if (type == "open") {
    host_->open_document_dialog();
  } else if (type == "drop") {
    host_->load_dropped_document(string_member(message, "name"), string_member(message, "text"));
  } else if (type == "image") {
    on_image_message(message);
  } else if (type == "editCommand") {
    edit_command(string_member(message, "command"));
  } else if (type == "clipboardWrite") {
    host_->clipboard_write(string_member(message, "text"), string_member(message, "html"));
  } else if (type == "openLink") {
    host_->open_link(string_member(message, "href"));
  } else if (type == "export") {
    host_->export_html(string_member(message, "html"));
  } else if (type == "status") {
    host_->set_status(string_member(message, "message"));
  } else if (type == "error") {
    host_->front_end_error(string_member(message, "message"));
  } else if (type == "log") {
    host_->page_log(string_member(message, "message"));
  } else if (type == "backup") {
    on_backup_message(message);
  }
}

void EditorCore::on_ready() {
  page_ready_ = true;
  apply_base_href();
  if (pending_load_) {
    announce_pending_text();
    host_->load_markdown(pending_markdown_);
    pending_load_ = false;
  }
  apply_theme();
  host_->page_ready();
  if (!pending_pdf_path_.empty()) {
    std::string path = std::move(pending_pdf_path_);
    pending_pdf_path_.clear();
    host_->export_pdf(path);
  }
}

void EditorCore::on_image_message(const JsonValue& message) {
  const std::string& data = string_member(message, "data");
  // Four base64 characters carry three bytes.
  if (data.size() / 4 * 3 > kMaxImageBytes + 2) {
    host_->set_status(std::string(kImageTooLargeStatus));
    return;
  }
  const std::vector<unsigned char> bytes = decode_base64(data);
  if (bytes.empty()) {
    host_->set_status("图片未插入：剪贴板内容为空");
    return;
  }
  const bool from_clipboard = string_member(message, "source") != "drop";
  insert_image(bytes, string_member(message, "mime"), string_member(message, "name"),
               from_clipboard);
}

void EditorCore::on_backup_message(const JsonValue& message) {
  // A large text comes in slices: part 0 starts a backup, every next part
  // of the same id follows in order, and the last one hands it on. A late
  // slice of an older backup is ignored; a gap drops the backup.
  const double id = message.get_number("id", 0);
  const double part = message.get_number("part", 0);
  if (part == 0) {
    backup_id_ = id;
    backup_parts_ = 0;
    backup_text_.clear();
  } else if (id != backup_id_) {
    return;
  } else if (backup_parts_ < 0 || part != static_cast<double>(backup_parts_)) {
    backup_text_.clear();
    backup_parts_ = -1;
    return;
  }
  backup_text_ += string_member(message, "text");
  ++backup_parts_;
  if (!message.get_bool("last", true)) return;
  const std::string text = std::move(backup_text_);
  backup_text_.clear();
  backup_parts_ = -1;
  host_->backup_text(text);
}

void EditorCore::apply_base_href() {
  if (!page_ready_) return;
  host_->run_script(base_dir_.empty() ? remove_base_script()
                                      : base_href_script(directory_file_url(base_dir_)));
}

void EditorCore::apply_theme() {
  if (!page_ready_) return;
  host_->run_script(page_call_string("setTheme", theme_));
}

void EditorCore::reload(const std::string& dir) {
  ++load_count_;
  pending_load_ = true;
  page_ready_ = false;
  host_->reload_page(dir);
}

void EditorCore::load_document(const std::string& markdown, const std::string& dir) {
  pending_unsaved_ = false;
  pending_keep_place_ = false;
  load(markdown, dir);
}

void EditorCore::load_unsaved_document(const std::string& markdown, const std::string& dir) {
  pending_keep_place_ = false;
  pending_unsaved_ = true;
  load(markdown, dir);
}

void EditorCore::reload_document(const std::string& markdown) {
  pending_unsaved_ = false;
  pending_keep_place_ = true;
  load(markdown, base_dir_);
}

void EditorCore::mark_unsaved() { host_->run_script(page_call_bool("markUnsaved", false)); }

void EditorCore::replace_text(const std::string& markdown) {
  if (page_ready_) host_->run_script(page_call_string("replaceText", markdown));
}

void EditorCore::announce_pending_text() {
  // Sent ahead of the text, which may travel as a web message of its own.
  if (pending_unsaved_) host_->run_script(page_call_bool("markUnsaved", true));
  if (pending_keep_place_) host_->run_script(page_call("keepPlace"));
  pending_unsaved_ = false;
  pending_keep_place_ = false;
}

void EditorCore::load(const std::string& markdown, const std::string& dir) {
  if (has_document_ && dir == base_dir_) {
    pending_markdown_ = markdown;
    pending_load_ = true;
    if (page_ready_) {
      announce_pending_text();
      host_->load_markdown(pending_markdown_);
      pending_load_ = false;
    }
    return;
  }
  // A new page has no place to keep.
  pending_keep_place_ = false;
  base_dir_ = dir;
  pending_markdown_ = markdown;
  has_document_ = true;
  if (dirty_) {
    dirty_ = false;
    host_->dirty_changed(false);
  }
  reload(dir);
}

void EditorCore::new_document() {
  base_dir_.clear();
  apply_base_href();
  pending_markdown_.clear();
  pending_load_ = false;
  host_->run_script(page_call("newDocument"));
}

void EditorCore::mark_saved(const std::string& text) {
  saved_markdown_ = text;
  const bool was_dirty = dirty_;
  dirty_ = false;
  host_->run_script(page_call_string("markSaved", text));
  if (was_dirty) host_->dirty_changed(false);
}

void EditorCore::set_base_dir(const std::string& dir) {
  if (dir == base_dir_) return;
  base_dir_ = dir;
  if (!page_ready_) return;
  pending_markdown_ = saved_markdown_;
  reload(dir);
}

void EditorCore::set_theme(const std::string& name) {
  theme_ = name == "dark" ? "dark" : "light";
  apply_theme();
}

void EditorCore::start_pdf_export(const std::string& path) {
  if (path.empty()) {
    host_->report_error("导出失败：没有指定保存位置");
    return;
  }
  if (page_ready_) {
    host_->export_pdf(path);
  } else {
    pending_pdf_path_ = path;
  }
}

void EditorCore::request_snapshot() { host_->run_script(page_call("requestSnapshot")); }

void EditorCore::request_html_export(const std::string& title) {
  host_->run_script(page_call_string("exportHtml", title));
}

void EditorCore::format(const std::string& name) {
  host_->run_script(page_call_string("format", name));
}

void EditorCore::undo() { host_->run_script(page_call("undo")); }
void EditorCore::redo() { host_->run_script(page_call("redo")); }
void EditorCore::toggle_toc() { host_->run_script(page_call("toggleToc")); }
void EditorCore::toggle_source() { host_->run_script(page_call("toggleSource")); }
void EditorCore::zoom_by(int step) { host_->run_script(page_call_int("zoomBy", step)); }
void EditorCore::reset_zoom() { host_->run_script(page_call("resetZoom")); }

void EditorCore::edit_command(const std::string& name) {
  if (name == "copy" || name == "cut") {
    host_->run_script(page_call_bool("clipboardCopy", name == "cut"));
    return;
  }
  if (name != "paste") return;

  std::vector<unsigned char> bytes;
  std::string mime;
  if (host_->read_clipboard_image(bytes, mime) && !bytes.empty()) {
    insert_image(bytes, mime.empty() ? "image/png" : mime, "paste", true);
    return;
  }
  std::string text;
  host_->read_clipboard_text(text);
  if (text.empty()) {
    host_->set_status("剪贴板里没有可粘贴的文本");
  } else {
    host_->run_script(page_call_string("clipboardPaste", text));
  }
}

bool EditorCore::can_accept_drop(const std::vector<std::string>& paths) const {
  for (const std::string& path : paths) {
    if (is_markdown_path(path) || is_image_path(path)) return true;
  }
  return false;
}

bool EditorCore::handle_dropped_paths(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (is_markdown_path(path)) {
      host_->open_path(absolute_normal_path(path));
      return true;
    }
  }
  bool any_image = false;
  for (const std::string& path : paths) {
    if (!is_image_path(path)) continue;
    any_image = true;
    insert_image_file(path);
  }
  return any_image;
}

bool EditorCore::insert_image(const std::vector<unsigned char>& bytes, const std::string& mime,
                              const std::string& name, bool from_clipboard) {
  if (bytes.size() > kMaxImageBytes) {
    host_->set_status(std::string(kImageTooLargeStatus));
    return false;
  }
  const StoredImage stored = store_image(base_dir_, bytes, mime, name, from_clipboard);
  if (!stored.ok) {
    host_->set_status(stored.error);
    return false;
  }
  host_->run_script(page_call_string("insertImage", stored.relative_path));
  host_->set_status("已保存图片：" + stored.relative_path);
  return true;
}

bool EditorCore::insert_image_file(const std::string& path) {
  // Refused before reading: the point of the limit is not to load it at all.
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(to_fs_path(path), error);
  if (!error && size > kMaxImageBytes) {
    host_->set_status(std::string(kImageTooLargeStatus));
    return false;
  }
  std::vector<unsigned char> bytes;
  if (!read_file_bytes(path, bytes)) {
    host_->set_status("图片未插入：无法读取 " + path_file_name(path));
    return false;
  }
  return insert_image(bytes, "", path_file_name(path), false);
}

}  // namespace vesk
