// The core's protocol with the page and the shell, driven through a
// recording host: every host call and page call is checked in order.
#include "core/editor_core.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/images.h"
#include "core/paths.h"
#include "recording_host.h"
#include "temp_folder.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

std::string script(const std::string& call) { return "run_script " + call; }

class EditorCoreTest : public ::testing::Test {
 protected:
  testing::RecordingHost host;
  EditorCore core{&host};

  void SetUp() override { host.core = &core; }

  // Takes the core through its first load cycle with an empty folder.
  void make_ready(const std::string& markdown = "# hi", const std::string& dir = "") {
    core.load_document(markdown, dir);
    core.handle_page_message(R"({"type":"ready"})");
    host.clear();
  }
};

TEST_F(EditorCoreTest, MalformedMessagesAreDroppedSilently) {
  make_ready();
  for (const char* message :
       {"", "{", "[]", "null", "42", "\"ready\"", R"({"type":"ready")", R"({"type":"READY"})",
        R"({"type":"unknown"})", R"({"type":5})", R"({"type":null})", R"({"kind":"ready"})",
        "{\"type\":\"dirty\",\"value\":true}x", "\xff\xfe{}", R"([{"type":"ready"}])"}) {
    core.handle_page_message(message);
  }
  EXPECT_EQ(host.calls, Calls{});
  EXPECT_TRUE(core.is_page_ready());
}

TEST_F(EditorCoreTest, DispatchPassesMembersWithDefaults) {
  make_ready();
  core.handle_page_message(R"({"type":"view"})");
  core.handle_page_message(R"({"type":"view","toc":true,"source":1,"zoom":"2"})");
  core.handle_page_message(R"({"type":"view","toc":false,"source":true,"zoom":1.5})");
  core.handle_page_message(R"({"type":"stats","words":12.9,"cjk":-3.7})");
  core.handle_page_message(R"({"type":"stats","words":1e300,"cjk":-1e300})");
  core.handle_page_message(R"({"type":"stats"})");
  core.handle_page_message(R"({"type":"save","text":"a\r\nb"})");
  core.handle_page_message(R"({"type":"save","text":7})");
  core.handle_page_message(R"({"type":"open","extra":1})");
  core.handle_page_message(R"({"type":"drop","name":"a.md","text":"x"})");
  core.handle_page_message(R"({"type":"clipboardWrite","text":"t","html":"<b>t</b>"})");
  core.handle_page_message(R"({"type":"openLink","href":"https://example.com/?a=1"})");
  core.handle_page_message(R"({"type":"export","html":"<html></html>"})");
  core.handle_page_message(R"({"type":"status","message":"好"})");
  core.handle_page_message(R"({"type":"error","message":"boom"})");
  core.handle_page_message(R"({"type":"log","message":"line"})");
  core.handle_page_message(R"({"type":"log"})");
  EXPECT_EQ(host.calls, (Calls{
                            "view_state toc=0 source=0 zoom=1",
                            "view_state toc=1 source=0 zoom=1",
                            "view_state toc=0 source=1 zoom=1.5",
                            "stats cjk=-3 words=12",
                            "stats cjk=-2147483648 words=2147483647",
                            "stats cjk=0 words=0",
                            "save_document a\r\nb",
                            "save_document ",
                            "open_document_dialog",
                            "load_dropped_document a.md | x",
                            "clipboard_write t | <b>t</b>",
                            "open_link https://example.com/?a=1",
                            "export_html <html></html>",
                            "set_status 好",
                            "front_end_error boom",
                            "page_log line",
                            "page_log ",
                        }));
}

TEST_F(EditorCoreTest, DirtyIsReportedEvenWhenUnchanged) {
  make_ready();
  core.handle_page_message(R"({"type":"dirty","value":true})");
  EXPECT_TRUE(core.is_dirty());
  core.handle_page_message(R"({"type":"dirty","value":true})");
  core.handle_page_message(R"({"type":"dirty"})");
  EXPECT_FALSE(core.is_dirty());
  EXPECT_EQ(host.calls, (Calls{"dirty_changed true", "dirty_changed true", "dirty_changed false"}));
}

TEST_F(EditorCoreTest, FirstLoadReloadsAndDeliversAtReady) {
  core.load_document("# 欢迎", "");
  EXPECT_EQ(host.calls, Calls{"reload_page "});
  EXPECT_EQ(core.load_count(), 1u);
  EXPECT_FALSE(core.is_page_ready());
  host.clear();

  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls, (Calls{script(remove_base_script()), "load_markdown # 欢迎",
                               script(R"(window.vesk && window.vesk.setTheme("light");)"),
                               "page_ready"}));
  EXPECT_TRUE(core.is_page_ready());
}

TEST_F(EditorCoreTest, SecondReadyResendsBaseAndThemeButNotText) {
  core.load_document("text", "/docs");
  core.handle_page_message(R"({"type":"ready"})");
  host.clear();
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls, (Calls{script(base_href_script("file:///docs/")),
                               script(R"(window.vesk && window.vesk.setTheme("light");)"),
                               "page_ready"}));
}

TEST_F(EditorCoreTest, SameFolderLoadKeepsThePage) {
  make_ready("one", "/docs");
  core.handle_page_message(R"({"type":"dirty","value":true})");
  host.clear();
  core.load_document("two", "/docs");
  EXPECT_EQ(host.calls, Calls{"load_markdown two"});
  EXPECT_EQ(core.load_count(), 1u);
  EXPECT_TRUE(core.is_dirty());  // the shell asked about unsaved changes already
}

// What the page must know about a text is said before the text, which may
// travel by another route; a plain load afterwards says nothing.
TEST_F(EditorCoreTest, RecoveredAndReloadedTextsAreAnnouncedAheadOfTheText) {
  core.load_unsaved_document("recovered", "/docs");
  EXPECT_EQ(host.calls, Calls{"reload_page /docs"});
  host.clear();
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls_starting_with("run_script window.vesk && window.vesk.markUnsaved").size(), 1u);
  const Calls delivered = host.calls_starting_with("load_markdown");
  ASSERT_EQ(delivered, Calls{"load_markdown recovered"});
  const auto at = [&](const std::string& prefix) {
    for (std::size_t i = 0; i < host.calls.size(); ++i) {
      if (host.calls[i].rfind(prefix, 0) == 0) return i;
    }
    return host.calls.size();
  };
  EXPECT_LT(at("run_script window.vesk && window.vesk.markUnsaved(true)"), at("load_markdown"));

  host.clear();
  core.reload_document("changed on disk");
  EXPECT_EQ(host.calls, (Calls{script(page_call("keepPlace")), "load_markdown changed on disk"}));
  host.clear();
  core.load_document("another", "/docs");
  EXPECT_EQ(host.calls, Calls{"load_markdown another"});
}

TEST_F(EditorCoreTest, BackupSlicesAreJoinedInOrderAndNeverMixed) {
  const auto slice = [&](int id, int part, bool last, const char* text) {
    core.handle_page_message("{\"type\":\"backup\",\"id\":" + std::to_string(id) + ",\"part\":" +
                             std::to_string(part) + ",\"last\":" + (last ? "true" : "false") +
                             ",\"text\":\"" + text + "\"}");
  };
  core.handle_page_message(R"({"type":"backup","text":"whole"})");
  slice(1, 0, false, "a");
  slice(1, 1, false, "b");
  // A newer backup starts: the older one's late slice is not taken into it.
  slice(2, 0, false, "x");
  slice(1, 2, true, "c");
  slice(2, 1, true, "y");
  slice(3, 0, false, "p");
  slice(3, 2, true, "r");  // a gap
  slice(4, 0, true, "");
  EXPECT_EQ(host.calls, (Calls{"backup_text whole", "backup_text xy", "backup_text "}));
}

TEST_F(EditorCoreTest, SameFolderLoadsWhileLoadingDeliverOnlyTheNewest) {
  core.load_document("one", "/docs");
  core.load_document("two", "/docs");
  core.load_document("three", "/docs");
  EXPECT_EQ(host.calls, Calls{"reload_page /docs"});
  host.clear();
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls_starting_with("load_markdown"), Calls{"load_markdown three"});
}

TEST_F(EditorCoreTest, OtherFolderReloadsAndCleansDirtyDocument) {
  make_ready("one", "/a");
  core.handle_page_message(R"({"type":"dirty","value":true})");
  host.clear();
  core.load_document("two", "/b");
  EXPECT_EQ(host.calls, (Calls{"dirty_changed false", "reload_page /b"}));
  EXPECT_EQ(core.load_count(), 2u);
  EXPECT_FALSE(core.is_page_ready());
  EXPECT_EQ(core.base_dir(), "/b");
  // Base element and theme wait for the page.
  host.clear();
  core.set_theme("dark");
  EXPECT_EQ(host.calls, Calls{});
}

TEST_F(EditorCoreTest, NewDocumentDropsTheFolderWithoutReload) {
  make_ready("one", "/a");
  core.handle_page_message(R"({"type":"dirty","value":true})");
  host.clear();
  core.new_document();
  EXPECT_EQ(host.calls, (Calls{script(remove_base_script()),
                               script("window.vesk && window.vesk.newDocument();")}));
  EXPECT_EQ(core.base_dir(), "");
  EXPECT_TRUE(core.is_dirty());
  EXPECT_EQ(core.load_count(), 1u);
}

TEST_F(EditorCoreTest, MarkSavedReportsCleanOnlyWhenItWasDirty) {
  make_ready();
  core.mark_saved("a \"b\"");
  EXPECT_EQ(host.calls, Calls{script(R"(window.vesk && window.vesk.markSaved("a \"b\"");)")});
  core.handle_page_message(R"({"type":"dirty","value":true})");
  host.clear();
  core.mark_saved("x");
  EXPECT_EQ(host.calls, (Calls{script(R"(window.vesk && window.vesk.markSaved("x");)"),
                               "dirty_changed false"}));
}

TEST_F(EditorCoreTest, SaveAsToAnotherFolderReloadsWithTheSavedText) {
  make_ready("draft", "");
  core.mark_saved("saved text");
  host.clear();
  core.set_base_dir("");
  EXPECT_EQ(host.calls, Calls{});
  core.set_base_dir("/new");
  EXPECT_EQ(host.calls, Calls{"reload_page /new"});
  EXPECT_EQ(core.load_count(), 2u);
  host.clear();
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls_starting_with("load_markdown"), Calls{"load_markdown saved text"});
  EXPECT_EQ(host.calls.front(), script(base_href_script("file:///new/")));
}

TEST_F(EditorCoreTest, SetBaseDirWhileLoadingOnlyRecordsTheFolder) {
  core.load_document("text", "");
  host.clear();
  core.set_base_dir("/later");
  EXPECT_EQ(host.calls, Calls{});
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls.front(), script(base_href_script("file:///later/")));
  EXPECT_EQ(core.load_count(), 1u);
}

TEST_F(EditorCoreTest, ThemeNamesOtherThanDarkMeanLight) {
  make_ready();
  core.set_theme("dark");
  core.set_theme("Dark");
  core.set_theme("DARK");
  core.set_theme("");
  EXPECT_EQ(host.calls, (Calls{script(R"(window.vesk && window.vesk.setTheme("dark");)"),
                               script(R"(window.vesk && window.vesk.setTheme("light");)"),
                               script(R"(window.vesk && window.vesk.setTheme("light");)"),
                               script(R"(window.vesk && window.vesk.setTheme("light");)")}));
}

TEST_F(EditorCoreTest, ThemeChosenBeforeReadyIsSentAtReady) {
  core.set_theme("dark");
  core.load_document("", "");
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls_starting_with("run_script window.vesk && window.vesk.setTheme"),
            Calls{script(R"(window.vesk && window.vesk.setTheme("dark");)")});
}

TEST_F(EditorCoreTest, PdfExportWaitsForReadyAndRunsOnce) {
  core.start_pdf_export("");
  EXPECT_EQ(host.calls, Calls{"report_error 导出失败：没有指定保存位置"});
  core.load_document("", "");
  host.clear();
  core.start_pdf_export("C:\\first.pdf");
  core.start_pdf_export("C:\\second.pdf");
  EXPECT_EQ(host.calls, Calls{});
  core.handle_page_message(R"({"type":"ready"})");
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls_starting_with("export_pdf"), Calls{"export_pdf C:\\second.pdf"});
  // The export comes after page_ready, which may have run start-up commands.
  EXPECT_EQ(host.calls[3], "page_ready");
  EXPECT_EQ(host.calls[4], "export_pdf C:\\second.pdf");
  host.clear();
  core.start_pdf_export("C:\\now.pdf");
  EXPECT_EQ(host.calls, Calls{"export_pdf C:\\now.pdf"});
}

TEST_F(EditorCoreTest, PageReadyMayCallBackIntoTheCore) {
  host.on_page_ready = [](EditorCore* c) { c->load_document("reentered", "/x"); };
  core.load_document("first", "");
  core.handle_page_message(R"({"type":"ready"})");
  EXPECT_EQ(host.calls.back(), "reload_page /x");
  EXPECT_FALSE(core.is_page_ready());
  EXPECT_EQ(core.load_count(), 2u);
}

TEST_F(EditorCoreTest, PlainPageCallsAreSentEvenBeforeReady) {
  core.request_snapshot();
  core.request_html_export("笔记 \"1\".md");
  core.format("h1");
  core.undo();
  core.redo();
  core.toggle_toc();
  core.toggle_source();
  core.zoom_by(1);
  core.zoom_by(-1);
  core.reset_zoom();
  EXPECT_EQ(host.calls,
            (Calls{script("window.vesk && window.vesk.requestSnapshot();"),
                   script(R"(window.vesk && window.vesk.exportHtml("笔记 \"1\".md");)"),
                   script(R"(window.vesk && window.vesk.format("h1");)"),
                   script("window.vesk && window.vesk.undo();"),
                   script("window.vesk && window.vesk.redo();"),
                   script("window.vesk && window.vesk.toggleToc();"),
                   script("window.vesk && window.vesk.toggleSource();"),
                   script("window.vesk && window.vesk.zoomBy(1);"),
                   script("window.vesk && window.vesk.zoomBy(-1);"),
                   script("window.vesk && window.vesk.resetZoom();")}));
}

TEST_F(EditorCoreTest, CopyCutAndUnknownEditCommands) {
  core.edit_command("copy");
  core.edit_command("cut");
  core.edit_command("");
  core.edit_command("Copy");
  core.handle_page_message(R"({"type":"editCommand","command":"cut"})");
  core.handle_page_message(R"({"type":"editCommand"})");
  EXPECT_EQ(host.calls, (Calls{script("window.vesk && window.vesk.clipboardCopy(false);"),
                               script("window.vesk && window.vesk.clipboardCopy(true);"),
                               script("window.vesk && window.vesk.clipboardCopy(true);")}));
}

TEST_F(EditorCoreTest, PastePrefersTextWhenNoImage) {
  host.clipboard_text = "line\n\"q\"";
  core.edit_command("paste");
  EXPECT_EQ(host.calls,
            (Calls{"read_clipboard_image", "read_clipboard_text",
                   script(R"(window.vesk && window.vesk.clipboardPaste("line\n\"q\"");)")}));
  host.clear();
  host.clipboard_text.clear();
  host.clipboard_has_image = true;  // an image flag with no bytes is no image
  core.edit_command("paste");
  EXPECT_EQ(host.calls, (Calls{"read_clipboard_image", "read_clipboard_text",
                               "set_status 剪贴板里没有可粘贴的文本"}));
}

TEST_F(EditorCoreTest, ImageIntoADocumentWithoutFolderFails) {
  make_ready();
  host.clipboard_has_image = true;
  host.clipboard_image = {0x89, 'P', 'N', 'G'};
  core.edit_command("paste");
  EXPECT_EQ(host.calls, (Calls{"read_clipboard_image",
                               "set_status 图片未插入：当前文档还没有保存位置，请先保存 .md 文件"}));
}

TEST_F(EditorCoreTest, ImageMessageWithoutDataReportsEmptyClipboard) {
  make_ready();
  core.handle_page_message(R"({"type":"image"})");
  core.handle_page_message(R"({"type":"image","data":""})");
  core.handle_page_message(R"({"type":"image","data":"=== !!"})");
  core.handle_page_message(R"({"type":"image","data":12})");
  EXPECT_EQ(host.calls, Calls(4, "set_status 图片未插入：剪贴板内容为空"));
}

// Image storing and drops against a real folder on disk.
class EditorCoreFilesTest : public EditorCoreTest {
 protected:
  testing::TempFolder temp{"vesk-core-文档-"};
  const fs::path& root = temp.path();

  std::string dir() const { return temp.utf8(); }
  std::string write_file(const std::string& name, const std::string& bytes) {
    return temp.write(name, bytes);
  }
};

TEST_F(EditorCoreFilesTest, PagePastedAndDroppedImagesAreNamedBySource) {
  make_ready("", dir());
  // "aGVsbG8=" is "hello".
  core.handle_page_message(R"({"type":"image","data":"aGVs bG8=","mime":"image/gif","name":"x.png","source":"drop"})");
  core.handle_page_message(R"({"type":"image","data":"aGVsbG8=","mime":"image/webp","name":""})");
  const Calls scripts = host.calls_starting_with("run_script");
  ASSERT_EQ(scripts.size(), 2u);
  EXPECT_EQ(scripts[0], script(R"(window.vesk && window.vesk.insertImage("assets/x.png");)"));
  EXPECT_NE(scripts[1].find(R"(insertImage("assets/paste-)"), std::string::npos);
  EXPECT_NE(scripts[1].find(R"(.webp");)"), std::string::npos);
  EXPECT_EQ(host.calls[1], "set_status 已保存图片：assets/x.png");
  std::vector<unsigned char> stored;
  ASSERT_TRUE(read_file_bytes(dir() + "/assets/x.png", stored));
  EXPECT_EQ(std::string(stored.begin(), stored.end()), "hello");
}

TEST_F(EditorCoreFilesTest, ClipboardImageDefaultsToPng) {
  make_ready("", dir());
  host.clipboard_has_image = true;
  host.clipboard_image = {1, 2, 3};
  core.edit_command("paste");
  core.edit_command("paste");
  const Calls statuses = host.calls_starting_with("set_status");
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[0].substr(0, std::string("set_status 已保存图片：assets/paste-").size()),
            "set_status 已保存图片：assets/paste-");
  EXPECT_EQ(statuses[0].substr(statuses[0].size() - 4), ".png");
  EXPECT_NE(statuses[0], statuses[1]);  // same second or not, never the same file
}

TEST_F(EditorCoreFilesTest, DropOpensTheFirstMarkdownAndIgnoresImages) {
  make_ready("", dir());
  const std::vector<std::string> paths = {write_file("a.png", "p"), dir() + "/sub/../b.MD",
                                          dir() + "/c.md"};
  EXPECT_TRUE(core.can_accept_drop(paths));
  EXPECT_TRUE(core.handle_dropped_paths(paths));
  EXPECT_EQ(host.calls, Calls{"open_path " + from_fs_path(to_fs_path(dir() + "/b.MD").make_preferred())});
}

TEST_F(EditorCoreFilesTest, DropOfImagesInsertsEachInOrder) {
  make_ready("", dir());
  const std::vector<std::string> paths = {write_file("one.jpeg", "1"), dir() + "/notes.pdf",
                                          write_file("empty.png", ""), dir() + "/missing.gif"};
  EXPECT_TRUE(core.handle_dropped_paths(paths));
  EXPECT_EQ(host.calls_starting_with("set_status"),
            (Calls{"set_status 已保存图片：assets/one.jpg", "set_status 已保存图片：assets/empty.png",
                   "set_status 图片未插入：无法读取 missing.gif"}));
  EXPECT_TRUE(fs::exists(root / "assets" / "empty.png"));
  EXPECT_EQ(fs::file_size(root / "assets" / "empty.png"), 0u);
}

TEST_F(EditorCoreFilesTest, DropOfOtherFilesIsRefused) {
  const std::vector<std::string> none;
  const std::vector<std::string> pdf = {dir() + "/a.pdf", dir() + "/b.svg"};
  EXPECT_FALSE(core.can_accept_drop(none));
  EXPECT_FALSE(core.can_accept_drop(pdf));
  EXPECT_FALSE(core.handle_dropped_paths(pdf));
  EXPECT_EQ(host.calls, Calls{});
}

TEST_F(EditorCoreFilesTest, ImagesOverTheLimitAreRefusedOnEveryRoute) {
  make_ready("", dir());
  // A dropped file, refused by its size before it is read (sparse here).
  const std::string big = write_file("big.png", "");
  fs::resize_file(to_fs_path(big), kMaxImageBytes + 1);
  EXPECT_FALSE(core.insert_image_file(big));
  host.clipboard_has_image = true;
  host.clipboard_image.assign(kMaxImageBytes + 1, 0);
  core.edit_command("paste");
  EXPECT_EQ(host.calls_starting_with("set_status"), Calls(2, "set_status 图片过大（超过 64 MB），未插入"));
  EXPECT_FALSE(fs::exists(root / "assets"));
}

TEST_F(EditorCoreFilesTest, FolderNamedLikeAnImageCannotBeRead) {
  make_ready("", dir());
  fs::create_directories(root / "shots.png");
  EXPECT_FALSE(core.insert_image_file(dir() + "/shots.png"));
  EXPECT_EQ(host.calls, Calls{"set_status 图片未插入：无法读取 shots.png"});
}

}  // namespace
}  // namespace vesk
