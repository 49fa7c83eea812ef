// EditorCore: the platform-neutral state the native side keeps about the
// page, the dispatch of the page's messages, and the page calls it makes.
// One per main window; UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/editor_host.h"
#include "core/json.h"

namespace vesk {

class EditorCore {
 public:
  explicit EditorCore(EditorHost* host);
  EditorCore(const EditorCore&) = delete;
  EditorCore& operator=(const EditorCore&) = delete;

  // One JSON message posted by the page. Malformed messages are dropped.
  void handle_page_message(std::string_view json);

  void load_document(const std::string& markdown, const std::string& dir);
  // A text that is not what is on disk (a recovered backup): loaded like
  // load_document, and the page holds it as unsaved.
  void load_unsaved_document(const std::string& markdown, const std::string& dir);
  // The same document's new text from disk: the page keeps its caret and
  // scroll position.
  void reload_document(const std::string& markdown);
  // The text in the page is no longer what is on disk (the file is gone).
  void mark_unsaved();
  // Replaces the whole text as one undoable edit (a version from the local
  // history); the saved baseline stays.
  void replace_text(const std::string& markdown);
  void new_document();
  void mark_saved(const std::string& text);
  void set_base_dir(const std::string& dir);
  void set_theme(const std::string& name);
  void start_pdf_export(const std::string& path);

  void request_snapshot();
  void request_html_export(const std::string& title);
  void format(const std::string& name);
  void undo();
  void redo();
  void toggle_toc();
  void toggle_source();
  void zoom_by(int step);
  void reset_zoom();
  // "copy", "cut" or "paste"; anything else does nothing.
  void edit_command(const std::string& name);

  // Drops: a Markdown file opens, image files are inserted.
  bool can_accept_drop(const std::vector<std::string>& paths) const;
  bool handle_dropped_paths(const std::vector<std::string>& paths);

  // Stores the image under base_dir/assets and inserts a reference to it.
  bool insert_image(const std::vector<unsigned char>& bytes, const std::string& mime,
                    const std::string& name, bool from_clipboard);
  bool insert_image_file(const std::string& path);

  bool is_dirty() const { return dirty_; }
  bool is_page_ready() const { return page_ready_; }
  std::uint64_t load_count() const { return load_count_; }
  const std::string& base_dir() const { return base_dir_; }
  const std::string& theme() const { return theme_; }

 private:
  void on_ready();
  void load(const std::string& markdown, const std::string& dir);
  void on_image_message(const JsonValue& message);
  void on_backup_message(const JsonValue& message);
  void apply_base_href();
  void apply_theme();
  void reload(const std::string& dir);
  void set_dirty(bool dirty);
  // What the page must know before the pending text arrives.
  void announce_pending_text();

  EditorHost* host_;  // not owned; outlives the core
  std::string base_dir_;
  std::string pending_markdown_;
  std::string saved_markdown_;
  std::string pending_pdf_path_;
  std::string theme_ = "light";
  bool pending_load_ = false;
  bool pending_unsaved_ = false;
  bool pending_keep_place_ = false;
  bool has_document_ = false;
  bool page_ready_ = false;
  bool dirty_ = false;
  std::uint64_t load_count_ = 0;
  // The backup being gathered from its slices.
  std::string backup_text_;
  double backup_id_ = 0;
  std::int64_t backup_parts_ = -1;
};

}  // namespace vesk
