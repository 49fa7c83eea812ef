// The main window's export commands: HTML written next to the document with
// its images inside, and the page printed to an A4 PDF by the web control.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/editor_core.h"
#include "export/html_export.h"
#include "export/pdf_export.h"
#include "webhost/web_host_view.h"
#include "platform/atomic_write.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "app/documents.h"
#include "app/main_window.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

// Size in bytes, or 0 when the file cannot be asked.
std::int64_t file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(to_utf16(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// What differs between the two exports in choosing the file.
struct ExportTarget {
  const char* prompt_variable;  // set: only report the suggestion
  const char* as_variable;      // set: the file, without asking
  const char* log_name;         // "NATIVE <log_name> suggested=…"
  const wchar_t* dialog_title;
  const char* extension;
};
constexpr ExportTarget kHtmlTarget = {"VESK_EXPORT_PROMPT", "VESK_EXPORT_AS", "export", L"导出 HTML", "html"};
constexpr ExportTarget kPdfTarget = {"VESK_PDF_PROMPT", "VESK_PDF_AS", "pdf", L"导出 PDF", "pdf"};

// The file to write, with its extension; empty when there is nothing to
// write (the suggestion was only reported, or the dialog was cancelled).
std::string choose_export_file(HWND owner, const ExportTarget& kind, const std::string& suggested) {
  if (environment_is_set(kind.prompt_variable)) {
    write_diagnostic_line(std::string("NATIVE ") + kind.log_name + " suggested=" + suggested);
    return {};
  }
  std::string target = read_environment(kind.as_variable);
  if (target.empty()) target = show_save_dialog(owner, kind.dialog_title, suggested, to_utf16(kind.extension));
  return target.empty() ? target : ensure_extension(target, kind.extension);
}

}  // namespace

void VeskMainWindow::export_html(const std::string& html) {
  if (busy_with_modal_flow(5)) return;
  if (html.empty()) {
    set_status("导出失败：页面没有返回内容");
    return;
  }
  // Without a path the document's folder, else the Documents folder, stands
  // in for the document's own (asked only then: it is a shell call).
  const std::string fallback_folder =
      document_path_.empty() ? (document_dir_.empty() ? default_document_folder() : document_dir_) : std::string();
  const std::string target =
      choose_export_file(window_, kHtmlTarget, suggested_export_path(document_path_, fallback_folder, ".html"));
  if (target.empty()) return;

  std::size_t missing = 0;
  const std::string folder = export_image_folder(document_path_, fallback_folder);
  const std::string page = inline_local_images(html, folder, missing);
  if (!write_file_atomically(target, page)) {
    show_error_box(window_, L"导出失败", "无法写入文件：\n" + target);
    return;
  }
  write_diagnostic_line("NATIVE export path=" + target + " missing=" + std::to_string(missing));
  set_status(export_status_text(target, missing));
}

bool VeskMainWindow::pdf_export_busy() {
  if (!pdf_export_running_) return false;
  write_diagnostic_line("NATIVE pdf busy");
  set_status("正在导出 PDF，请稍候");
  return true;
}

void VeskMainWindow::begin_pdf_export() {
  if (!core_ || document_path_.empty() || pdf_export_busy()) return;
  const std::string target = choose_export_file(window_, kPdfTarget, suggested_export_path(document_path_, "", ".pdf"));
  if (target.empty()) return;
  set_status("正在导出 PDF…");
  core_->start_pdf_export(target);
}

void VeskMainWindow::export_pdf_requested(const std::string& path) {
  if (!web_host_ || path.empty() || pdf_export_busy()) return;
  // A stale file must not pass for a fresh export if printing fails.
  DeleteFileW(to_utf16(path).c_str());
  WebHostView* view = web_host_.get();
  PdfHost host;
  host.evaluate = [view](const std::string& script, PdfHost::ScriptResult callback) {
    view->evaluate_script_result(script, std::move(callback));
  };
  host.print = [view](const std::string& target, double scale, PdfHost::Printed callback) {
    view->print_to_pdf(target, scale, std::move(callback));
  };
  // The web host drops its callbacks once closed, and it is closed before
  // the window goes away, so `this` and `view` outlive every callback.
  pdf_export_running_ = true;
  VeskExportPdf(host, path, [this, path](bool ok, const std::string& message) {
    finish_pdf_export(path, ok, message);
  });
}

void VeskMainWindow::finish_pdf_export(const std::string& path, bool ok, const std::string& message) {
  pdf_export_running_ = false;
  if (ok) {
    write_diagnostic_line("NATIVE pdf path=" + path + " size=" + std::to_string(file_size(path)));
    set_status("已导出到 " + path);
    return;
  }
  write_diagnostic_line("NATIVE pdf failed " + message);
  set_status(message);
  show_error_box(window_, L"导出失败", message);
}

}  // namespace vesk::win
