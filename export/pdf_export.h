// Printing the editor page to an A4 PDF: the page is told to prepare
// (pdfBegin, which reports the content size), printed at a scale that fits
// the content into the printable width, and told to restore itself (pdfEnd)
// whatever happened. Portable: the web host is reached only through PdfHost.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/a4_page.h"

namespace vesk {

inline constexpr std::string_view kPdfBeginScript = "window.vesk && window.vesk.pdfBegin()";
inline constexpr std::string_view kPdfEndScript = "window.vesk && window.vesk.pdfEnd()";
// True while the page is still drawing what the print shows (diagrams); asked
// before pdfBegin, again after each wait, at most kPdfPendingChecks times.
inline constexpr std::string_view kPdfPendingScript =
    "!!(window.vesk && window.vesk.pdfPending && window.vesk.pdfPending())";
inline constexpr int kPdfPendingChecks = 200;

// The printable width of A4 between the margins, in CSS pixels.
inline constexpr double kPdfPrintableWidth = kA4PrintableWidthPixels;
// Content narrower or lower than this is nothing to print.
inline constexpr double kPdfMinimumContentSize = 10.0;

inline constexpr std::string_view kPdfNotReadyMessage = "导出失败：页面还没准备好";
inline constexpr std::string_view kPdfNoContentMessage = "导出失败：没有可导出的正文";
inline constexpr std::string_view kPdfPrintFailedMessage = "导出失败：无法生成 PDF";

// What an export needs of the web host.
struct PdfHost {
  using ScriptResult = std::function<void(bool ok, const std::string& json)>;
  using Printed = std::function<void(bool ok)>;
  // Runs a script in the page; the callback (may be empty) gets its JSON value.
  std::function<void(const std::string& script, ScriptResult callback)> evaluate;
  // Prints the page to `path`; scale 0 leaves the control's own.
  std::function<void(const std::string& path, double scale, Printed callback)> print;
  // Runs the callback after a short wait (about 150 ms); empty: no waiting.
  std::function<void(std::function<void()> callback)> later;
};

using PdfExportDone = std::function<void(bool ok, const std::string& message)>;

// Runs one export as a chain of host callbacks; `done` gets (true, "") or
// (false, the message to show).
void VeskExportPdf(const PdfHost& host, const std::string& path, PdfExportDone done);

// A script result that is a JSON string (the page returned the JSON text of
// the size rather than the object) has its quotes and escapes taken off;
// anything else comes back as it is.
std::string unwrap_script_result(std::string_view result);

// The number after "<key>": in `json` as atof reads it; 0 when absent.
double size_member(std::string_view json, char key);

// The smallest scale the web control prints at; it refuses a smaller one.
inline constexpr double kPdfMinimumScale = 0.1;

// min(658 / width, 1), and never below kPdfMinimumScale: a very wide page
// comes out small rather than at full size and cut off.
double pdf_scale_for_width(double width);

}  // namespace vesk
