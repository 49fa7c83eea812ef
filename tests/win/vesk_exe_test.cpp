// Vesk.exe as a user starts it: a document on the command line, an
// unreadable one, and a clean exit after WM_CLOSE.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/paths.h"
#include "temp_folder.h"
#include "platform/com.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

using namespace std::chrono_literals;

// ctest hands us the build path of Vesk.exe; under Wine a Unix path is
// reached through the Z: drive.
std::wstring vesk_exe() {
  std::string path = VESK_EXE_PATH;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path) c = c == '/' ? '\\' : c;
    path = "Z:" + path;
  }
  return to_utf16(path);
}

struct Found {
  DWORD process;
  std::wstring class_name;
  HWND window = nullptr;
};

HWND find_window(DWORD process, const wchar_t* class_name) {
  Found found{process, class_name};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& f = *reinterpret_cast<Found*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (owner == f.process && f.class_name == name) {
          f.window = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.window;
}

std::wstring text_of(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// A message box of the process with this caption.
HWND find_box(DWORD process, const std::wstring& caption) {
  struct Search {
    DWORD process;
    const std::wstring& caption;
    HWND found = nullptr;
  } search{process, caption};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (owner == s.process && std::wstring_view(name) == L"#32770" &&
            text_of(window) == s.caption) {
          s.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Every child text of a dialog in another process.
std::wstring dialog_texts(HWND dialog) {
  std::wstring all;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM data) -> BOOL {
        *reinterpret_cast<std::wstring*>(data) += text_of(child) + L"\n";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

template <typename Condition>
bool wait_for(Condition condition, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

class VeskExe : public ::testing::Test {
 protected:
  vesk::testing::TempFolder temp{"vesk-exe-"};
  PROCESS_INFORMATION child{};
  UniqueHandle process;

  void start(const std::wstring& arguments) {
    SetEnvironmentVariableW(L"VESK_LOG", to_utf16(temp.utf8() + "\\vesk.log").c_str());
    std::wstring command = L"\"" + vesk_exe() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child))
        << to_utf8(command);
    CloseHandle(child.hThread);
    process.reset(child.hProcess);
  }

  // Without a browser runtime on this machine the web host reports that in
  // a box titled "Vesk"; the shell under test carries on behind it.
  void dismiss_web_host_box() {
    if (HWND box = find_box(child.dwProcessId, L"Vesk")) {
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }

  // The main window, once it is visible.
  HWND visible_main_window() {
    HWND window = nullptr;
    wait_for([&] {
      dismiss_web_host_box();
      window = find_window(child.dwProcessId, L"VeskNativeWindow");
      return window && IsWindowVisible(window);
    });
    return window;
  }

  DWORD close_and_wait(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.get(), &code);
    return code;
  }

  void TearDown() override {
    if (process.valid() && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process.get(), 1);
    }
    SetEnvironmentVariableW(L"VESK_LOG", nullptr);
  }

  std::string log() const {
    std::vector<unsigned char> bytes;
    read_file_bytes(temp.utf8() + "\\vesk.log", bytes);
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(VeskExe, DocumentOnTheCommandLineIsShownFromTheStart) {
  const std::string document = temp.write("开始.md", "# 开始\n");
  start(L"\"" + to_utf16(document) + L"\"");
  HWND window = visible_main_window();
  ASSERT_TRUE(window);
  // The first caption a user sees already names the document.
  EXPECT_EQ(to_utf8(text_of(window)), "开始.md - Vesk");
  EXPECT_EQ(close_and_wait(window), 0u);
  EXPECT_NE(log().find("NATIVE open " + document + "\n"), std::string::npos);
}

TEST_F(VeskExe, UnreadableDocumentIsReportedBeforeTheWindowShows) {
  const std::string missing = temp.utf8() + "\\missing.md";
  start(L"\"" + to_utf16(missing) + L"\" ignored-second-argument");
  HWND box = nullptr;
  ASSERT_TRUE(wait_for([&] {
    dismiss_web_host_box();
    return (box = find_box(child.dwProcessId, L"无法打开")) != nullptr;
  }));
  HWND window = find_window(child.dwProcessId, L"VeskNativeWindow");
  EXPECT_FALSE(window && IsWindowVisible(window));
  EXPECT_EQ(text_of(box), L"无法打开");
  EXPECT_NE(dialog_texts(box).find(to_utf16("读取文件失败：\n" + missing)), std::wstring::npos);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  window = visible_main_window();
  ASSERT_TRUE(window);
  EXPECT_EQ(to_utf8(text_of(window)), "未命名 - Vesk");
  EXPECT_EQ(close_and_wait(window), 0u);
  EXPECT_EQ(log().find("NATIVE open"), std::string::npos);
}

// What Explorer and the loader read from the file: the manifest, the icon in
// seven sizes and the version record.
TEST(VeskExeResources, ManifestIconAndVersion) {
  HMODULE image = LoadLibraryExW(vesk_exe().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(image);

  HRSRC manifest = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_TRUE(manifest);
  const std::string manifest_text(static_cast<const char*>(LockResource(LoadResource(image, manifest))),
                                  SizeofResource(image, manifest));
  EXPECT_NE(manifest_text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest_text.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest_text.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);

  // The icon group lists one entry per size.
  HRSRC group = FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_TRUE(group);
  const auto* header = static_cast<const WORD*>(LockResource(LoadResource(image, group)));
  EXPECT_EQ(header[2], 7);  // idReserved, idType, idCount

  HRSRC version = FindResourceW(image, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  ASSERT_TRUE(version);
  const void* block = LockResource(LoadResource(image, version));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 3));
  wchar_t* product = nullptr;
  ASSERT_TRUE(VerQueryValueW(block, L"\\StringFileInfo\\080404b0\\ProductName",
                             reinterpret_cast<void**>(&product), &size));
  EXPECT_STREQ(product, L"Vesk");
  FreeLibrary(image);
}

}  // namespace
}  // namespace vesk::win
