// The main window's export commands: HTML written next to the document with
// its images inside, and the page printed to an A4 PDF by the web control.
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/main_window.h"
#include "core/editor_core.h"
#include "export/export_win.h"
#include "export/pdf_export.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"
#include "webhost/web_host_view.h"

namespace vesk::win {
namespace {

// Size in bytes, or 0 when the file cannot be asked.
std::int64_t file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(to_utf16(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

void VeskMainWindow::export_html(const std::string& html) {
  if (busy_with_modal_flow(Command::ExportHtml)) return;
  const std::string status = export_html_file(window_, html, document_.path(), document_.folder());
  if (!status.empty()) set_status(status);
}

bool VeskMainWindow::pdf_export_busy() {
  if (!pdf_export_running_) return false;
  write_diagnostic_line("NATIVE pdf busy");
  set_status("正在导出 PDF，请稍候");
  return true;
}

void VeskMainWindow::begin_pdf_export() {
  if (!core_ || document_.untitled() || pdf_export_busy()) return;
  const std::string target = choose_pdf_file(window_, document_.path());
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
  host.later = [this](std::function<void()> callback) {
    pdf_wait_ = std::move(callback);
    SetTimer(window_, kPdfWaitTimer, 150, nullptr);
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
  // Whatever the control wrote before failing is not a PDF to keep.
  DeleteFileW(to_utf16(path).c_str());
  write_diagnostic_line("NATIVE pdf failed " + message);
  set_status(message);
  show_error_box(window_, L"导出失败", message);
}

}  // namespace vesk::win
