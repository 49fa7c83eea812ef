// Menus, accelerators, theme, keys and commands on a real main window: what
// the user sees in the menu bar and what each command asks of the page.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <functional>

#include "core/commands.h"
#include "core/paths.h"
#include "dialog_watcher.h"
#include "recording_web_host.h"
#include "temp_folder.h"
#include "test_env.h"
#include "app/main_window.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

using vesk::testing::read_all;
using vesk::testing::set_env;

using testing::web_host_record;

// Sets the app mode the theme follows; restores the old value afterwards.
class AppMode {
 public:
  explicit AppMode(DWORD light) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                    nullptr);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExW(key_, L"AppsUseLightTheme", nullptr, nullptr,
                            reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
    set(light);
  }
  ~AppMode() {
    if (had_) {
      set(old_);
    } else {
      RegDeleteValueW(key_, L"AppsUseLightTheme");
    }
    RegCloseKey(key_);
  }
  void set(DWORD light) {
    RegSetValueExW(key_, L"AppsUseLightTheme", 0, REG_DWORD, reinterpret_cast<BYTE*>(&light),
                   sizeof light);
  }

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  HKEY key_ = nullptr;
  DWORD old_ = 1;
  bool had_ = false;
};

std::string item_text(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return to_utf8(text);
}

bool checked(HWND window, UINT id) {
  return GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_CHECKED;
}
bool greyed(HWND window, UINT id) {
  return GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_GRAYED;
}

class Commands : public ::testing::Test {
 protected:
  vesk::testing::TempFolder temp{"vesk-commands-"};
  std::string log_path = temp.utf8() + "\\vesk.log";
  AppMode app_mode{0};  // dark
  std::unique_ptr<VeskMainWindow> window;

  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    set_env(L"VESK_LOG", log_path);
    set_env(L"VESK_KEYLOG", "1");
    window = std::make_unique<VeskMainWindow>(GetModuleHandleW(nullptr));
    ASSERT_TRUE(window->create_window());
    window->core()->handle_page_message(R"({"type":"ready"})");
  }
  void TearDown() override {
    set_env(L"VESK_ANSWER", "discard");
    if (IsWindow(window->window())) SendMessageW(window->window(), WM_CLOSE, 0, 0);
    window->run_message_loop();
    window.reset();
    for (const wchar_t* name : {L"VESK_LOG", L"VESK_KEYLOG", L"VESK_ANSWER", L"VESK_SAVE_AS",
                                L"VESK_COMMAND", L"VESK_EVAL", L"VESK_DROP", L"VESK_PDF_AS"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
    CoUninitialize();
  }

  std::string log() const {
    std::vector<unsigned char> bytes;
    read_file_bytes(log_path, bytes);
    return std::string(bytes.begin(), bytes.end());
  }
  bool sent(const std::string& script) const {
    const auto& scripts = web_host_record().scripts;
    return std::find(scripts.begin(), scripts.end(), script) != scripts.end();
  }
  // Makes the document dirty and runs `start`, which asks the unsaved-changes
  // question; once it was answered Save, answers the snapshot request as the
  // page does.
  void save_through_question(const std::function<void()>& start) {
    window->core()->handle_page_message(R"({"type":"dirty","value":true})");
    start();
    ASSERT_EQ(web_host_record().scripts.back(), page_call("requestSnapshot"));
    window->core()->handle_page_message(R"({"type":"save","text":"saved"})");
    window->core()->handle_page_message(R"({"type":"ready"})");
  }
  void view(bool toc, bool source, double zoom) {
    window->core()->handle_page_message("{\"type\":\"view\",\"toc\":" +
                                        std::string(toc ? "true" : "false") + ",\"source\":" +
                                        (source ? "true" : "false") +
                                        ",\"zoom\":" + std::to_string(zoom) + "}");
  }
};

TEST_F(Commands, MenuBarReadsBackAsBuilt) {
  HMENU bar = GetMenu(window->window());
  ASSERT_TRUE(bar);
  ASSERT_EQ(GetMenuItemCount(bar), 4);
  EXPECT_EQ(item_text(bar, 0), "文件(&F)");
  EXPECT_EQ(item_text(bar, 2), "格式(&O)");
  HMENU file = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(file), 17);
  EXPECT_EQ(item_text(file, 0), "新建\tCtrl+N");
  EXPECT_EQ(item_text(file, 1), "新建窗口\tCtrl+Shift+N");
  EXPECT_EQ(item_text(file, 3), "打开文件夹…");
  EXPECT_EQ(item_text(file, 4), "快速打开…\tCtrl+Alt+P");
  EXPECT_EQ(GetMenuItemID(file, 5), 0u);  // separator
  EXPECT_EQ(item_text(file, 8), "历史版本…");
  EXPECT_EQ(item_text(file, 9), "导出 HTML…\tCtrl+Alt+E");
  EXPECT_EQ(item_text(file, 12), "最近打开(&R)");
  EXPECT_TRUE(GetSubMenu(file, 12));
  EXPECT_EQ(GetMenuItemID(file, 14), kCheckUpdatesMenuId);
  EXPECT_EQ(item_text(file, 14), "检查更新(&U)...");
  EXPECT_EQ(GetMenuItemID(file, 16), kExitMenuId);
  EXPECT_EQ(item_text(file, 16), "退出(&X)\tAlt+F4");
  HMENU format = GetSubMenu(bar, 2);
  EXPECT_EQ(item_text(format, 8), "正文");
  HMENU view_menu = GetSubMenu(bar, 3);
  EXPECT_EQ(item_text(view_menu, 0), "文件\tCtrl+Shift+E");
  EXPECT_EQ(item_text(view_menu, 6), "主题");  // after 跟随系统外观
  EXPECT_TRUE(GetSubMenu(view_menu, 6));
  EXPECT_EQ(item_text(view_menu, 8), "放大\tCtrl+=");
}

TEST_F(Commands, AcceleratorTableReadsBackInMenuOrder) {
  HACCEL table = window->accelerator_table();
  ASSERT_TRUE(table);
  const int count = CopyAcceleratorTableW(table, nullptr, 0);
  ASSERT_EQ(count, 32);
  std::vector<ACCEL> entries(static_cast<std::size_t>(count));
  CopyAcceleratorTableW(table, entries.data(), count);
  EXPECT_EQ(entries[0].fVirt, FVIRTKEY | FCONTROL);
  EXPECT_EQ(entries[0].key, 'N');
  EXPECT_EQ(entries[0].cmd, 1);
  EXPECT_EQ(entries[6].fVirt, FVIRTKEY | FCONTROL | FALT);  // Ctrl+Alt+E
  EXPECT_EQ(entries[6].cmd, 5);
  EXPECT_EQ(entries[29].key, VK_ADD);  // Ctrl with the keypad plus
  EXPECT_EQ(entries[29].cmd, 31);
  for (const ACCEL& entry : entries) {
    EXPECT_TRUE(entry.cmd < 9 || entry.cmd > 12) << entry.cmd;  // the page's editing keys
  }
}

TEST_F(Commands, ThemeFollowsTheSystemUntilTheUserChooses) {
  // The app mode is dark: the page starts dark, both items checked, and pages
  // loaded later are assembled dark from their first paint.
  EXPECT_TRUE(sent(page_call_string("setTheme", "dark")));
  EXPECT_EQ(web_host_record().page_theme, "dark");
  EXPECT_TRUE(checked(window->window(), 29));
  EXPECT_TRUE(checked(window->window(), 30));

  web_host_record().scripts.clear();
  window->run_command(29);  // 深色模式: now light, no longer following
  EXPECT_TRUE(sent(page_call_string("setTheme", "light")));
  EXPECT_EQ(web_host_record().page_theme, "light");
  EXPECT_FALSE(checked(window->window(), 29));
  EXPECT_FALSE(checked(window->window(), 30));

  // A system change while not following changes nothing.
  web_host_record().scripts.clear();
  static const wchar_t kColorSet[] = L"ImmersiveColorSet";
  SendMessageW(window->window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kColorSet));
  EXPECT_TRUE(web_host_record().scripts.empty());

  window->run_command(30);  // 跟随系统外观: back to the system's dark
  EXPECT_TRUE(sent(page_call_string("setTheme", "dark")));
  EXPECT_TRUE(checked(window->window(), 30));

  app_mode.set(1);
  web_host_record().scripts.clear();
  SendMessageW(window->window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kColorSet));
  EXPECT_TRUE(sent(page_call_string("setTheme", "light")));
  static const wchar_t kOther[] = L"Policy";
  web_host_record().scripts.clear();
  SendMessageW(window->window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kOther));
  EXPECT_TRUE(web_host_record().scripts.empty());
}

TEST_F(Commands, SourceViewGreysExportAndClipboardItems) {
  view(true, true, 1.0);
  EXPECT_TRUE(checked(window->window(), 27));
  EXPECT_TRUE(checked(window->window(), 28));
  for (UINT id : {6u, 9u, 10u, 11u}) EXPECT_TRUE(greyed(window->window(), id)) << id;
  EXPECT_FALSE(greyed(window->window(), 12));
  window->run_command(6);
  EXPECT_TRUE(sent(page_call_string("setStatus", "源码模式下不能导出 PDF，先退出源码模式")));
  view(false, false, 1.0);
  for (UINT id : {6u, 9u, 10u, 11u}) EXPECT_FALSE(greyed(window->window(), id)) << id;
}

TEST_F(Commands, ZoomReportsShowOnlyRealChanges) {
  view(false, false, 1.0);
  view(false, false, 1.1);
  view(false, false, 1.1004);
  const auto& scripts = web_host_record().scripts;
  EXPECT_EQ(std::count_if(scripts.begin(), scripts.end(),
                          [](const std::string& s) { return s.find("缩放：") != std::string::npos; }),
            1);
  EXPECT_TRUE(sent(page_call_string("setStatus", "缩放：110%")));
  EXPECT_NE(log().find("NATIVE view toc=0 source=0 zoom=1.100000\n"), std::string::npos);
}

TEST_F(Commands, EveryCommandIsLoggedAndReachesThePage) {
  set_env(L"VESK_ANSWER", "cancel");  // commands that would ask stay put
  // The open and folder dialogs are modal; a new window would start this
  // test program again.
  const auto skipped = [](int id) { return id == 2 || id == 34 || id == 38; };
  for (const CommandSpec& command : command_table()) {
    if (skipped(command.id)) continue;
    window->run_command(command.id);
  }
  const std::string lines = log();
  for (const CommandSpec& command : command_table()) {
    if (skipped(command.id)) continue;
    EXPECT_NE(lines.find("NATIVE command " + command.label + "\n"), std::string::npos)
        << command.label;
  }
  for (const char* script :
       {"window.vesk && window.vesk.requestSnapshot();", "window.vesk && window.vesk.undo();",
        "window.vesk && window.vesk.redo();", "window.vesk && window.vesk.clipboardCopy(true);",
        "window.vesk && window.vesk.clipboardCopy(false);", "document.execCommand('selectAll');",
        "window.vesk && window.vesk.format(\"paragraph\");",
        "window.vesk && window.vesk.format(\"hr\");", "window.vesk && window.vesk.toggleToc();",
        "window.vesk && window.vesk.toggleSource();", "window.vesk && window.vesk.zoomBy(1);",
        "window.vesk && window.vesk.zoomBy(-1);", "window.vesk && window.vesk.resetZoom();",
        "window.vesk && window.vesk.exportHtml(\"未命名\");"}) {
    EXPECT_TRUE(sent(script)) << script;
  }
}

TEST_F(Commands, MenuAndKeysRouteToCommands) {
  SendMessageW(window->window(), WM_COMMAND, MAKEWPARAM(27, 0), 0);
  SendMessageW(window->window(), kRunCommandMessage, 28, 0);
  EXPECT_TRUE(sent(page_call("toggleToc")));
  EXPECT_TRUE(sent(page_call("toggleSource")));
  // The page's accelerator path: bound keys run, unbound ones pass.
  EXPECT_TRUE(window->handle_page_accelerator('B', 0x08));
  EXPECT_TRUE(sent(page_call_string("format", "bold")));
  EXPECT_FALSE(window->handle_page_accelerator('J', 0x0C));
  EXPECT_FALSE(window->handle_page_accelerator('X', 0x08));
  const std::string lines = log();
  EXPECT_NE(lines.find("NATIVE key vk=66 mods=8 cmd=13\n"), std::string::npos);
  EXPECT_NE(lines.find("NATIVE key vk=74 mods=12\n"), std::string::npos);
  // Wine delivers low-level hooks, so the hook is really installed here.
  EXPECT_NE(lines.find("NATIVE keyboard hook on\n"), std::string::npos);
}

TEST_F(Commands, LinksToProgramsAreRefused) {
  const std::string program = temp.write("evil.exe", "MZ");
  window->open_link(" " + program + " ");
  EXPECT_TRUE(sent(page_call_string("setStatus", "出于安全考虑，不直接打开可执行文件： " + program + " ")));
  window->open_link("javascript:alert(1)");
  EXPECT_TRUE(sent(page_call_string("setStatus", "不支持打开的链接类型：javascript:alert(1)")));
  // A NUL ends the name for the shell: "run.cmd" would run, not "run.cmd.png".
  const std::string script = temp.write("run.cmd", "@echo off\r\n");
  window->open_link("file:///" + script + "%00.png");
  EXPECT_TRUE(sent(page_call_string("setStatus", "出于安全考虑，不直接打开此链接：file:///" + script + "%00.png")));
  window->open_link(temp.utf8() + "\\notes.txt:run.cmd");
  EXPECT_TRUE(sent(page_call_string("setStatus", "出于安全考虑，不直接打开可执行文件：" + temp.utf8() + "\\notes.txt:run.cmd")));
}

TEST_F(Commands, LinksToOtherMachinesAskFirst) {
  set_env(L"VESK_ANSWER", "cancel");
  window->open_link("//host/share/a.md");
  window->open_link("file://host/share/tool.txt");
  const std::string lines = log();
  EXPECT_NE(lines.find("NATIVE link network host=host cancel\n"), std::string::npos) << lines;
  // Cancelled: no box about a missing file, nothing opened, no status.
  EXPECT_TRUE(window->document_path().empty());
  const std::string status_call = "window.vesk && window.vesk.setStatus(";
  for (const std::string& script : web_host_record().scripts) EXPECT_NE(script.rfind(status_call, 0), 0u) << script;
}

TEST_F(Commands, LinkToAMarkdownFileOpensIt) {
  const std::string other = temp.write("other.md", "# other");
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\first.md");
  window->save_document("first");  // gives the document a folder
  window->open_link("other.md#section");
  EXPECT_EQ(window->document_path(), other);
}

// Waits (up to a minute) for another process's top-level window whose title
// holds `part` and closes it: the shell's window for a folder we handed over.
bool close_shell_window_showing(const wchar_t* part) {
  struct Search {
    const wchar_t* part;
    HWND found = nullptr;
  } search{part};
  for (int i = 0; i < 600 && !search.found; ++i) {
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto& s = *reinterpret_cast<Search*>(data);
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          wchar_t title[512] = {};
          GetWindowTextW(window, title, 512);
          if (process != GetCurrentProcessId() && std::wcsstr(title, s.part)) s.found = window;
          return s.found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(100);
  }
  if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
  return search.found != nullptr;
}

TEST_F(Commands, SaveInTheQuestionRunsTheDeferredActionOnceSaved) {
  vesk::testing::DialogWatcher watcher([](const vesk::testing::DialogSnapshot& dialog) {
    if (dialog.shows(L"有尚未保存的修改")) return 1000;  // 保存
    if (dialog.caption == L"打开 Markdown 文件") return static_cast<int>(IDCANCEL);
    return static_cast<int>(IDOK);  // the stand-in web host cannot print: its error box
  });
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\first.md");
  save_through_question([&] { window->run_command(1); });  // New
  EXPECT_EQ(read_all(temp.utf8() + "\\first.md"), "saved");
  EXPECT_EQ(window->document_path(), "");
  EXPECT_TRUE(sent(page_call_string("setStatus", "已新建空白文档（未命名，保存时会询问位置）")));

  const std::string other = temp.write("other.md", "# other");
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\second.md");
  save_through_question([&] { window->open_path_requested(other); });
  EXPECT_EQ(read_all(temp.utf8() + "\\second.md"), "saved");
  EXPECT_EQ(window->document_path(), other);

  set_env(L"VESK_PDF_AS", temp.utf8() + "\\other.pdf");
  save_through_question([&] { window->run_command(6); });  // Export PDF
  EXPECT_EQ(read_all(other), "saved");
  EXPECT_TRUE(sent(page_call_string("setStatus", "正在导出 PDF…")));

  save_through_question([&] { window->run_command(2); });  // Open: the dialog, cancelled
  const auto answered = watcher.answered();
  ASSERT_FALSE(answered.empty());
  EXPECT_EQ(answered.back().caption, L"打开 Markdown 文件");
  EXPECT_EQ(window->document_path(), other);
}

TEST_F(Commands, LinksToMissingTargetsFoldersAndDirtyDocuments) {
  vesk::testing::DialogWatcher watcher([](const vesk::testing::DialogSnapshot& dialog) {
    if (dialog.shows(L"有尚未保存的修改")) return static_cast<int>(IDCANCEL);  // 取消
    return static_cast<int>(IDOK);
  });
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\first.md");
  window->save_document("first");  // gives the document a folder
  // Percent-escapes that decode to invalid UTF-8 are just a missing target.
  window->open_link("missing.md");
  window->open_link("%FF%FE.md");
  // A folder named like a document goes to the shell, not into the editor.
  CreateDirectoryW(to_utf16(temp.utf8() + "\\folder.md").c_str(), nullptr);
  window->open_link("folder.md");
  EXPECT_TRUE(close_shell_window_showing(L"folder.md"));
  // The question comes before following a link away from unsaved text.
  temp.write("other.md", "# other");
  window->core()->handle_page_message(R"({"type":"dirty","value":true})");
  window->open_link("other.md");
  EXPECT_EQ(window->document_path(), temp.utf8() + "\\first.md");

  // Only these: the folder went to the shell (whose own messages, if any,
  // are not ours to count).
  std::vector<vesk::testing::DialogSnapshot> missing, questions;
  for (const auto& dialog : watcher.answered()) {
    if (dialog.caption == L"链接目标不存在") missing.push_back(dialog);
    if (dialog.caption == L"未保存的修改") questions.push_back(dialog);
  }
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_TRUE(missing[0].shows(L"找不到链接指向的文件：\nmissing.md"));
  EXPECT_TRUE(missing[1].shows(L"找不到链接指向的文件：\n%FF%FE.md"));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_TRUE(questions[0].shows(L"“first.md”有尚未保存的修改，是否保存？"));
  EXPECT_TRUE(IsWindow(window->window()));
}

TEST_F(Commands, PageReadyStartsTheAutomation) {
  // The automation is read at the first page-ready of a window: start anew.
  SendMessageW(window->window(), WM_CLOSE, 0, 0);
  window->run_message_loop();
  set_env(L"VESK_COMMAND", " Toggle Source ");
  set_env(L"VESK_EVAL", "1+1");
  set_env(L"VESK_DROP", ";" + temp.utf8() + "\\a.pdf;;");
  window = std::make_unique<VeskMainWindow>(GetModuleHandleW(nullptr));
  ASSERT_TRUE(window->create_window());
  window->core()->handle_page_message(R"({"type":"ready"})");
  EXPECT_TRUE(sent(
      "(function(){try{var r=(1+1);window.chrome.webview.postMessage({type:'log',message:'EVAL '+"
      "String(r)});}catch(e){window.chrome.webview.postMessage({type:'log',message:'EVALERR '+e}"
      ");}})();"));
  // Timers run from the message loop: let them fire, then close.
  SetTimer(window->window(), 99, 1500, nullptr);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.wParam == 99) break;
    DispatchMessageW(&message);
  }
  const std::string lines = log();
  EXPECT_NE(lines.find("NATIVE ready gen=1\n"), std::string::npos);
  EXPECT_NE(lines.find("NATIVE eval scheduled\n"), std::string::npos);
  EXPECT_NE(lines.find("NATIVE drop probe scheduled paths=1\n"), std::string::npos);
  EXPECT_NE(lines.find("NATIVE drop probe paths=1\n"), std::string::npos);
  EXPECT_NE(lines.find("NATIVE startup command togglesource\n"), std::string::npos);
  EXPECT_TRUE(sent(page_call("toggleSource")));
}

}  // namespace
}  // namespace vesk::win
