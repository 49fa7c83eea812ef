// HTML export: image inlining on every tag shape, the MIME table, percent
// decoding, suggested files and status texts. PDF export: the whole chain
// of VeskExportPdf driven through a scripted PdfHost.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <string>
#include <vector>

#include "core/json.h"
#include "export/html_export.h"
#include "export/image_sources.h"
#include "export/pdf_export.h"
#include "temp_folder.h"

namespace vesk {
namespace {

using testing::TempFolder;

std::string data_url(std::string_view mime, std::string_view bytes) {
  return "data:" + std::string(mime) + ";base64," +
         encode_base64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string placeholder(std::string_view source) {
  return std::string(kMissingImageOpen) + std::string(source) + std::string(kMissingImageClose);
}

class InlineImages : public ::testing::Test {
 protected:
  std::string inline_html(std::string_view html, std::string_view folder_override = {}) {
    return inline_local_images(html, folder_override.empty() ? folder.utf8() : folder_override, missing);
  }
  TempFolder folder;
  std::size_t missing = 99;
};

// Bytes that begin like an image of each type the page shows.
const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "png-body";
const std::string kGif = "GIF89a-body";
const std::string kJpeg = "\xFF\xD8\xFF\xE0jpeg-body";

TEST_F(InlineImages, RelativeAbsoluteAndFileSourcesBecomeDataUrls) {
  folder.write("a.png", kPng);
  folder.write("a b.png", kGif);
  folder.write("a&b.png", kPng);
  folder.write("photo.JPEG", kJpeg);
  const std::string absolute = folder.write("abs.gif", kGif);
  // "/tmp/x" on Linux, "C:\x" under Wine: the file URL's path starts with one slash.
  const std::string rooted = absolute.starts_with("/") ? absolute : "/" + absolute;

  EXPECT_EQ(inline_html("<p><img alt=\"x\" src=\"a.png\" width=3></p>"),
            "<p><img alt=\"x\" src=\"" + data_url("image/png", kPng) + "\" width=3></p>");
  EXPECT_EQ(missing, 0u);
  // The type comes from the bytes, not the name.
  EXPECT_EQ(inline_html("<img src=\"a%20b.png\">"), "<img src=\"" + data_url("image/gif", kGif) + "\">");
  EXPECT_EQ(inline_html("<img src=\"photo.JPEG\">"), "<img src=\"" + data_url("image/jpeg", kJpeg) + "\">");
  EXPECT_EQ(inline_html("<img src=\"a&amp;b.png\">"), "<img src=\"" + data_url("image/png", kPng) + "\">");
  EXPECT_EQ(inline_html("<img src=\"" + absolute + "\">"), "<img src=\"" + data_url("image/gif", kGif) + "\">");
  EXPECT_EQ(inline_html("<img src=\"file://" + rooted + "\">"),
            "<img src=\"" + data_url("image/gif", kGif) + "\">");
  EXPECT_EQ(inline_html("<img src=\"FILE://" + rooted + "\">"),
            "<img src=\"" + data_url("image/gif", kGif) + "\">");
  EXPECT_EQ(inline_html("<img src=\"file://localhost" + rooted + "\">"),
            "<img src=\"" + data_url("image/gif", kGif) + "\">");
  // A folder that already ends in a separator gets no second one.
  EXPECT_EQ(inline_html("<img src=\"a.png\">", folder.utf8() + "/"),
            "<img src=\"" + data_url("image/png", kPng) + "\">");
  // Every srcset candidate and SVG image href is an image the reader sees.
  EXPECT_EQ(inline_html("<img srcset=\"a.png 1x, https://e.org/b.png 2x,a%20b.png\" src=\"a.png\">"),
            "<img srcset=\"" + data_url("image/png", kPng) + " 1x, https://e.org/b.png 2x," +
                data_url("image/gif", kGif) + "\" src=\"" + data_url("image/png", kPng) + "\">");
  EXPECT_EQ(inline_html("<svg><image href=\"a.png\"></image></svg>"),
            "<svg><image href=\"" + data_url("image/png", kPng) + "\"></image></svg>");
  EXPECT_EQ(missing, 0u);
}

TEST_F(InlineImages, OnlySourcesTheReaderSeesAreRead) {
  folder.write("a.png", kPng);
  for (const std::string html : {
           "<img data-src=\"a.png\" src=\"https://example.com/logo.png\">",
           "<img alt=\"src=&quot;a.png&quot;\">",
           "<p title=\"<img src=&quot;a.png&quot;>\">x</p>",
           "<!-- <img src=\"a.png\"> -->",
           "<style>/* <img src=\"a.png\"> */</style>",
           "<script><img src=\"a.png\"></script>",
           "<template><img src=\"a.png\"></template>",
           "<a href=\"a.png\">a</a><video poster=\"x\"></video>",
           "<img src='a.png'>",                   // single quotes: not how a serialiser writes
           "<IMG src=\"a.png\">",                 // upper-case tag
           "<img SRC=\"a.png\">",                 // upper-case attribute
           "<img src=\"\">",
           "<img src=\"data:image/png;base64,AAAA\">",
           "<img src=\"http://example.org/a.png\">",
           "<img src=\"HTTPS://example.org/a.png\">",
           "<img src=\"a.png>",                   // no closing quote within the tag
           "text <img src=\"a.png\" without an end",
       }) {
    EXPECT_EQ(inline_html(html), html) << html;
    EXPECT_EQ(missing, 0u) << html;
  }
  EXPECT_EQ(inline_html(""), "");
}

TEST_F(InlineImages, OtherMachinesAndDevicesAreNeverRead) {
  const std::string network(kNetworkImagePlaceholder);
  for (const std::string source : {
           "\\\\host\\share\\a.png", "//host/share/a.png", "/\\host/a.png", "\\/host/a.png",
           "%5C%5Chost%5Ca.png", "%2F%2Fhost/a.png", "file://host/share/a.png", "FILE://Host/a.png",
           "file:////host/share/a.png", "file://///host/share/a.png", "file:%2F%2Fhost/a.png",
           "file://localhost//host/a.png", "\\\\?\\UNC\\host\\a.png", "\\??\\UNC\\host\\a.png",
           "\\??\\C:\\a.png",
       }) {
    EXPECT_EQ(inline_html("<p><img src=\"" + source + "\"></p>"), "<p>" + network + "</p>") << source;
    EXPECT_EQ(missing, 0u) << source;
  }
  EXPECT_EQ(inline_html("<img srcset=\"//host/a.png 2x\" src=\"https://e.org/a.png\">"),
            "<img srcset=\"data:, 2x\" src=\"https://e.org/a.png\">");
}

TEST_F(InlineImages, FilesThatAreNoImageAreLeftOutAndCounted) {
  folder.write("secret.txt", "password=hunter2");
  folder.write("fake.png", "BM but not a bitmap at all, only text");
  folder.write("empty.png", "");
  folder.write("ok.png", kPng);
  const std::string html =
      "<h1>t</h1><img src=\"gone%20away.png\" alt=a>mid<img hidden src=\"./secret.txt\"><img src=\"empty.png\"><img src=\"fake.png\"><img src=\"ok.png\">end";
  EXPECT_EQ(inline_html(html), "<h1>t</h1>" + placeholder("gone%20away.png") + "mid" +
                                   placeholder("./secret.txt") + placeholder("empty.png") +
                                   placeholder("fake.png") + "<img src=\"" + data_url("image/png", kPng) + "\">end");
  EXPECT_EQ(missing, 4u);
  // A srcset candidate that is no image drops out of its set and is counted.
  EXPECT_EQ(inline_html("<img srcset=\"secret.txt 2x\" src=\"ok.png\">"),
            "<img srcset=\"data:, 2x\" src=\"" + data_url("image/png", kPng) + "\">");
  EXPECT_EQ(missing, 1u);
  // A file: URL that names nothing is a missing image, not a source to keep.
  EXPECT_EQ(inline_html("<img src=\"file:///\">"), placeholder("file:///"));
  EXPECT_EQ(missing, 1u);
  // A Windows drive path is a file of its own, never a name inside the folder.
  EXPECT_EQ(inline_html("<img src=\"C:/pics/none.png\">"), placeholder("C:/pics/none.png"));
  EXPECT_EQ(missing, 1u);
}

TEST_F(InlineImages, SameImageTwiceIsEmbeddedTwiceAndNonAsciiNamesWork) {
  folder.write("图片.png", std::string("\x89PNG\r\n\x1a\n\0\xff", 10));
  const std::string url = data_url("image/png", std::string("\x89PNG\r\n\x1a\n\0\xff", 10));
  EXPECT_EQ(inline_html("<img src=\"图片.png\"><img src=\"%E5%9B%BE%E7%89%87.png\">"),
            "<img src=\"" + url + "\"><img src=\"" + url + "\">");
  EXPECT_EQ(missing, 0u);
}

TEST(ExportHelpers, ImagesAreKnownByTheirBytes) {
  auto mime = [](const std::string& bytes) {
    return std::string(image_mime_for_bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  };
  std::string bmp("BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\1\0\0\0\1\0\0\0", 26);
  std::string ico("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x68\4\0\0\x16\0\0\0", 22);
  std::string avif("\0\0\0\x1c" "ftypmif1\0\0\0\0mif1avifmiaf", 28);
  EXPECT_EQ(mime(kPng), "image/png");
  EXPECT_EQ(mime(kJpeg), "image/jpeg");
  EXPECT_EQ(mime("GIF87a..."), "image/gif");
  EXPECT_EQ(mime(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16)), "image/webp");
  EXPECT_EQ(mime(bmp), "image/bmp");
  EXPECT_EQ(mime(ico), "image/x-icon");
  EXPECT_EQ(mime(avif), "image/avif");
  EXPECT_EQ(mime("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE svg>\n<svg xmlns=\"x\"/>"),
            "image/svg+xml");
  for (const std::string& other : {std::string(), std::string("\x89PNG"), std::string("BMW 3 series, 1998"),
                                  std::string("<html><svg></svg></html>"), std::string("<svgfoo>"),
                                  std::string("RIFF\x10\0\0\0WAVE", 12),
                                  std::string("\0\0\0\x18" "ftypisom\0\0\0\0isom", 20),
                                  std::string("MZ\x90\0")}) {
    EXPECT_EQ(mime(other), "") << other;
  }
}

TEST(ExportHelpers, AttributeValuesAreDecoded) {
  EXPECT_EQ(decode_attribute_value("a&amp;b&quot;&lt;&gt;&nbsp;&#65;&#x4e2d;&bogus;&#xZZ;&"),
            "a&b\"<>\xC2\xA0" "A中&bogus;&#xZZ;&");
}

TEST(ExportHelpers, MimeTypesByEnding) {
  EXPECT_EQ(mime_type_for_path("a.png"), "image/png");
  EXPECT_EQ(mime_type_for_path("C:\\x\\A.JPG"), "image/jpeg");
  EXPECT_EQ(mime_type_for_path("a.jpeg"), "image/jpeg");
  EXPECT_EQ(mime_type_for_path("a.gif"), "image/gif");
  EXPECT_EQ(mime_type_for_path("a.WebP"), "image/webp");
  EXPECT_EQ(mime_type_for_path("a.svg"), "image/svg+xml");
  EXPECT_EQ(mime_type_for_path("a.bmp"), "image/bmp");
  EXPECT_EQ(mime_type_for_path("a.png.txt"), "application/octet-stream");
  EXPECT_EQ(mime_type_for_path("png"), "application/octet-stream");
}

TEST(ExportHelpers, PercentDecode) {
  EXPECT_EQ(percent_decode("a%20b%2fc%2F"), "a b/c/");
  EXPECT_EQ(percent_decode("%E4%B8%AD"), "中");
  EXPECT_EQ(percent_decode("100%"), "100%");
  EXPECT_EQ(percent_decode("%4"), "%4");
  EXPECT_EQ(percent_decode("%zz%4g"), "%zz%4g");
  EXPECT_EQ(percent_decode("a+b"), "a+b");
  EXPECT_EQ(percent_decode("%00"), std::string(1, '\0'));
}

TEST(ExportHelpers, SuggestedFilesFolderAndStatus) {
  EXPECT_EQ(suggested_export_path("C:\\docs\\notes.final.md", "", ".html"), "C:\\docs\\notes.final.html");
  EXPECT_EQ(suggested_export_path("C:/docs/a.md", "", ".pdf"), "C:/docs\\a.pdf");
  EXPECT_EQ(suggested_export_path("C:\\docs\\README", "", ".pdf"), "C:\\docs\\README.pdf");
  EXPECT_EQ(suggested_export_path("", "C:\\Users\\u\\Documents", ".html"), "C:\\Users\\u\\Documents\\未命名.html");
  EXPECT_EQ(export_image_folder("C:\\docs\\a.md", "D:\\other"), "C:\\docs");
  EXPECT_EQ(export_image_folder("", "D:\\other"), "D:\\other");
  EXPECT_EQ(export_status_text("C:\\a.html", 0), "已导出到 C:\\a.html");
  EXPECT_EQ(export_status_text("C:\\a.html", 2), "已导出到 C:\\a.html（2 张图片缺失）");
}

// A PdfHost whose page answers pdfBegin with `begin_result` and whose
// printer answers `print_ok`; every call is recorded in order.
struct ScriptedPdfHost {
  bool begin_ok = true;
  std::string begin_result;
  bool print_ok = true;
  bool defer_print = false;
  std::vector<std::string> calls;
  std::vector<double> scales;
  PdfHost::Printed pending_print;

  PdfHost host() {
    PdfHost host;
    host.evaluate = [this](const std::string& script, PdfHost::ScriptResult callback) {
      calls.push_back(script);
      if (callback) callback(begin_ok, begin_result);
    };
    host.print = [this](const std::string& path, double scale, PdfHost::Printed callback) {
      calls.push_back("print " + path);
      scales.push_back(scale);
      if (defer_print) {
        pending_print = std::move(callback);
      } else {
        callback(print_ok);
      }
    };
    return host;
  }
};

struct Outcome {
  int calls = 0;
  bool ok = false;
  std::string message;
};

Outcome run_export(ScriptedPdfHost& scripted, const std::string& path = "C:\\out\\a.pdf") {
  Outcome outcome;
  VeskExportPdf(scripted.host(), path, [&](bool ok, const std::string& message) {
    ++outcome.calls;
    outcome.ok = ok;
    outcome.message = message;
  });
  return outcome;
}

TEST(PdfExport, ScaleFollowsTheContentWidth) {
  for (const auto& [width, scale] : std::vector<std::pair<std::string, double>>{
           {"1316", 0.5}, {"600", 1.0}, {"658", 1.0}, {"659.5", 658 / 659.5},
           {"6580", 0.1}, {"90000", 0.1}}) {
    ScriptedPdfHost scripted;
    scripted.begin_result = "{\"w\":" + width + ",\"h\":900}";
    const Outcome outcome = run_export(scripted);
    EXPECT_TRUE(outcome.ok) << width;
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.message, "");
    ASSERT_EQ(scripted.scales.size(), 1u);
    EXPECT_DOUBLE_EQ(scripted.scales[0], scale) << width;
    EXPECT_EQ(scripted.calls, (std::vector<std::string>{std::string(kPdfBeginScript), "print C:\\out\\a.pdf",
                                                        std::string(kPdfEndScript)}));
  }
}

TEST(PdfExport, SizeGivenAsTheJsonTextOfAnObjectIsUnwrapped) {
  ScriptedPdfHost scripted;
  scripted.begin_result = "\"{\\\"w\\\": 1316, \\\"h\\\":\\n 20}\"";
  // No space may stand between the key and its colon, but after it is fine.
  EXPECT_EQ(unwrap_script_result(scripted.begin_result), "{\"w\": 1316, \"h\":\n 20}");
  const Outcome outcome = run_export(scripted);
  EXPECT_TRUE(outcome.ok);
  ASSERT_EQ(scripted.scales.size(), 1u);
  EXPECT_DOUBLE_EQ(scripted.scales[0], 0.5);
}

TEST(PdfExport, UnwrappingKeepsOtherTextsAndATrailingBackslash) {
  EXPECT_EQ(unwrap_script_result("{\"w\":1}"), "{\"w\":1}");
  EXPECT_EQ(unwrap_script_result("\""), "\"");
  EXPECT_EQ(unwrap_script_result("\"\""), "");
  EXPECT_EQ(unwrap_script_result("\"a\\\\b\\\"\""), "a\\b\"");
  EXPECT_EQ(unwrap_script_result("\"ab\\\""), "ab\\");
  EXPECT_EQ(size_member("{\"w\": 12.5e1}", 'w'), 125);
  EXPECT_EQ(size_member("{\"w\" :12}", 'w'), 0);
  EXPECT_EQ(size_member("{\"w\":\"x\"}", 'w'), 0);
}

TEST(PdfExport, NothingToPrintStillEndsThePdfMode) {
  for (const auto& [ok, result] : std::vector<std::pair<bool, std::string>>{
           {true, "{\"w\":800}"},            // no "h"
           {true, "{\"w\":9.9,\"h\":500}"},  // too narrow
           {true, "{\"w\":500,\"h\":3}"},    // too low
           {true, "null"},                   // window.vesk missing
           {false, "{\"w\":800,\"h\":800}"},  // the script failed: its text is not trusted
           {true, "{\"w\":NaN,\"h\":800}"}}) {
    ScriptedPdfHost scripted;
    scripted.begin_ok = ok;
    scripted.begin_result = result;
    const Outcome outcome = run_export(scripted);
    EXPECT_FALSE(outcome.ok) << result;
    EXPECT_EQ(outcome.message, kPdfNoContentMessage) << result;
    EXPECT_EQ(scripted.calls, (std::vector<std::string>{std::string(kPdfBeginScript), std::string(kPdfEndScript)}))
        << result;
  }
}

TEST(PdfExport, PrintFailureIsReportedOnlyAfterPdfEnd) {
  ScriptedPdfHost scripted;
  scripted.begin_result = "{\"w\":700,\"h\":1000}";
  scripted.defer_print = true;
  Outcome outcome;
  std::size_t calls_when_reported = 0;
  VeskExportPdf(scripted.host(), "C:\\a.pdf", [&](bool ok, const std::string& message) {
    ++outcome.calls;
    outcome.ok = ok;
    outcome.message = message;
    calls_when_reported = scripted.calls.size();
  });
  // Still printing: the page stays in PDF mode and nothing is reported yet.
  EXPECT_EQ(outcome.calls, 0);
  EXPECT_EQ(scripted.calls.back(), "print C:\\a.pdf");
  ASSERT_TRUE(scripted.pending_print);
  scripted.pending_print(false);
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message, kPdfPrintFailedMessage);
  EXPECT_EQ(scripted.calls.back(), std::string(kPdfEndScript));
  EXPECT_EQ(calls_when_reported, 3u);
}

TEST(PdfExport, WaitsWhileThePageIsDrawingThenPrintsEvenIfItNeverFinishes) {
  for (const int drawing : {2, 100000}) {
    ScriptedPdfHost scripted;
    scripted.begin_result = "{\"w\":600,\"h\":900}";
    PdfHost host = scripted.host();
    int waits = 0;
    int answers = 0;
    host.evaluate = [&](const std::string& script, PdfHost::ScriptResult callback) {
      scripted.calls.push_back(script);
      if (script == kPdfPendingScript) callback(true, ++answers <= drawing ? "true" : "false");
      else if (callback) callback(true, scripted.begin_result);
    };
    host.later = [&](std::function<void()> next) {
      ++waits;
      next();
    };
    bool ok = false;
    VeskExportPdf(host, "C:\\a.pdf", [&](bool printed, const std::string&) { ok = printed; });
    EXPECT_TRUE(ok);
    EXPECT_EQ(waits, std::min(drawing, kPdfPendingChecks));
    ASSERT_GE(scripted.calls.size(), 3u);
    EXPECT_EQ(scripted.calls[scripted.calls.size() - 3], kPdfBeginScript);
  }
}

TEST(PdfExport, MissingHostOrPathIsNotReady) {
  ScriptedPdfHost scripted;
  EXPECT_EQ(run_export(scripted, "").message, kPdfNotReadyMessage);
  Outcome outcome;
  PdfHost half = scripted.host();
  half.print = nullptr;
  VeskExportPdf(half, "C:\\a.pdf", [&](bool ok, const std::string& message) {
    outcome.ok = ok;
    outcome.message = message;
    ++outcome.calls;
  });
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message, kPdfNotReadyMessage);
  EXPECT_TRUE(scripted.calls.empty());
  // No completion at all is allowed.
  VeskExportPdf(scripted.host(), "", nullptr);
}

}  // namespace
}  // namespace vesk
