// Plays another program of the same user trying to swap a verified update
// package before it runs: opens it for writing, deletes it, renames it, and
// renames its folder.
//   update_swap_attempt <package path>
// Prints one line per attempt ("write refused", "delete done", ...) and
// exits 0 only when every attempt was refused.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 3;
  const std::wstring path = argv[1];
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  int succeeded = 0;
  const auto report = [&succeeded](const char* what, bool done) {
    std::printf("%s %s\n", what, done ? "done" : "refused");
    if (done) ++succeeded;
  };

  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(file, "MZ swapped", 10, &written, nullptr);
    ::CloseHandle(file);
  }
  report("write", file != INVALID_HANDLE_VALUE);
  report("rename", ::MoveFileExW(path.c_str(), (path + L".old").c_str(), 0) != FALSE);
  report("delete", ::DeleteFileW(path.c_str()) != FALSE);
  report("folder-rename", ::MoveFileExW(folder.c_str(), (folder + L"-old").c_str(), 0) != FALSE);
  std::fflush(stdout);
  return succeeded == 0 ? 0 : 1;
}
