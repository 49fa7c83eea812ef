// For the end-to-end tests: posts one window message to the main window of a
// running Vesk.exe, as a menu click or the close button would; or, given
// "client" for the message, prints where its client area is on the screen
// ("left top width height").
//   webhost_e2e_post <windows pid> <message>|client [wparam] [times] [gap ms]
// Pid 0 takes any Vesk window. Posts `times` (1 unless told) copies, `gap`
// milliseconds apart. Exit code 0 once done, 1 when no such window
// appeared within 10 s.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

struct Search {
  DWORD process;
  HWND window = nullptr;
};

BOOL CALLBACK look(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if ((search.process == 0 || owner == search.process) && std::wcscmp(name, L"VeskNativeWindow") == 0) {
    search.window = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  Search search{static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10))};
  const bool client = std::wcscmp(argv[2], L"client") == 0;
  const UINT message = static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0));
  const WPARAM wparam = argc > 3 ? static_cast<WPARAM>(std::wcstoul(argv[3], nullptr, 0)) : 0;
  for (int attempt = 0; attempt < 100 && !search.window; ++attempt) {
    EnumWindows(look, reinterpret_cast<LPARAM>(&search));
    if (!search.window) Sleep(100);
  }
  if (!search.window) return 1;
  if (client) {
    RECT area{};
    POINT corner{0, 0};
    if (!GetClientRect(search.window, &area) || !ClientToScreen(search.window, &corner)) return 1;
    std::printf("%ld %ld %ld %ld\n", corner.x, corner.y, area.right, area.bottom);
    return 0;
  }
  const unsigned long times = argc > 4 ? std::wcstoul(argv[4], nullptr, 10) : 1;
  const DWORD gap = argc > 5 ? static_cast<DWORD>(std::wcstoul(argv[5], nullptr, 10)) : 0;
  for (unsigned long i = 0; i < times; ++i) {
    if (i > 0) Sleep(gap);
    if (!PostMessageW(search.window, message, wparam, 0)) return 1;
  }
  return 0;
}
