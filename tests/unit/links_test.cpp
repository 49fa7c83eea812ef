// Link classification: what a click on a link in the page may do.
#include "app/links.h"

#include <gtest/gtest.h>

namespace vesk::win {
namespace {

TEST(Links, Classification) {
  const struct {
    const char* href;
    const char* dir;
    LinkKind kind;
    const char* target;
    const char* host = "";
  } cases[] = {
      {"", "C:\\d", LinkKind::Ignore, ""},
      {" \t\n", "C:\\d", LinkKind::Ignore, ""},
      {"#part", "C:\\d", LinkKind::Ignore, ""},
      {"  https://example.com/a?b#c \n", "", LinkKind::System, "https://example.com/a?b#c"},
      {"HTTPS://EXAMPLE.COM", "", LinkKind::System, "HTTPS://EXAMPLE.COM"},
      {"mailto:me@example.com", "", LinkKind::System, "mailto:me@example.com"},
      {"javascript:alert(1)", "C:\\d", LinkKind::Refused, ""},
      {"ftp://host/x", "C:\\d", LinkKind::Refused, ""},
      {"tel:123", "C:\\d", LinkKind::Refused, ""},
      {"ms-settings:display", "C:\\d", LinkKind::Refused, ""},
      // Relative paths, with query and fragment cut and escapes decoded.
      {"images/pic%20one.png", "C:\\d", LinkKind::Local, "C:\\d\\images\\pic one.png"},
      {"notes.md?x=1#part", "C:\\d", LinkKind::Local, "C:\\d\\notes.md"},
      {"?only", "C:\\d", LinkKind::Ignore, ""},
      {"a%2Fb.md", "C:\\d", LinkKind::Local, "C:\\d\\a/b.md"},  // an encoded slash stays
      {"100%.md", "C:\\d", LinkKind::Local, "C:\\d\\100%.md"},
      {"%E6%96%87.md", "C:\\d", LinkKind::Local, "C:\\d\\文.md"},
      {"rel.md", "", LinkKind::Local, "rel.md"},  // the current folder
      // Drive letters are not schemes; absolute paths are not joined.
      {"C:/docs/a.md", "C:\\d", LinkKind::Local, "C:\\docs\\a.md"},
      {"/root.md", "C:\\d", LinkKind::Local, "\\root.md"},
      {"file:///C:/docs/a%20b.md", "C:\\d", LinkKind::Local, "C:\\docs\\a b.md"},
      {"FILE://server/share/a.md", "C:\\d", LinkKind::Network, "\\\\server\\share\\a.md", "server"},
      {"file:C:/a.md", "C:\\d", LinkKind::Local, "C:\\a.md"},
      {"file:///C:/a.md?q#f", "", LinkKind::Local, "C:\\a.md?q#f"},
      // Control bytes: the shell would stop reading at the NUL, our checks not.
      {"file:///C:/Windows/System32/cmd.exe%00", "C:\\d", LinkKind::Unsafe, ""},
      {"tool.exe%00.png", "C:\\d", LinkKind::Unsafe, ""},
      {"a%0Ab.md", "C:\\d", LinkKind::Unsafe, ""},
      // Devices, streams and programs are refused before the disk is asked.
      {"file://?/C:/Windows/notepad.exe", "C:\\d", LinkKind::Unsafe, ""},
      {"\\\\.\\pipe\\x", "C:\\d", LinkKind::Unsafe, ""},
      {"C:/d/notes.txt:hidden", "C:\\d", LinkKind::Unsafe, "C:\\d\\notes.txt:hidden"},
      {"sub/a.md%3A%24DATA", "C:\\d", LinkKind::Unsafe, "C:\\d\\sub\\a.md:$DATA"},
      {"C:/tools/setup.EXE", "C:\\d", LinkKind::Unsafe, "C:\\tools\\setup.EXE"},
      // Other machines, however the path is spelt, are asked about first.
      {"\\\\host\\share\\a.md", "C:\\d", LinkKind::Network, "\\\\host\\share\\a.md", "host"},
      {"//host/share/a.md", "C:\\d", LinkKind::Network, "\\\\host\\share\\a.md", "host"},
      {"%2F%2Fhost/x.md", "C:\\d", LinkKind::Network, "//host\\x.md", "host"},
      {"file://///host/s/a.md", "C:\\d", LinkKind::Network, "\\\\host\\s\\a.md", "host"},
      {"file:////host/s/a.md", "C:\\d", LinkKind::Network, "\\\\host\\s\\a.md", "host"},
      {"file:/%2F/host/a.md", "C:\\d", LinkKind::Network, "\\/\\host\\a.md", "host"},
      {"\\\\\\host\\share\\a.md", "C:\\d", LinkKind::Network, "\\\\\\host\\share\\a.md", "host"},
      {"/\\host/a.md", "C:\\d", LinkKind::Network, "\\\\host\\a.md", "host"},
      {"\\/host/a.md", "C:\\d", LinkKind::Network, "\\\\host\\a.md", "host"},
      {"%5C%5C%5Chost/a.md", "C:\\d", LinkKind::Network, "\\\\\\host\\a.md", "host"},
      // The machine the document came from is not asked about again.
      {"\\\\Server\\share\\b.md", "\\\\server\\share\\docs", LinkKind::Local, "\\\\Server\\share\\b.md"},
      {"b.md", "\\\\server\\share", LinkKind::Local, "\\\\server\\share\\b.md"},
  };
  for (const auto& c : cases) {
    const LinkAction action = classify_link(c.href, c.dir);
    EXPECT_EQ(action.kind, c.kind) << c.href;
    EXPECT_EQ(action.target, c.target) << c.href;
    EXPECT_EQ(action.host, c.host) << c.href;
  }
}

TEST(Links, DecodeLinkPath) {
  EXPECT_EQ(decode_link_path("a/b%20c%2fd%zz%4"), "a\\b c/d%zz%4");
  EXPECT_EQ(decode_link_path("%41%6a"), "Aj");
  EXPECT_EQ(decode_link_path(""), "");
}

TEST(Links, ProgramsAndScriptsAreRecognised) {
  for (const char* path :
       {"C:\\d\\evil.exe", "C:\\Windows\\System32\\cmd.exe", "run.BAT", "x.Cmd", "a.com",
        "s.scr", "p.pif", "setup.msi", "x.ps1", "x.vbs", "x.js", "x.wsf", "x.hta", "x.cpl",
        "x.lnk", "x.reg", "x.jar", "evil.exe.", "evil.exe  ", "evil.exe . .",
        "\\\\server\\share\\tool.EXE", "x.url", "x.website", "x.appref-ms", "x.application",
        "x.settingcontent-ms", "x.library-ms", "x.search-ms", "x.scf", "x.chm", "x.ws", "x.wsc",
        "x.sct", "x.xll", "x.appx", "x.msix", "x.appinstaller", "x.diagcab", "disk.ISO", "x.img",
        "x.vhd", "x.vhdx", "x.py", "x.pyw", "x.gadget", "x.inf", "x.job", "x.mst", "x.psm1",
        "x.psd1", "x.rdp", "x.theme", "x.exe\\", "x.exe/."}) {
    EXPECT_TRUE(is_executable_path(path)) << path;
  }
  for (const char* path : {"a.md", "a.pdf", "a.png", "folder", "x.exe.txt", "json", "a.jsx", "a.docx"}) {
    EXPECT_FALSE(is_executable_path(path)) << path;
  }
}

TEST(Links, StreamsAreNamed) {
  for (const char* path : {"C:\\d\\a.txt:s", "a.md::$DATA", "\\\\h\\s\\a:b", "rel:x"}) {
    EXPECT_TRUE(names_stream(path)) << path;
  }
  for (const char* path : {"C:\\d\\a.txt", "c:", "\\\\h\\s\\a.md", ""}) {
    EXPECT_FALSE(names_stream(path)) << path;
  }
}

}  // namespace
TEST(Links, NetworkQuestionShowsLookAlikeHostsInAscii) {
  EXPECT_EQ(ascii_host("bücher.example"), "xn--bcher-kva.example");
  EXPECT_EQ(ascii_host("中国"), "xn--fiqs8s");
  EXPECT_EQ(ascii_host("c\xD0\xBEmpany"), "xn--cmpany-wqf");  // a Cyrillic o
  EXPECT_EQ(ascii_host("files.corp"), "files.corp");
  EXPECT_EQ(ascii_host("bad\xFF.corp"), "bad\xFF.corp");
  EXPECT_EQ(network_question_text("files"),
            "此链接指向网络位置 files，打开时 Windows 可能会向它发送你的登录凭据。仍要打开吗？");
  EXPECT_EQ(network_question_text("c\xD0\xBEmpany"),
            "此链接指向网络位置 c\xD0\xBEmpany（xn--cmpany-wqf），打开时 Windows 可能会向它发送你的登录凭据。仍要打开吗？");
}

}  // namespace vesk::win
