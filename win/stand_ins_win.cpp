// Parts of the main window whose real implementations live with the menus
// and keyboard, the clipboard, links, theme, automation, the drop target,
// the exports and the updater. Until those land, the window runs with these
// harmless versions; each is replaced, not extended, by its real one.
#include "win/main_window.h"

namespace vesk::win {

void VeskMainWindow::install_menus() {}
void VeskMainWindow::install_keyboard_hook() {}
bool VeskMainWindow::handle_key_down(std::uint32_t) { return false; }
bool VeskMainWindow::handle_page_accelerator(std::uint32_t, std::uint16_t) { return false; }
void VeskMainWindow::run_command(int) {}
void VeskMainWindow::apply_theme() {}
void VeskMainWindow::on_view_state(const ViewState&) {}
void VeskMainWindow::open_link(const std::string&) {}
void VeskMainWindow::front_end_error(const std::string& message) {
  set_status("前端错误：" + message);
}
void VeskMainWindow::clipboard_write(const std::string&, const std::string&) {}
void VeskMainWindow::read_clipboard_text(std::string& text) { text.clear(); }
bool VeskMainWindow::read_clipboard_image(std::vector<unsigned char>&, std::string&) {
  return false;
}
void VeskMainWindow::on_page_ready() { update_title(); }
void VeskMainWindow::run_startup_command() {}
void VeskMainWindow::take_snapshot() {}
void VeskMainWindow::run_drop_probe() {}
void VeskMainWindow::ensure_drop_target() {}
void VeskMainWindow::revoke_drop_target() {}
void VeskMainWindow::export_html(const std::string&) {}
void VeskMainWindow::export_pdf_requested(const std::string&) {}
void VeskMainWindow::start_updater() {}
void VeskMainWindow::on_update_timer() {}
void VeskMainWindow::check_for_updates_now() {}
void VeskMainWindow::on_update_result(LPARAM) {}

}  // namespace vesk::win
