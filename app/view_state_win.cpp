// Theme (following the system's app mode or fixed by the user) and the view
// state the page reports.
#include <windows.h>

#include <cstdio>

#include "app/automation.h"
#include "app/main_window.h"
#include "platform/diagnostics.h"
#include "webhost/web_host_view.h"

namespace vesk::win {
namespace {

// Windows' app mode: "AppsUseLightTheme" 0 means dark; missing means light.
bool system_uses_dark_theme() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                    0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD value = 1;
  DWORD size = sizeof value;
  RegQueryValueExW(key, L"AppsUseLightTheme", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                   &size);
  RegCloseKey(key);
  return value == 0;
}

}  // namespace

void VeskMainWindow::update_theme() {
  if (follow_system_theme_) dark_theme_ = system_uses_dark_theme();
  // The next page load shows the theme from its first paint; the page on
  // screen switches through the page call.
  if (web_host_) web_host_->set_page_theme(dark_theme_ ? "dark" : "light");
  if (core_) core_->set_theme(dark_theme_ ? "dark" : "light");
  refresh_menu_state();
}

void VeskMainWindow::on_view_state(const ViewState& state) {
  toc_visible_ = state.toc;
  source_view_ = state.source;
  refresh_menu_state();
  if (keylog_enabled()) {
    char zoom[64];
    std::snprintf(zoom, sizeof zoom, "%f", state.zoom);
    write_diagnostic_line(std::string("NATIVE view toc=") + (state.toc ? "1" : "0") +
                          " source=" + (state.source ? "1" : "0") + " zoom=" + zoom);
  }
  if (const auto status = zoom_status(state.zoom, last_zoom_)) {
    last_zoom_ = state.zoom;
    set_status(*status);
  }
}

}  // namespace vesk::win
