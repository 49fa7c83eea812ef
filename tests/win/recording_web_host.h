// A WebHostView for the Windows tests: no web control, every call recorded,
// so a real main window can be driven and observed in the test process.
#pragma once

#include <string>
#include <vector>

#include "webhost/web_host_view.h"

namespace vesk::win::testing {

struct WebHostRecord {
  std::vector<std::string> navigations;  // folders of navigate_editor_page
  std::vector<std::string> scripts;
  std::vector<std::string> markdown;     // texts handed to set_markdown
  std::vector<std::string> evaluated;    // scripts of evaluate_script_result
  std::vector<std::string> printed;      // "<path> scale=<scale>" of print_to_pdf
  std::string page_theme;                // the last set_page_theme
  bool closed = false;
  // Set: close() dispatches the thread's pending messages before it returns,
  // as the real control's Close may.
  bool pump_on_close = false;

  // How the page answers evaluate_script_result, and whether printing
  // succeeds; a successful print writes `print_bytes` to the file.
  bool evaluate_ok = false;
  std::string evaluate_result;
  bool print_ok = false;
  std::string print_bytes = "%PDF-1.4";
  // Set: a print does not finish until the test calls `held_print`.
  bool hold_print = false;
  WebHostView::Done held_print;
};

// The record of the most recently created web host; reset by each creation.
WebHostRecord& web_host_record();

}  // namespace vesk::win::testing
