// The Win32 clipboard and the DIB to PNG conversion through the Windows
// Imaging Component. The byte layouts are decided in clipboard_format.cpp.
#include "app/clipboard.h"

#include <windows.h>

#include <shlwapi.h>
#include <wincodec.h>

#include <climits>
#include <cstring>
#include <string_view>
#include <utility>

#include "app/clipboard_format.h"
#include "platform/com.h"
#include "app/main_window.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

// Open for the length of one operation, so no path can leave it held and
// lock every other program out of copy and paste.
class ClipboardSession {
 public:
  explicit ClipboardSession(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  ~ClipboardSession() { close(); }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;

  bool is_open() const { return open_; }
  void close() {
    if (std::exchange(open_, false)) CloseClipboard();
  }

 private:
  bool open_;
};

// Movable memory that is ours until SetClipboardData takes it.
class GlobalBlock {
 public:
  explicit GlobalBlock(HGLOBAL memory) : memory_(memory) {}
  ~GlobalBlock() {
    if (memory_) GlobalFree(memory_);
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;

  HGLOBAL get() const { return memory_; }
  HGLOBAL release() { return std::exchange(memory_, nullptr); }

 private:
  HGLOBAL memory_;
};

// A locked view of clipboard memory; the clipboard still owns the block.
class LockedBlock {
 public:
  explicit LockedBlock(HANDLE memory)
      : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr),
        size_(data_ ? GlobalSize(memory) : 0) {}
  ~LockedBlock() {
    if (data_) GlobalUnlock(memory_);
  }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;

  const unsigned char* data() const { return static_cast<const unsigned char*>(data_); }
  std::size_t size() const { return size_; }

 private:
  HANDLE memory_;
  void* data_;
  std::size_t size_;
};

UINT html_format() { return RegisterClipboardFormatW(L"HTML Format"); }
UINT png_format() { return RegisterClipboardFormatW(L"PNG"); }

void set_clipboard_bytes(UINT format, const void* bytes, std::size_t size) {
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!block.get()) return;
  void* target = GlobalLock(block.get());
  if (!target) return;
  std::memcpy(target, bytes, size);
  GlobalUnlock(block.get());
  if (SetClipboardData(format, block.get())) block.release();
}

// The decoded frame of a BMP file made from the DIB.
ComPtr<IWICBitmapSource> decode_as_bmp_file(IWICImagingFactory* factory,
                                            std::span<const unsigned char> dib,
                                            const DibPlan& plan) {
  const std::vector<unsigned char> file = bmp_file_from_dib(dib, plan);
  if (file.empty() || file.size() > UINT_MAX) return {};
  ComPtr<IStream> stream(SHCreateMemStream(file.data(), static_cast<UINT>(file.size())));
  if (!stream) return {};
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                              WICDecodeMetadataCacheOnLoad, decoder.put()))) {
    return {};
  }
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.put()))) return {};
  return ComPtr<IWICBitmapSource>(frame.detach());
}

// The BMP decoder reads 32-bit BI_RGB pixels as having no alpha, which would
// flatten a real alpha channel; such pixels are handed over as BGRA instead.
ComPtr<IWICBitmapSource> bitmap_from_bgra(IWICImagingFactory* factory,
                                          std::span<const unsigned char> dib,
                                          const DibPlan& plan) {
  std::vector<unsigned char> pixels = top_down_bgra(dib, plan);
  if (pixels.empty() || pixels.size() > UINT_MAX) return {};
  ComPtr<IWICBitmap> bitmap;
  if (FAILED(factory->CreateBitmapFromMemory(plan.width, plan.rows, GUID_WICPixelFormat32bppBGRA,
                                             plan.width * 4, static_cast<UINT>(pixels.size()),
                                             pixels.data(), bitmap.put()))) {
    return {};
  }
  return ComPtr<IWICBitmapSource>(bitmap.detach());
}

bool encode_png(IWICImagingFactory* factory, IWICBitmapSource* source,
                std::vector<unsigned char>& png) {
  ComPtr<IStream> stream(SHCreateMemStream(nullptr, 0));
  if (!stream) return false;
  ComPtr<IWICBitmapEncoder> encoder;
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()))) return false;
  if (FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) return false;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  if (FAILED(encoder->CreateNewFrame(frame.put(), options.put()))) return false;
  if (FAILED(frame->Initialize(options.get()))) return false;
  if (FAILED(frame->WriteSource(source, nullptr))) return false;
  if (FAILED(frame->Commit()) || FAILED(encoder->Commit())) return false;

  STATSTG stat = {};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
  if (stat.cbSize.QuadPart > ULONG_MAX) return false;
  const LARGE_INTEGER start = {};
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return false;
  png.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  if (FAILED(stream->Read(png.data(), static_cast<ULONG>(png.size()), &read))) return false;
  png.resize(read);
  return !png.empty();
}

}  // namespace

void clipboard_write_text_and_html(HWND owner, const std::string& text, const std::string& html) {
  ClipboardSession clipboard(owner);
  if (!clipboard.is_open()) return;
  EmptyClipboard();
  // An empty selection still replaces what was there with an empty string.
  const std::wstring wide = to_utf16(text);
  set_clipboard_bytes(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  if (html.empty()) return;
  const std::string document = build_cf_html(html);
  if (!document.empty()) set_clipboard_bytes(html_format(), document.data(), document.size());
}

std::string read_clipboard_text(HWND owner) {
  if (IsClipboardFormatAvailable(CF_HDROP)) return {};
  ClipboardSession clipboard(owner);
  if (!clipboard.is_open()) return {};
  const LockedBlock block(GetClipboardData(CF_UNICODETEXT));
  if (!block.data()) return {};
  // Another program's text may lack its terminator: stop at the block's end.
  const std::wstring_view text(reinterpret_cast<const wchar_t*>(block.data()),
                               block.size() / sizeof(wchar_t));
  return to_utf8(text.substr(0, text.find(L'\0')));
}

bool read_clipboard_image(HWND owner, std::vector<unsigned char>& bytes, std::string& mime) {
  std::vector<unsigned char> dib;
  {
    ClipboardSession clipboard(owner);
    if (!clipboard.is_open()) return false;
    if (const UINT png = png_format()) {
      // Passed on as it is: the block may be longer than the PNG inside, and
      // decoders stop at its end chunk.
      const LockedBlock block(GetClipboardData(png));
      if (block.data() && block.size() != 0) {
        bytes.assign(block.data(), block.data() + block.size());
        mime = "image/png";
        return true;
      }
    }
    const LockedBlock block(GetClipboardData(CF_DIB));
    if (!block.data()) return false;
    dib.assign(block.data(), block.data() + block.size());
  }
  // Converted after closing, so other programs are not kept waiting.
  std::vector<unsigned char> png;
  if (!dib_to_png(dib, png)) return false;
  bytes = std::move(png);
  mime = "image/png";
  return true;
}

bool dib_to_png(const std::vector<unsigned char>& dib, std::vector<unsigned char>& png) {
  const DibPlan plan = plan_dib(dib);
  if (plan.route == DibRoute::Refuse) return false;
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void()))) {
    return false;
  }
  const ComPtr<IWICBitmapSource> source = plan.route == DibRoute::DirectAlpha
                                              ? bitmap_from_bgra(factory.get(), dib, plan)
                                              : decode_as_bmp_file(factory.get(), dib, plan);
  if (!source) return false;
  std::vector<unsigned char> out;
  if (!encode_png(factory.get(), source.get(), out)) return false;
  png = std::move(out);
  return true;
}

bool clipboard_has_image() {
  if (IsClipboardFormatAvailable(CF_DIB)) return true;
  const UINT png = png_format();
  return png != 0 && IsClipboardFormatAvailable(png);
}

void VeskMainWindow::clipboard_write(const std::string& text, const std::string& html) {
  clipboard_write_text_and_html(window_, text, html);
}

void VeskMainWindow::read_clipboard_text(std::string& text) {
  text = vesk::win::read_clipboard_text(window_);
}

bool VeskMainWindow::read_clipboard_image(std::vector<unsigned char>& bytes, std::string& mime) {
  return vesk::win::read_clipboard_image(window_, bytes, mime);
}

}  // namespace vesk::win
