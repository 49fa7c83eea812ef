#include "export/pdf_export.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace vesk {

std::string unwrap_script_result(std::string_view result) {
  if (result.size() < 2 || result.front() != '"') return std::string(result);
  const std::string_view inner = result.substr(1, result.size() - 2);
  std::string out;
  out.reserve(inner.size());
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '\\' && i + 1 < inner.size()) {
      ++i;
      out += inner[i] == 'n' ? '\n' : inner[i];
      continue;
    }
    out += inner[i];
  }
  return out;
}

double size_member(std::string_view json, char key) {
  const char pattern[] = {'"', key, '"', ':'};
  const std::size_t at = json.find(std::string_view(pattern, sizeof pattern));
  if (at == std::string_view::npos) return 0;
  // atof needs a terminated string; the number is short, so copy what follows.
  const std::string rest(json.substr(at + sizeof pattern, 64));
  return std::atof(rest.c_str());
}

double pdf_scale_for_width(double width) {
  return std::clamp(kPdfPrintableWidth / width, kPdfMinimumScale, 1.0);
}

namespace {

void print_page(const std::shared_ptr<const PdfHost>& shared, const std::string& path, const PdfExportDone& done) {
  shared->evaluate(std::string(kPdfBeginScript), [shared, path, done](bool ok, const std::string& result) {
    const std::string size = unwrap_script_result(ok ? result : std::string());
    const double width = size_member(size, 'w');
    const double height = size_member(size, 'h');
    // Also refuses a NaN size, which no comparison below would catch.
    if (!(width >= kPdfMinimumContentSize) || !(height >= kPdfMinimumContentSize)) {
      shared->evaluate(std::string(kPdfEndScript), nullptr);
      if (done) done(false, std::string(kPdfNoContentMessage));
      return;
    }
    shared->print(path, pdf_scale_for_width(width), [shared, done](bool printed) {
      shared->evaluate(std::string(kPdfEndScript), nullptr);
      if (!done) return;
      if (printed) {
        done(true, std::string());
      } else {
        done(false, std::string(kPdfPrintFailedMessage));
      }
    });
  });
}

// Waits while the page says it is still drawing, then prints; after the last
// check it prints what there is.
void print_when_drawn(const std::shared_ptr<const PdfHost>& shared, const std::string& path,
                      const PdfExportDone& done, int checks_left) {
  if (!shared->later || checks_left <= 0) {
    print_page(shared, path, done);
    return;
  }
  shared->evaluate(std::string(kPdfPendingScript), [shared, path, done, checks_left](bool ok, const std::string& result) {
    if (!ok || result != "true") {
      print_page(shared, path, done);
      return;
    }
    shared->later([shared, path, done, checks_left] { print_when_drawn(shared, path, done, checks_left - 1); });
  });
}

}  // namespace

void VeskExportPdf(const PdfHost& host, const std::string& path, PdfExportDone done) {
  if (!host.evaluate || !host.print || path.empty()) {
    if (done) done(false, std::string(kPdfNotReadyMessage));
    return;
  }
  // The chain outlives this call: the host travels with it by value.
  print_when_drawn(std::make_shared<const PdfHost>(host), path, done, kPdfPendingChecks);
}

}  // namespace vesk
