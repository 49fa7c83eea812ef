// The exports' Windows side. The window that runs an export hands in the
// document's path and folder; the PDF itself is printed by the web control
// through the PdfHost the window builds (export/pdf_export.h).
#pragma once

#include <windows.h>

#include <string>

namespace vesk::win {

// Writes the page's `html`, its local images inlined, to a file chosen for
// the document at `document_path` (suggested in `document_dir`, else the
// Documents folder, while it has none). Returns the status line to show, or
// empty when nothing is to be shown: no file was chosen, or the write failed
// and an error box owned by `owner` said so.
std::string export_html_file(HWND owner, const std::string& html, const std::string& document_path,
                             const std::string& document_dir);

// The PDF file to print the document to, with its extension; empty when
// there is nothing to write (the suggestion was only reported, or the dialog
// was cancelled).
std::string choose_pdf_file(HWND owner, const std::string& document_path);

}  // namespace vesk::win
