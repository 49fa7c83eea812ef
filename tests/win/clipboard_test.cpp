// The real clipboard: text and CF_HTML written and read back, files keeping
// text out of a paste, "PNG" entries passed on, and DIBs of every common
// layout converted to PNG and decoded again to compare every pixel.
#include "app/clipboard.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstring>

#include "app/clipboard_format.h"
#include "platform/com.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

class ComApartment : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

using Bytes = std::vector<unsigned char>;

class Clipboard : public ::testing::Test {
 protected:
  HWND owner = CreateWindowExW(0, L"STATIC", L"clipboard test", 0, 0, 0, 10, 10, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);

  void TearDown() override { DestroyWindow(owner); }

  // Replaces the clipboard with the given entries, as another program would.
  void offer(const std::vector<std::pair<UINT, Bytes>>& entries) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    for (const auto& [format, bytes] : entries) {
      HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
      std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
      GlobalUnlock(memory);
      EXPECT_TRUE(SetClipboardData(format, memory)) << format;
    }
    CloseClipboard();
  }

  Bytes entry(UINT format) {
    Bytes bytes;
    if (!OpenClipboard(owner)) return bytes;
    if (HANDLE memory = GetClipboardData(format)) {
      const auto* data = static_cast<const unsigned char*>(GlobalLock(memory));
      bytes.assign(data, data + GlobalSize(memory));
      GlobalUnlock(memory);
    }
    CloseClipboard();
    return bytes;
  }
};

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes utf16_bytes(const std::string& text) {
  const std::wstring wide = to_utf16(text);
  const auto* data = reinterpret_cast<const unsigned char*>(wide.c_str());
  return Bytes(data, data + (wide.size() + 1) * sizeof(wchar_t));
}
bool starts_with(const Bytes& bytes, const Bytes& prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

TEST_F(Clipboard, TextAndHtmlRoundTrip) {
  offer({{CF_DIB, Bytes(64)}});
  const std::string text = "段落 one\r\n😀";
  const std::string html = "<p>段落 <b>one</b></p><p>😀</p>";
  clipboard_write_text_and_html(owner, text, html);
  EXPECT_EQ(read_clipboard_text(owner), text);
  EXPECT_TRUE(starts_with(entry(CF_UNICODETEXT), utf16_bytes(text)));
  // The fragment is 35 bytes of UTF-8 but only 28 characters.
  const Bytes cf_html = entry(RegisterClipboardFormatW(L"HTML Format"));
  const std::string expected_header =
      "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000178\r\n"
      "StartFragment:0000000125\r\nEndFragment:0000000160\r\n";
  EXPECT_TRUE(starts_with(cf_html, bytes_of(expected_header + "<!--StartFragment-->" + html +
                                            "<!--EndFragment-->" + std::string(1, '\0'))));
  // Writing replaced everything that was there.
  EXPECT_FALSE(clipboard_has_image());
}

TEST_F(Clipboard, EmptyHtmlPlacesOnlyTextAndEmptyTextIsStillText) {
  clipboard_write_text_and_html(owner, "plain", "");
  EXPECT_EQ(read_clipboard_text(owner), "plain");
  EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"HTML Format")));
  clipboard_write_text_and_html(owner, "", "<hr>");
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  EXPECT_EQ(read_clipboard_text(owner), "");
}

TEST_F(Clipboard, FilesKeepTheirNamesOutOfAPaste) {
  DROPFILES files = {};
  files.pFiles = sizeof files;
  files.fWide = TRUE;
  const auto* raw = reinterpret_cast<const unsigned char*>(&files);
  Bytes drop(raw, raw + sizeof files);
  const Bytes path = utf16_bytes("C:\\a.md");
  drop.insert(drop.end(), path.begin(), path.end());
  drop.insert(drop.end(), {0, 0});
  offer({{CF_HDROP, drop}, {CF_UNICODETEXT, path}});
  EXPECT_EQ(read_clipboard_text(owner), "");
  EXPECT_FALSE(clipboard_has_image());
}

TEST_F(Clipboard, PngEntryIsPassedOnWithoutDecoding) {
  // Not a decodable PNG, and a DIB beside it: neither may be looked at.
  const Bytes png = bytes_of("\x89PNG\r\n\x1a\nnot really");
  offer({{RegisterClipboardFormatW(L"PNG"), png}, {CF_DIB, Bytes(64)}});
  Bytes bytes;
  std::string mime;
  ASSERT_TRUE(read_clipboard_image(owner, bytes, mime));
  EXPECT_EQ(mime, "image/png");
  EXPECT_TRUE(starts_with(bytes, png));
  offer({{RegisterClipboardFormatW(L"PNG"), png}});
  EXPECT_TRUE(clipboard_has_image());
}

// A 3 x 2 image as B, G, R, A bytes, top row first: the odd width pads the
// 24-bit rows, and a flipped result shows.
constexpr LONG kWidth = 3;
constexpr LONG kHeight = 2;

enum class Layout { Rgb24, Rgb32, Bitfields32, V5Bitfields32 };

// The image stored as another program would put it on the clipboard.
Bytes dib_of(const Bytes& bgra, Layout layout, bool top_down) {
  const bool v5 = layout == Layout::V5Bitfields32;
  BITMAPV5HEADER header = {};
  header.bV5Size = v5 ? sizeof(BITMAPV5HEADER) : sizeof(BITMAPINFOHEADER);
  header.bV5Width = kWidth;
  header.bV5Height = top_down ? -kHeight : kHeight;
  header.bV5Planes = 1;
  header.bV5BitCount = layout == Layout::Rgb24 ? 24 : 32;
  header.bV5Compression = layout == Layout::Bitfields32 || v5 ? BI_BITFIELDS : BI_RGB;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5CSType = 0x73524742;  // LCS_sRGB; the header's macro is a multi-character constant
  const auto* raw = reinterpret_cast<const unsigned char*>(&header);
  Bytes dib(raw, raw + header.bV5Size);
  if (layout == Layout::Bitfields32) dib.insert(dib.end(), raw + 40, raw + 52);
  const std::size_t pixel_bytes = header.bV5BitCount / 8;
  for (LONG row = 0; row < kHeight; ++row) {
    const LONG y = top_down ? row : kHeight - 1 - row;
    Bytes line;
    for (LONG x = 0; x < kWidth; ++x) {
      const auto pixel = bgra.begin() + (y * kWidth + x) * 4;
      line.insert(line.end(), pixel, pixel + pixel_bytes);
    }
    line.resize((line.size() + 3) / 4 * 4, 0);
    dib.insert(dib.end(), line.begin(), line.end());
  }
  return dib;
}

// The PNG decoded to BGRA; empty when it is no PNG of the test image's size.
Bytes decode_png(const Bytes& png) {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IStream> stream(SHCreateMemStream(png.data(), static_cast<UINT>(png.size())));
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  GUID container = {};
  UINT width = 0, height = 0;
  Bytes pixels(kWidth * kHeight * 4);
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void())) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.put())) ||
      FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatPng ||
      FAILED(decoder->GetFrame(0, frame.put())) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)) ||
      FAILED(converter->GetSize(&width, &height)) || width != kWidth || height != kHeight ||
      FAILED(converter->CopyPixels(nullptr, kWidth * 4, static_cast<UINT>(pixels.size()),
                                   pixels.data()))) {
    return {};
  }
  return pixels;
}

Bytes with_alpha(Bytes bgra, const std::vector<unsigned char>& alpha) {
  for (std::size_t i = 0; i < alpha.size(); ++i) bgra[i * 4 + 3] = alpha[i];
  return bgra;
}

TEST_F(Clipboard, DibsBecomePngsWithTheirPixels) {
  const Bytes solid = {0,  0,  255, 255, 0,  255, 0,  255, 255, 0,   0,   255,
                       10, 20, 30,  255, 40, 50,  60, 255, 255, 255, 255, 255};
  // Fully transparent pixels keep their colour in a PNG, so they compare too.
  const Bytes translucent = with_alpha(solid, {0, 48, 128, 255, 200, 0});
  const Bytes no_alpha = with_alpha(solid, {0, 0, 0, 0, 0, 0});
  struct Case {
    const char* name;
    Layout layout;
    bool top_down;
    const Bytes& stored;
    const Bytes& expected;
  };
  const Case cases[] = {
      {"24-bit", Layout::Rgb24, false, solid, solid},
      {"24-bit top-down", Layout::Rgb24, true, solid, solid},
      {"32-bit real alpha", Layout::Rgb32, false, translucent, translucent},
      {"32-bit real alpha top-down", Layout::Rgb32, true, translucent, translucent},
      {"32-bit alpha all 0 (screenshot)", Layout::Rgb32, false, no_alpha, solid},
      {"32-bit alpha all 255", Layout::Rgb32, true, solid, solid},
      {"32-bit masks after the header", Layout::Bitfields32, false, solid, solid},
      {"32-bit masks inside a V5 header", Layout::V5Bitfields32, false, solid, solid},
  };
  for (const Case& c : cases) {
    offer({{CF_DIB, dib_of(c.stored, c.layout, c.top_down)}});
    EXPECT_TRUE(clipboard_has_image()) << c.name;
    Bytes png;
    std::string mime;
    ASSERT_TRUE(read_clipboard_image(owner, png, mime)) << c.name;
    EXPECT_EQ(mime, "image/png");
    EXPECT_EQ(decode_png(png), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vesk::win
