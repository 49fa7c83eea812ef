#include <gtest/gtest.h>

#include <cstdarg>

#include "update/installer_signature.h"
#include "update/update_policy.h"

namespace vesk {
namespace {

TEST(DownloadFileName, TakesTheLastSegmentOrFallsBack) {
  const struct {
    std::wstring url, name;
  } cases[] = {
      {L"https://h.test/a/pkg.zip?token=1/2", L"pkg.zip"},
      {L"https://h.test/a/Vesk-1.0.4-setup.exe", L"Vesk-1.0.4-setup.exe"},
      {L"https://h.test/a/dir/", L"Vesk-update.bin"},
      {L"https://h.test/a/dir/?x=/y.exe", L"Vesk-update.bin"},
      {L"https://h.test", L"h.test"},
      {L"https://h.test/%2e%2e%5cevil.exe", L"%2e%2e%5cevil.exe"},  // never decoded
      {L"https://h.test/a/\u5305.zip", L"\u5305.zip"},
      {L"https://h.test/a/pkg.zip#frag", L"pkg.zip#frag"},
      // A name that could leave our folder, open a device or be mangled by
      // Windows is replaced.
      {L"https://h.test/..", L"Vesk-update.bin"},
      {L"https://h.test/a..b.zip", L"Vesk-update.bin"},
      {L"https://h.test/..\\..\\Startup\\x.exe", L"Vesk-update.bin"},
      {L"https://h.test/x\\y.exe", L"Vesk-update.bin"},
      {L"https://h.test/C:x.exe", L"Vesk-update.bin"},
      {L"https://h.test/pkg.zip:stream", L"Vesk-update.bin"},
      {L"https://h.test/a\tb.zip", L"Vesk-update.bin"},
      {L"https://h.test/a\x7f.zip", L"Vesk-update.bin"},
      {L"https://h.test/a<b", L"Vesk-update.bin"},
      {L"https://h.test/a>b", L"Vesk-update.bin"},
      {L"https://h.test/a\"b", L"Vesk-update.bin"},
      {L"https://h.test/a|b", L"Vesk-update.bin"},
      {L"https://h.test/a*b", L"Vesk-update.bin"},
      {L"https://h.test/pkg.", L"Vesk-update.bin"},
      {L"https://h.test/pkg ", L"Vesk-update.bin"},
      {L"https://h.test/.", L"Vesk-update.bin"},
      {L"https://h.test/CON", L"Vesk-update.bin"},
      {L"https://h.test/nul.zip", L"Vesk-update.bin"},
      {L"https://h.test/Com1.exe", L"Vesk-update.bin"},
      {L"https://h.test/lpt9", L"Vesk-update.bin"},
      {L"https://h.test/COM\u00B9.txt", L"Vesk-update.bin"},
      {L"https://h.test/aux .txt", L"Vesk-update.bin"},
      {L"https://h.test/conin$", L"Vesk-update.bin"},
      {L"https://h.test/console.zip", L"console.zip"},
      {L"https://h.test/com10.zip", L"com10.zip"},
      {L"https://h.test/nul_.zip", L"nul_.zip"},
      {L"https://h.test/" + std::wstring(128, L'a'), std::wstring(128, L'a')},
      {L"https://h.test/" + std::wstring(129, L'a'), L"Vesk-update.bin"},
      {L"", L"Vesk-update.bin"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(download_file_name(c.url), c.name) << c.url.size();
  }
}

TEST(FormatMegabytes, OneDecimalForPositiveCounts) {
  const struct {
    std::int64_t bytes;
    std::string_view text;
  } cases[] = {
      {0, ""}, {-5, ""}, {1, "0.0 MB"}, {52428, "0.0 MB"}, {52429, "0.1 MB"}, {1048576, "1.0 MB"},
      {5 * 1048576 + 524288, "5.5 MB"}, {INT64_MAX, "8796093022208.0 MB"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_megabytes(c.bytes), c.text) << c.bytes;
}

TEST(ChooseUpdateTarget, PrefersTheCopysKindAndFallsBack) {
  UpdateManifest both;
  both.setup = {"s", "S", 10};
  both.portable = {"p", "P", 20};
  UpdateManifest setup_only;
  setup_only.setup = both.setup;
  setup_only.portable = {"", "ignored", 5};
  UpdateManifest portable_only;
  portable_only.portable = both.portable;
  const struct {
    const UpdateManifest& manifest;
    bool installed;
    std::string_view url, sha256;
    std::int64_t size;
    bool installer;
  } cases[] = {
      {both, true, "s", "S", 10, true},          {both, false, "p", "P", 20, false},
      {setup_only, false, "s", "S", 10, true},   {setup_only, true, "s", "S", 10, true},
      {portable_only, true, "p", "P", 20, false}, {portable_only, false, "p", "P", 20, false},
  };
  for (const auto& c : cases) {
    const UpdateTarget target = choose_update_target(c.manifest, c.installed);
    EXPECT_EQ(target.url, c.url);
    EXPECT_EQ(target.sha256, c.sha256);
    EXPECT_EQ(target.size, c.size);
    EXPECT_EQ(target.is_installer, c.installer) << c.url << " installed=" << c.installed;
  }
}

TEST(BackgroundCheck, SkipsOnlyWithinADayOfAnEarlierCheck) {
  const std::uint32_t now = 1'800'000'000;
  const struct {
    std::optional<std::uint32_t> last;
    bool skip;
  } cases[] = {
      {std::nullopt, false}, {0, false},        {now, true},          {now - 1, true},
      {now - 86399, true},   {now - 86400, false}, {now + 1, false},  {1, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(skip_background_check(c.last, now), c.skip) << (c.last ? std::to_string(*c.last) : "none");
  }
}

std::string log_line(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string line = format_update_log_line(format, args);
  va_end(args);
  return line;
}

TEST(UpdateLog, PrefixesAndCutsAt511Bytes) {
  EXPECT_EQ(log_line("download attempt %d/%d", 2, 3), "NATIVE update download attempt 2/3");
  EXPECT_EQ(log_line("%s", ""), "NATIVE update ");
  const std::string long_text(600, 'x');
  EXPECT_EQ(log_line("GET %s", long_text.c_str()), "NATIVE update GET " + std::string(507, 'x'));
}

TEST(Sha256Matches, IgnoresAsciiCaseOnly) {
  const struct {
    std::string_view actual, expected;
    bool match;
  } cases[] = {
      {"ab12ef", "AB12EF", true}, {"ab12ef", "ab12ef", true}, {"ab12ef", "ab12e", false},
      {"ab12ef", "ab12ef ", false}, {"ab12ef", "ab12eg", false}, {"", "", true}, {"ab", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(sha256_hex_matches(c.actual, c.expected), c.match) << c.expected;
}

TEST(UpdatePrompt, BuildsContentInOrder) {
  UpdateManifest manifest;
  manifest.version = "1.0.4";
  manifest.updated_at = "2026-03-01";
  manifest.notes_url = "https://example.test/notes";
  const UpdatePromptText full = build_update_prompt(manifest, UpdateTarget{"u", "h", 3 * 1048576, true});
  EXPECT_EQ(full.instruction, "发现新版本 1.0.4");
  EXPECT_EQ(full.content,
            "当前版本 1.0.3。\n更新时间：2026-03-01\n安装包大小：3.0 MB"
            "\n\n当前是安装版：将下载安装包、验签并校验 SHA256 后静默安装并重启。"
            "\n\n<a href=\"https://example.test/notes\">查看完整更新说明…</a>");
  EXPECT_EQ(full.fallback_content,
            "当前版本 1.0.3。\n更新时间：2026-03-01\n安装包大小：3.0 MB"
            "\n\n当前是安装版：将下载安装包、验签并校验 SHA256 后静默安装并重启。"
            "\n\n更新说明：https://example.test/notes");
  EXPECT_TRUE(full.has_link);

  UpdateManifest bare;
  bare.version = "2";
  const UpdatePromptText plain = build_update_prompt(bare, UpdateTarget{"u", "h", 0, false});
  EXPECT_EQ(plain.content, "当前版本 1.0.3。\n\n当前是绿色版：将下载并校验更新包，随后打开所在文件夹，解压覆盖即可。");
  EXPECT_EQ(plain.fallback_content, plain.content);
  EXPECT_FALSE(plain.has_link);
}

TEST(UpdatePrompt, LinksOnlyToWebAddresses) {
  const struct {
    std::string_view notes_url;
    bool link;
  } cases[] = {
      {"https://example.test/n", true}, {"HTTP://example.test/n", true}, {"http://", false},
      {"file:///C:/Windows/System32/calc.exe", false}, {"C:\\evil.exe", false},
      {"\\\\host\\share\\x.exe", false}, {"javascript:alert(1)", false},
      {"https://example.test/\"><a href=\"file:///c:/x.exe", false},
  };
  for (const auto& c : cases) {
    UpdateManifest manifest;
    manifest.version = "2";
    manifest.notes_url = c.notes_url;
    const UpdatePromptText prompt = build_update_prompt(manifest, UpdateTarget{});
    EXPECT_EQ(prompt.has_link, c.link) << c.notes_url;
    EXPECT_EQ(prompt.content.find("<a") != std::string::npos, c.link) << c.notes_url;
    // The plain-text box may name any address: nothing in it can be opened.
    EXPECT_NE(prompt.fallback_content.find(c.notes_url), std::string::npos) << c.notes_url;
  }
}

TEST(CheckOutcome, ManualMessagesForEveryOutcomeButAnOffer) {
  UpdateManifest manifest;
  manifest.version = "1.0.9";
  UpdateManifest needs_os = manifest;
  needs_os.min_os = "10.0.19041";
  const struct {
    bool parsed;
    std::string_view error;
    int decision;
    const UpdateManifest& manifest;
    std::optional<std::pair<std::string_view, std::string_view>> message;
  } cases[] = {
      {false, "服务器返回 HTTP 404", 0, manifest, {{"检查更新失败", "服务器返回 HTTP 404"}}},
      {false, "", 0, manifest, {{"检查更新失败", "无法获取更新清单"}}},
      {true, "", kUpdateUnusable, manifest, {{"检查更新失败", "更新清单缺少版本号或下载地址。"}}},
      {true, "", kUpdateCurrent, manifest, {{"已是最新版本", "当前版本 1.0.3 已经是最新版本。"}}},
      {true, "", kUpdateNeedsNewerOs, manifest, {{"新版本不支持当前系统", "最新版本 1.0.9 需要 Windows 10 或更高。"}}},
      {true, "", kUpdateNeedsNewerOs, needs_os,
       {{"新版本不支持当前系统", "最新版本 1.0.9 需要 Windows 10.0.19041 或更高。"}}},
      {true, "", kUpdateAvailable, manifest, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto message = check_outcome_message(c.parsed, c.error, c.decision, c.manifest);
    ASSERT_EQ(message.has_value(), c.message.has_value()) << c.decision;
    if (message) {
      EXPECT_EQ(message->caption, c.message->first);
      EXPECT_EQ(message->text, c.message->second);
    }
  }
}

TEST(DownloadProgress, PercentWithLengthAmountWithout) {
  const struct {
    std::int64_t downloaded, total;
    std::string_view content;
    std::optional<int> percent;
  } cases[] = {
      {0, 0, "已下载 0 MB", std::nullopt},
      {-1, 0, "已下载 0 MB", std::nullopt},
      {3 * 1048576, 0, "已下载 3.0 MB", std::nullopt},
      {0, 10 * 1048576, "0% — 0 MB / 10.0 MB", 0},
      {1048575, 10 * 1048576, "9% — 1.0 MB / 10.0 MB", 9},
      {10 * 1048576, 10 * 1048576, "100% — 10.0 MB / 10.0 MB", 100},
  };
  for (const auto& c : cases) {
    const DownloadProgressView view = download_progress_view(c.downloaded, c.total);
    EXPECT_EQ(view.content, c.content);
    EXPECT_EQ(view.percent, c.percent) << c.content;
  }
}

}  // namespace
}  // namespace vesk

// The installer signer check: an unsigned running copy skips it; a signed one
// starts only an intact installer by the same subject and key.
TEST(InstallerSignature, OnlyTheRunningCopysSignerPasses) {
  using vesk::CodeSigner;
  using vesk::FileSignature;
  using vesk::InstallerVerdict;
  using vesk::SignatureState;
  const CodeSigner vesk_signer{"CN=Vesk, O=Vesk", "1.2.840.113549.1.1.1:3082010a0282010100c0ffee"};
  const FileSignature running{SignatureState::verified, vesk_signer};
  const auto judge = [&](SignatureState state, CodeSigner signer) {
    return vesk::judge_installer_signature(running, FileSignature{state, std::move(signer)});
  };
  EXPECT_EQ(judge(SignatureState::verified, vesk_signer), InstallerVerdict::accepted);
  // A self-signed release certificate: intact, the chain untrusted, the key pinned.
  EXPECT_EQ(judge(SignatureState::untrusted_chain, vesk_signer), InstallerVerdict::accepted);
  EXPECT_EQ(judge(SignatureState::unsigned_file, {}), InstallerVerdict::refused);
  EXPECT_EQ(judge(SignatureState::broken, vesk_signer), InstallerVerdict::refused);
  // The same name with another key, and the same key under another name.
  EXPECT_EQ(judge(SignatureState::verified, {vesk_signer.subject, vesk_signer.public_key + "00"}),
            InstallerVerdict::refused);
  EXPECT_EQ(judge(SignatureState::verified, {"CN=Vesk Updates", vesk_signer.public_key}), InstallerVerdict::refused);

  const FileSignature unsigned_copy{SignatureState::unsigned_file, {}};
  EXPECT_EQ(vesk::judge_installer_signature(unsigned_copy, FileSignature{}), InstallerVerdict::unchecked);
  // A running copy with a signature but no readable signer pins nothing an
  // installer could match; its own broken signature still pins its signer.
  const FileSignature unreadable{SignatureState::broken, {}};
  EXPECT_EQ(vesk::judge_installer_signature(unreadable, running), InstallerVerdict::refused);
  const FileSignature altered{SignatureState::broken, vesk_signer};
  EXPECT_EQ(vesk::judge_installer_signature(altered, running), InstallerVerdict::accepted);
}
