// Vesk.exe's entry point: DPI awareness, the COM apartment, common controls,
// the main window and its message loop, and the shutdown order.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string_view>

#include "app/main_window.h"
#include "platform/strings.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  int argument_count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &argument_count);

  int exit_code = 1;
  try {
    vesk::win::VeskMainWindow window(instance);
    if (window.create_window()) {
      const bool recovering = arguments && argument_count >= 3 &&
                              std::wstring_view(arguments[1]) == vesk::win::kRecoverSwitch;
      // "--untitled": a new window asked for an empty document.
      const bool untitled = arguments && argument_count >= 2 && std::wstring_view(arguments[1]) == L"--untitled";
      const bool copy = arguments && argument_count >= 3 &&
                        std::wstring_view(arguments[1]) == vesk::win::kOpenCopySwitch;
      if (recovering) {
        window.recover_entry(vesk::win::to_utf8(arguments[2]));
      } else if (copy) {
        window.open_copy(vesk::win::to_utf8(arguments[2]));
      } else if (untitled) {
        window.start_new_document();
      } else if (arguments && argument_count >= 2) {
        window.open_document(vesk::win::to_utf8(arguments[1]));
      }
      window.show_window(show_command);
      // Backups of processes that are gone; a start that recovers one entry
      // leaves the others to the start that found them.
      if (!recovering) window.recover_at_start(!(arguments && argument_count >= 2));
      exit_code = window.run_message_loop();
    }
  } catch (...) {
    exit_code = 1;
  }

  LocalFree(arguments);
  CoUninitialize();
  return exit_code;
}
