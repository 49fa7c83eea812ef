#include "print_settings_win.h"

#include <string>

#include "webview_support_win.h"

namespace vesk::cdp {
namespace {

class PrintSettings final : public ICoreWebView2PrintSettings, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query_interface_of(this, iid, out, {__uuidof(ICoreWebView2PrintSettings)});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
  ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

  HRESULT STDMETHODCALLTYPE get_Orientation(COREWEBVIEW2_PRINT_ORIENTATION* value) override {
    if (!value) return E_POINTER;
    *value = orientation_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Orientation(COREWEBVIEW2_PRINT_ORIENTATION value) override {
    if (value != COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT && value != COREWEBVIEW2_PRINT_ORIENTATION_LANDSCAPE) {
      return E_INVALIDARG;
    }
    orientation_ = value;
    return S_OK;
  }
  // The same ranges the real control enforces.
#define VESK_NUMBER(Name, field, valid)                                        \
  HRESULT STDMETHODCALLTYPE get_##Name(double* value) override {               \
    if (!value) return E_POINTER;                                              \
    *value = field;                                                            \
    return S_OK;                                                               \
  }                                                                            \
  HRESULT STDMETHODCALLTYPE put_##Name(double value) override {                \
    if (!(valid)) return E_INVALIDARG;                                         \
    field = value;                                                             \
    return S_OK;                                                               \
  }
  VESK_NUMBER(ScaleFactor, scale_, value >= 0.1 && value <= 2.0)
  VESK_NUMBER(PageWidth, width_, value > 0)
  VESK_NUMBER(PageHeight, height_, value > 0)
  VESK_NUMBER(MarginTop, top_, value >= 0)
  VESK_NUMBER(MarginBottom, bottom_, value >= 0)
  VESK_NUMBER(MarginLeft, left_, value >= 0)
  VESK_NUMBER(MarginRight, right_, value >= 0)
#undef VESK_NUMBER
  VESK_FLAG(ShouldPrintBackgrounds, backgrounds_)
  VESK_FLAG(ShouldPrintSelectionOnly, selection_only_)
  VESK_FLAG(ShouldPrintHeaderAndFooter, header_footer_)
  HRESULT STDMETHODCALLTYPE get_HeaderTitle(LPWSTR* value) override { return copy_out(header_title_, value); }
  HRESULT STDMETHODCALLTYPE put_HeaderTitle(LPCWSTR value) override {
    header_title_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_FooterUri(LPWSTR* value) override { return copy_out(footer_uri_, value); }
  HRESULT STDMETHODCALLTYPE put_FooterUri(LPCWSTR value) override {
    footer_uri_ = value ? value : L"";
    return S_OK;
  }

 private:
  COREWEBVIEW2_PRINT_ORIENTATION orientation_ = COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT;
  // Inches; the margins default to one centimetre.
  double scale_ = 1.0, width_ = 8.5, height_ = 11.0, top_ = 0.3937007874015748,
         bottom_ = 0.3937007874015748, left_ = 0.3937007874015748, right_ = 0.3937007874015748;
  BOOL backgrounds_ = FALSE, selection_only_ = FALSE, header_footer_ = FALSE;
  std::wstring header_title_, footer_uri_;
};

}  // namespace

ICoreWebView2PrintSettings* new_print_settings() { return new PrintSettings(); }

PrintOptions print_options_from(ICoreWebView2PrintSettings* settings) {
  PrintOptions options;
  if (!settings) {
    options.margin_top = options.margin_bottom = options.margin_left = options.margin_right = 0.3937007874015748;
    return options;
  }
  BOOL flag = FALSE;
  COREWEBVIEW2_PRINT_ORIENTATION orientation = COREWEBVIEW2_PRINT_ORIENTATION_PORTRAIT;
  settings->get_PageWidth(&options.page_width);
  settings->get_PageHeight(&options.page_height);
  settings->get_MarginTop(&options.margin_top);
  settings->get_MarginBottom(&options.margin_bottom);
  settings->get_MarginLeft(&options.margin_left);
  settings->get_MarginRight(&options.margin_right);
  settings->get_ScaleFactor(&options.scale);
  if (SUCCEEDED(settings->get_ShouldPrintBackgrounds(&flag))) options.backgrounds = flag != FALSE;
  if (SUCCEEDED(settings->get_ShouldPrintHeaderAndFooter(&flag))) options.header_and_footer = flag != FALSE;
  if (SUCCEEDED(settings->get_Orientation(&orientation))) {
    options.landscape = orientation == COREWEBVIEW2_PRINT_ORIENTATION_LANDSCAPE;
  }
  return options;
}

}  // namespace vesk::cdp
