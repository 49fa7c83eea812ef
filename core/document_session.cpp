#include "core/document_session.h"

#include <utility>

#include "core/paths.h"

namespace vesk {

std::string parent_directory(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return std::string(path.substr(0, 1));
  return std::string(path.substr(0, slash));
}

void strip_utf8_bom(std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
}

bool contains_crlf(std::string_view bytes) { return bytes.find("\r\n") != std::string_view::npos; }

std::string restore_crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       lf = text.find('\n', lf + 1)) {
    out.append(text.substr(start, lf - start));
    if (lf == 0 || text[lf - 1] != '\r') out += '\r';
    out += '\n';
    start = lf + 1;
  }
  out.append(text.substr(start));
  return out;
}

void DocumentSession::loaded_welcome() {
  path_.clear();
  folder_.clear();
  disk_ = {};
}

void DocumentSession::opened(const std::string& path, std::string_view text, const DiskState& disk) {
  path_ = path;
  folder_ = parent_directory(path);
  uses_crlf_ = contains_crlf(text);
  disk_ = disk;
  declined_ = {};
}

void DocumentSession::recovered(const BackupRecord& record) {
  path_ = record.path;
  folder_ = parent_directory(record.path);
  uses_crlf_ = record.crlf;
  disk_ = record.loaded;
  declined_ = {};
}

void DocumentSession::loaded_untitled(std::string_view text) {
  path_.clear();
  folder_.clear();
  uses_crlf_ = contains_crlf(text);
  disk_ = {};
}

void DocumentSession::started_new() {
  path_.clear();
  save_as_requested_ = false;
  uses_crlf_ = false;
  disk_ = {};
}

void DocumentSession::moved_to(const std::string& path) {
  path_ = path;
  folder_ = parent_directory(path);
}

std::string DocumentSession::dialog_folder(std::string_view default_folder) const {
  return folder_.empty() ? std::string(default_folder) : folder_;
}

void DocumentSession::defer(AfterSaveAction action, std::string path) {
  deferred_.action = action;
  deferred_.path = std::move(path);
}

SavePlan DocumentSession::plan_save(std::string_view default_folder) {
  const bool save_as = save_as_requested_;
  save_as_requested_ = false;
  SavePlan plan;
  plan.path = path_;
  if (path_.empty() || save_as) {
    plan.ask_for_path = true;
    plan.proposed = path_.empty() ? dialog_folder(default_folder) + "\\未命名.md" : path_;
  }
  return plan;
}

std::string DocumentSession::chosen_save_path(std::string_view chosen) {
  return ensure_extension(chosen, "md");
}

std::string DocumentSession::bytes_for_save(std::string_view text) const {
  return uses_crlf_ ? restore_crlf(text) : std::string(text);
}

DeferredAction DocumentSession::saved(const std::string& path, const DiskState& disk) {
  path_ = path;
  folder_ = parent_directory(path);
  disk_ = disk;
  declined_ = {};
  return std::exchange(deferred_, DeferredAction{});
}

void DocumentSession::save_abandoned() { deferred_ = DeferredAction{}; }

BackupRecord DocumentSession::backup_of(std::string text, std::int64_t now) const {
  BackupRecord record;
  record.path = path_;
  record.crlf = uses_crlf_;
  record.time = now;
  record.loaded = disk_;
  record.text = std::move(text);
  return record;
}

std::optional<std::string> DocumentSession::backup_written(bool ok) {
  const bool was_failing = std::exchange(backup_failing_, !ok);
  if (ok || was_failing) return std::nullopt;
  return std::string(kBackupFailedStatus);
}

void DocumentSession::reloaded(const DiskState& now, std::string_view text) {
  disk_ = now;
  declined_ = {};
  uses_crlf_ = contains_crlf(text);
}

ExternalAction DocumentSession::on_disk_seen(const DiskState& now, DiskChange change, bool dirty) {
  if (path_.empty()) return ExternalAction::None;
  switch (change) {
    case DiskChange::None:
      // A touch: remember the new time, so the next look needs no hash.
      if (now.exists) disk_ = now;
      return ExternalAction::None;
    case DiskChange::Gone:
      disk_ = {};
      declined_ = {};
      return ExternalAction::MarkGone;
    case DiskChange::Changed:
      if (declined_.exists && declined_.size == now.size && declined_.hash == now.hash) {
        return ExternalAction::None;
      }
      return dirty ? ExternalAction::Ask : ExternalAction::Reload;
  }
  return ExternalAction::None;
}

bool DocumentSession::save_needs_asking(DiskChange change) const {
  return !path_.empty() && change == DiskChange::Changed;
}

}  // namespace vesk
