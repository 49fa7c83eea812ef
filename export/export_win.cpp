// The exports' Windows side: choosing the file (asking, or as the automation
// variables say) and writing the HTML page with its images inside. The
// window hands in what it knows of the document.
#include "export/export_win.h"

#include <string>

#include "core/paths.h"
#include "export/html_export.h"
#include "platform/atomic_write.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

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

std::string export_html_file(HWND owner, const std::string& html, const std::string& document_path,
                             const std::string& document_dir) {
  if (html.empty()) return "导出失败：页面没有返回内容";
  // Without a path the document's folder, else the Documents folder, stands
  // in for the document's own (asked only then: it is a shell call).
  const std::string fallback_folder =
      document_path.empty() ? (document_dir.empty() ? default_document_folder() : document_dir) : std::string();
  const std::string target =
      choose_export_file(owner, kHtmlTarget, suggested_export_path(document_path, fallback_folder, ".html"));
  if (target.empty()) return {};

  std::size_t missing = 0;
  const std::string folder = export_image_folder(document_path, fallback_folder);
  const std::string page = inline_local_images(html, folder, missing);
  if (!write_file_atomically(target, page)) {
    show_error_box(owner, L"导出失败", "无法写入文件：\n" + target);
    return {};
  }
  write_diagnostic_line("NATIVE export path=" + target + " missing=" + std::to_string(missing));
  return export_status_text(target, missing);
}

std::string choose_pdf_file(HWND owner, const std::string& document_path) {
  return choose_export_file(owner, kPdfTarget, suggested_export_path(document_path, "", ".pdf"));
}

}  // namespace vesk::win
