// The real main window, created in the test process against a recording web
// host: the welcome document, opening, saving, the caption and closing.
#include "app/main_window.h"

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "core/history.h"
#include "core/paths.h"
#include "dialog_watcher.h"
#include "recording_web_host.h"
#include "temp_folder.h"
#include "test_env.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

using vesk::testing::set_env;
using vesk::testing::read_all;

namespace fs = std::filesystem;
using testing::web_host_record;

// The window needs a single-threaded COM apartment, as in Vesk.exe.
class ComApartment : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

std::string caption(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return to_utf8(text);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

class MainWindow : public ::testing::Test {
 protected:
  vesk::testing::TempFolder temp{"vesk-window-"};
  std::string log_path = temp.utf8() + "\\vesk.log";
  VeskMainWindow window{GetModuleHandleW(nullptr)};

  void SetUp() override {
    set_env(L"VESK_LOG", log_path);
    ASSERT_TRUE(window.create_window());
  }

  void TearDown() override {
    if (IsWindow(window.window())) {
      set_env(L"VESK_ANSWER", "discard");
      SendMessageW(window.window(), WM_CLOSE, 0, 0);
    }
    // Takes the WM_QUIT that WM_DESTROY posted, so the next test starts clean.
    EXPECT_EQ(window.run_message_loop(), 0);
    for (const wchar_t* name : {L"VESK_LOG", L"VESK_ANSWER", L"VESK_SAVE_AS", L"VESK_DATA_DIR"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }

  void page_ready() { window.core()->handle_page_message(R"({"type":"ready"})"); }
  void page_dirty() { window.core()->handle_page_message(R"({"type":"dirty","value":true})"); }
  // The log without the lines every window writes at start and at ready.
  std::string log() const {
    const std::string all = fs::exists(to_fs_path(log_path)) ? read_all(log_path) : std::string();
    std::string kept;
    std::size_t start = 0;
    while (start < all.size()) {
      std::size_t end = all.find('\n', start);
      end = end == std::string::npos ? all.size() : end + 1;
      const std::string_view line(all.data() + start, end - start);
      if (line.substr(0, 21) != "NATIVE keyboard hook " && line.substr(0, 17) != "NATIVE ready gen=") {
        kept.append(line);
      }
      start = end;
    }
    return kept;
  }
};

TEST_F(MainWindow, StartsWithTheWelcomeDocumentUntitled) {
  EXPECT_EQ(caption(window.window()), "未命名 - Vesk");
  EXPECT_EQ(web_host_record().navigations, std::vector<std::string>{""});
  EXPECT_EQ(window.core()->load_count(), 1u);
  page_ready();
  ASSERT_EQ(web_host_record().markdown.size(), 1u);
  // The test program has samples\welcome.md beside it, as Vesk.exe does.
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const fs::path sample = fs::path(exe).parent_path() / "samples" / "welcome.md";
  EXPECT_EQ(web_host_record().markdown[0], read_all(from_fs_path(sample)));
  EXPECT_EQ(log(), "");  // the welcome document says nothing
}

TEST_F(MainWindow, OpeningReadsWithoutBomAndRemembersCrLf) {
  const std::string path = temp.write("笔记.md", "\xEF\xBB\xBF# 标题\r\n正文\r\n");
  window.open_document(path);
  EXPECT_EQ(window.document_path(), path);
  EXPECT_EQ(window.document_dir(), temp.utf8());
  EXPECT_TRUE(window.uses_crlf());
  EXPECT_EQ(caption(window.window()), "笔记.md - Vesk");
  EXPECT_EQ(window.pending_status(), "已打开：" + path);
  EXPECT_EQ(log(), "NATIVE open " + path + "\n");
  // Another folder: the page is reloaded there and gets the text at ready.
  EXPECT_EQ(web_host_record().navigations.back(), temp.utf8());
  page_ready();
  EXPECT_EQ(web_host_record().markdown.back(), "# 标题\r\n正文\r\n");
  // The held status reaches the page once it is ready, text and all.
  EXPECT_TRUE(contains(web_host_record().scripts, page_call_string("setStatus", "已打开：" + path)));
  EXPECT_EQ(window.pending_status(), "");
}

TEST_F(MainWindow, RelativePathIsStoredAbsoluteButReportedAsGiven) {
  temp.write("rel.md", "text");
  const fs::path before = fs::current_path();
  fs::current_path(temp.path());
  window.open_document("rel.md");
  fs::current_path(before);
  EXPECT_EQ(window.document_path(), temp.utf8() + "\\rel.md");
  EXPECT_EQ(window.pending_status(), "已打开：rel.md");
  EXPECT_EQ(log(), "NATIVE open rel.md\n");
}

TEST_F(MainWindow, SaveRestoresCrLfWithoutDoublingIt) {
  const std::string path = temp.write("a.md", "one\r\ntwo\r\n");
  window.open_document(path);
  page_ready();
  page_dirty();
  EXPECT_EQ(caption(window.window()), "a.md* - Vesk");
  window.save_document("one\ntwo\r\nthree\n");
  EXPECT_EQ(read_all(path), "one\r\ntwo\r\nthree\r\n");
  EXPECT_FALSE(window.core()->is_dirty());
  EXPECT_EQ(caption(window.window()), "a.md - Vesk");
  EXPECT_NE(log().find("NATIVE save " + path + "\n"), std::string::npos);
  EXPECT_TRUE(contains(web_host_record().scripts, page_call_string("setStatus", "已保存：" + path)));
}

TEST_F(MainWindow, UntitledSaveUsesVeskSaveAsWithExtensionAndMovesThePage) {
  page_ready();
  const std::string chosen = temp.utf8() + "\\draft";
  set_env(L"VESK_SAVE_AS", chosen);
  window.save_document("# draft\n");
  EXPECT_EQ(read_all(chosen + ".md"), "# draft\n");  // LF stays LF
  EXPECT_EQ(window.document_path(), chosen + ".md");
  EXPECT_EQ(caption(window.window()), "draft.md - Vesk");
  // The document now has a folder: the page moves there with the saved text.
  EXPECT_EQ(web_host_record().navigations.back(), temp.utf8());
  page_ready();
  EXPECT_EQ(web_host_record().markdown.back(), "# draft\n");
}

TEST_F(MainWindow, NewDocumentKeepsTheFolderAndForgetsCrLf) {
  const std::string path = temp.write("a.md", "x\r\n");
  window.open_document(path);
  window.start_new_document();
  EXPECT_EQ(window.document_path(), "");
  EXPECT_EQ(window.document_dir(), temp.utf8());
  EXPECT_FALSE(window.uses_crlf());
  EXPECT_EQ(caption(window.window()), "未命名 - Vesk");
  EXPECT_EQ(window.pending_status(), "已新建空白文档（未命名，保存时会询问位置）");
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\b.md");
  window.save_document("y\n");
  EXPECT_EQ(read_all(temp.utf8() + "\\b.md"), "y\n");
}

TEST_F(MainWindow, CloseWithUnsavedChangesFollowsTheAnswer) {
  page_ready();
  page_dirty();
  EXPECT_EQ(caption(window.window()), "未命名* - Vesk");

  set_env(L"VESK_ANSWER", "cancel");
  SendMessageW(window.window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window.window()));

  // Save: the page is asked for its text; the window closes after the save.
  set_env(L"VESK_ANSWER", "save");
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\closing.md");
  SendMessageW(window.window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window.window()));
  EXPECT_EQ(web_host_record().scripts.back(), page_call("requestSnapshot"));
  window.core()->handle_page_message(R"({"type":"save","text":"last words"})");
  EXPECT_EQ(read_all(temp.utf8() + "\\closing.md"), "last words");
  EXPECT_FALSE(IsWindow(window.window()));
  EXPECT_TRUE(web_host_record().closed);
}

TEST_F(MainWindow, UnreadableFileShowsTheBoxAndKeepsTheWelcomeDocument) {
  vesk::testing::DialogWatcher watcher(vesk::testing::DialogWatcher::press(IDOK));
  const std::string missing = temp.utf8() + "\\missing.md";
  window.open_document(missing);
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  const auto& box = answered[0];
  EXPECT_EQ(box.caption, L"无法打开");
  EXPECT_TRUE(box.shows(to_utf16("读取文件失败：\n" + missing)));
  EXPECT_EQ(window.document_path(), "");
  EXPECT_EQ(caption(window.window()), "未命名 - Vesk");
  EXPECT_EQ(log(), "");
}

TEST_F(MainWindow, AReadThatFailsPartwayOpensNothing) {
  // A pipe whose writer goes away after a few bytes: the read after them
  // fails, and the bytes read so far must not become the document.
  const std::wstring name = L"\\\\.\\pipe\\vesk-partial-" + std::to_wstring(GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  std::thread writer([pipe] {
    ConnectNamedPipe(pipe, nullptr);
    DWORD written = 0;
    WriteFile(pipe, "# partial\n", 10, &written, nullptr);
    FlushFileBuffers(pipe);  // returns once the reader has the bytes
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
  });
  vesk::testing::DialogWatcher watcher(vesk::testing::DialogWatcher::press(IDOK));
  window.open_document(to_utf8(name));
  writer.join();
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].caption, L"无法打开");
  EXPECT_TRUE(answered[0].shows(L"读取文件失败：\n" + name));
  EXPECT_EQ(window.document_path(), "");
  EXPECT_EQ(log(), "");
}

TEST_F(MainWindow, ShareAndVerbatimPathsStayIntact) {
  EXPECT_EQ(full_path("\\\\server\\share\\x\\..\\a.md"), "\\\\server\\share\\a.md");
  EXPECT_EQ(full_path("C:/x/a.md"), "C:\\x\\a.md");
  // A \\?\ path opened directly (command line, dialog, after a save) and
  // dropped onto the window.
  const std::string verbatim = "\\\\?\\" + temp.write("verbatim.md", "# v\n");
  window.open_document(verbatim);
  EXPECT_EQ(window.document_path(), verbatim);
  window.start_new_document();
  EXPECT_TRUE(window.core()->handle_dropped_paths({verbatim}));
  EXPECT_EQ(window.document_path(), verbatim);
}

TEST_F(MainWindow, FailedSaveShowsTheBoxAndDropsTheDeferredClose) {
  vesk::testing::DialogWatcher watcher(vesk::testing::DialogWatcher::press(IDOK));
  page_ready();
  page_dirty();
  const std::string unwritable = temp.utf8() + "\\no\\such\\x.md";
  set_env(L"VESK_ANSWER", "save");
  set_env(L"VESK_SAVE_AS", unwritable);
  SendMessageW(window.window(), WM_CLOSE, 0, 0);
  window.core()->handle_page_message(R"({"type":"save","text":"words"})");
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].caption, L"保存失败");
  EXPECT_TRUE(answered[0].shows(to_utf16("无法写入文件：\n" + unwritable)));
  EXPECT_TRUE(window.core()->is_dirty());
  // A later successful save must not close the window.
  set_env(L"VESK_SAVE_AS", temp.utf8() + "\\later.md");
  window.core()->handle_page_message(R"({"type":"save","text":"words"})");
  EXPECT_TRUE(IsWindow(window.window()));
  EXPECT_EQ(read_all(temp.utf8() + "\\later.md"), "words");
}

TEST_F(MainWindow, UnsavedQuestionShowsItsTextsAndAnswers) {
  page_dirty();
  // "不保存" in the task dialog; No in the message box that stands in when
  // task dialogs are unavailable.
  vesk::testing::DialogWatcher watcher([](const vesk::testing::DialogSnapshot& dialog) {
    for (int id : dialog.buttons) {
      if (id == 1001) return 1001;
    }
    return static_cast<int>(IDNO);
  });
  SendMessageW(window.window(), WM_CLOSE, 0, 0);
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  const auto& question = answered[0];
  EXPECT_EQ(question.caption, L"未保存的修改");
  EXPECT_TRUE(question.shows(L"“未命名”有尚未保存的修改，是否保存？"));
  // Wine's comctl32 has task dialogs even without our manifest, so this is
  // the task dialog with its three buttons, not the message-box fallback.
  EXPECT_EQ(question.buttons, (std::vector<int>{1000, 1001, IDCANCEL}));
  EXPECT_TRUE(question.shows(L"不保存"));
  EXPECT_FALSE(IsWindow(window.window()));
}

TEST_F(MainWindow, BackupsFollowTheUnsavedTextAndAFailureIsSaidOnce) {
  set_env(L"VESK_DATA_DIR", temp.utf8() + "\\data");
  const std::string path = temp.write("b.md", "old\n");
  window.open_document(path);
  page_ready();
  window.backup_text("not dirty yet");  // a late backup of clean text is not kept
  const fs::path folder = to_fs_path(temp.utf8() + "\\data\\Backups");
  EXPECT_FALSE(fs::exists(folder) && !fs::is_empty(folder));
  page_dirty();
  window.backup_text("old\nnew");
  ASSERT_TRUE(fs::exists(folder));
  const std::vector<fs::path> entries{fs::directory_iterator(folder), fs::directory_iterator()};
  ASSERT_EQ(entries.size(), 1u);
  const auto record = decode_backup(read_all(from_fs_path(entries[0])));
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->path, path);
  EXPECT_EQ(record->text, "old\nnew");
  EXPECT_EQ(record->loaded, disk_state_of("old\n", record->loaded.write_time));
  const std::string entry = from_fs_path(entries[0].stem());
  EXPECT_NE(log().find("NATIVE backup " + entry + " bytes=7\n"), std::string::npos);
  // Clean again: the entry goes.
  window.core()->handle_page_message(R"({"type":"dirty","value":false})");
  EXPECT_FALSE(fs::exists(entries[0]));

  // A data folder that cannot be made: one status for a run of failures.
  set_env(L"VESK_DATA_DIR", temp.write("a-file", "x"));
  page_dirty();
  window.backup_text("a");
  window.backup_text("b");
  const auto& scripts = web_host_record().scripts;
  EXPECT_EQ(std::count(scripts.begin(), scripts.end(), page_call_string("setStatus", "无法备份未保存的内容")), 1);
}

TEST_F(MainWindow, SavesKeepTheBytesTheyReplaceAndAVersionComesBackAsOneEdit) {
  set_env(L"VESK_DATA_DIR", temp.utf8() + "\\data");
  const std::string path = temp.write("h.md", "v1\n");
  window.open_document(path);
  page_ready();
  for (const char* text : {"v2\n", "v2\n", "v3\n"}) {  // the same bytes again keep no version
    page_dirty();
    window.save_document(text);
  }
  const fs::path folder = to_fs_path(temp.utf8() + "\\data\\History\\" + history_folder_name(path));
  std::vector<fs::path> versions{fs::directory_iterator(folder), fs::directory_iterator()};
  std::sort(versions.begin(), versions.end());
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(read_all(from_fs_path(versions[0])), "v1\n");
  EXPECT_EQ(read_all(from_fs_path(versions[1])), "v2\n");
  EXPECT_NE(log().find("NATIVE history kept " + history_folder_name(path) + "\\"), std::string::npos);

  // 文件 › 历史版本…: the newest is chosen, and restoring hands it to the page as one edit.
  vesk::testing::DialogWatcher watcher(vesk::testing::DialogWatcher::press_when(L"历史版本：h.md", 1001));
  window.history_command();
  const auto answered = watcher.answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].caption, L"历史版本");
  EXPECT_TRUE(answered[0].shows(L"在新窗口中打开"));
  EXPECT_TRUE(answered[0].shows(L"恢复到文档"));
  const auto& scripts = web_host_record().scripts;
  EXPECT_TRUE(contains(scripts, page_call_string("replaceText", "v2\n")));
  EXPECT_EQ(read_all(path), "v3\n");  // the file itself waits for the next save

  // An untitled document has no history.
  window.start_new_document();
  window.history_command();
  EXPECT_TRUE(contains(web_host_record().scripts, page_call_string("setStatus", "此文档没有历史版本")));
}

TEST_F(MainWindow, CannotBeMadeSmallerThanTheMinimum) {
  SetWindowPos(window.window(), nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT frame{};
  GetWindowRect(window.window(), &frame);
  const int dpi = static_cast<int>(GetDpiForWindow(window.window()));
  EXPECT_GE(frame.right - frame.left, MulDiv(760, dpi, 96));
  EXPECT_GE(frame.bottom - frame.top, MulDiv(520, dpi, 96));
}

TEST_F(MainWindow, WorkArrivingDuringTeardownIsNotDone) {
  page_ready();
  web_host_record().pump_on_close = true;
  HWND handle = window.window();
  const std::string doc = temp.write("late.md", "# late\n");
  PostMessageW(handle, kDropPathsMessage, 0, reinterpret_cast<LPARAM>(new std::vector<std::string>{doc}));
  PostMessageW(handle, kRunCommandMessage, 28, 0);
  PostMessageW(handle, WM_COMMAND, MAKEWPARAM(27, 0), 0);
  PostMessageW(handle, kUpdateResultMessage, 0, 0);
  PostMessageW(handle, WM_CLOSE, 0, 0);
  const std::size_t scripts = web_host_record().scripts.size();
  DestroyWindow(handle);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(log(), "");
  EXPECT_EQ(web_host_record().scripts.size(), scripts);
}

TEST_F(MainWindow, PrivateMessagesAndUnknownCommands) {
  SendMessageW(window.window(), kDropPathsMessage, 0, 0);
  auto* paths = new std::vector<std::string>{temp.utf8() + "\\x.pdf"};
  SendMessageW(window.window(), kDropPathsMessage, 0, reinterpret_cast<LPARAM>(paths));
  SendMessageW(window.window(), WM_COMMAND, MAKEWPARAM(39999, 0), 0);
  SendMessageW(window.window(), WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(log(), "NATIVE drop paths=0\nNATIVE drop paths=1\n");
  EXPECT_TRUE(IsWindow(window.window()));
}

}  // namespace
}  // namespace vesk::win
