// The updater as the main window drives it, under Wine: checks against a
// local server, the registry state, the prompt, the download with its
// progress dialog, verification and hand-over. Dialogs are answered by the
// dialog watcher.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "tests/unit/update_test_support.h"
#include "tests/win/dialog_watcher.h"
#include "tests/win/update_test_server.h"
#include "update/download_win.h"
#include "update/manifest_check.h"
#include "update/public_key.h"
#include "update/update_check_win.h"
#include "update/win_support.h"

namespace vesk::win {
namespace {

using testing::DialogSnapshot;
using testing::DialogWatcher;
using testing::TestHttpServer;
using testing::TestResponse;
namespace fs = std::filesystem;

constexpr wchar_t kProgressInstruction[] = L"正在下载更新…";
// The numbers this test's window chose for the check's timer and result.
constexpr UINT_PTR kUpdateCheckTimer = 4;
constexpr UINT kUpdateResultMessage = WM_APP + 8;

std::string hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) out += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
  return out;
}

std::string sha256_hex(const std::string& bytes) {
  unsigned char digest[32];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return hex(digest, sizeof digest);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string package_bytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
  return bytes;
}

fs::path download_folder() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  return fs::path(temp) / L"Vesk-update";
}

fs::path executable_folder() {
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

// Keeps HKCU\Software\Vesk as it was before the test.
class RegistryValueGuard {
 public:
  explicit RegistryValueGuard(const wchar_t* name) : name_(name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vesk", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      data_.resize(size);
      existed_ = ::RegQueryValueExW(key, name, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
    }
    ::RegCloseKey(key);
  }
  ~RegistryValueGuard() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Vesk", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
      return;
    }
    if (existed_) {
      ::RegSetValueExW(key, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
      ::RegDeleteValueW(key, name_);
    }
    ::RegCloseKey(key);
  }
  RegistryValueGuard(const RegistryValueGuard&) = delete;
  RegistryValueGuard& operator=(const RegistryValueGuard&) = delete;

 private:
  const wchar_t* name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// Presses OK in every dialog except the progress dialog, which closes by
// itself when the worker is done.
int press_ok_unless_progress(const DialogSnapshot& dialog) {
  if (dialog.texts.empty() || dialog.shows(kProgressInstruction)) return 0;
  return IDOK;
}

class UpdateFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.listening());
    WNDCLASSW type{};
    type.lpfnWndProc = host_procedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = L"VeskUpdateTestHost";
    ::RegisterClassW(&type);
    window_ = ::CreateWindowExW(0, type.lpszClassName, L"Vesk test host", WS_OVERLAPPEDWINDOW, 100, 100, 500, 400,
                                nullptr, nullptr, type.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    log_ = fs::temp_directory_path() / ("vesk-update-" + std::to_string(::GetCurrentProcessId()) + ".log");
    fs::remove(log_);
    ::SetEnvironmentVariableW(L"VESK_LOG", log_.c_str());
    ::SetEnvironmentVariableW(L"VESK_KEYLOG", L"1");
    ::SetEnvironmentVariableW(L"VESK_UPDATE_URL", server_.url("/manifest.json").c_str());
    delete_skipped_update_version();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vesk", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      ::RegDeleteValueW(key, L"LastUpdateCheck");
      ::RegDeleteValueW(key, L"HighestSeenUpdateVersion");
      ::RegCloseKey(key);
    }
    set_update_callbacks([this] { return unsaved_; }, [this] { ++close_calls_; });

    std::array<unsigned char, 32> seed{};
    ASSERT_TRUE(parse_hex_bytes(VESK_TEST_DEV_SECRET, seed.data(), seed.size()));
    keys_ = testing::key_pair_from_seed(seed);
    if (keys_.public_key != update_public_key()) GTEST_SKIP() << "built with another VESK_UPDATE_PUBLIC_KEY";
  }

  void TearDown() override {
    set_update_callbacks(nullptr, nullptr);
    if (window_) ::DestroyWindow(window_);
    for (const wchar_t* name : {L"VESK_LOG", L"VESK_KEYLOG", L"VESK_UPDATE_URL", L"VESK_TEST_INSTALLER_OUT"}) {
      ::SetEnvironmentVariableW(name, nullptr);
    }
    std::error_code ignored;
    fs::remove(log_, ignored);
    for (const fs::path& file : created_) fs::remove(file, ignored);
    // The downloads' own folders (this prefix's temporary folder is ours).
    for (const auto& entry : fs::directory_iterator(download_folder().parent_path(), ignored)) {
      if (entry.path().filename().wstring().rfind(L"Vesk-update-", 0) == 0) fs::remove_all(entry.path(), ignored);
    }
  }

  std::vector<std::string> log_lines() const {
    std::istringstream text(read_file(log_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  bool logged(const std::string& line) const {
    const auto lines = log_lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  int count_logged(const std::string& line) const {
    const auto lines = log_lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  // A manifest for `version` offering one package, signed with the
  // development key unless `sign` is false.
  std::string manifest(const std::string& version, const char* artifact, const std::string& target,
                       const std::string& sha256, std::int64_t size, const std::string& extra = "",
                       const std::string& root_extra = "", bool sign = true) const {
    const std::string text = R"({"updated_at":"2026-03-01")" + root_extra + R"(,"platforms":{"windows":{"version":")" +
                             version + "\"" + extra + R"(,"artifacts":{")" + artifact + R"(":{"url":")" +
                             to_utf8(server_.url(target)) + R"(","sha256":")" + sha256 +
                             R"(","size":)" + std::to_string(size) + "}}}}}";
    return sign ? testing::sign_manifest(text, keys_) : text;
  }

  // The package path that the last download named in the log.
  fs::path downloaded_file() const {
    for (const std::string& line : log_lines()) {
      const std::size_t arrow = line.find(" -> ");
      if (line.rfind("NATIVE update download http", 0) == 0 && arrow != std::string::npos) {
        return fs::path(to_utf16(line.substr(arrow + 4)));
      }
    }
    return {};
  }

  // Pumps this thread's messages until the check result arrives.
  std::unique_ptr<UpdateCheckResult> wait_for_result() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == window_ && message.message == kUpdateResultMessage) {
          return std::unique_ptr<UpdateCheckResult>(reinterpret_cast<UpdateCheckResult*>(message.lParam));
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return nullptr;
  }

  // A check from the menu or the timer, handled as the window would.
  void check(bool manual) {
    start_update_check(window_, kUpdateResultMessage, manual);
    const auto result = wait_for_result();
    ASSERT_NE(result, nullptr) << "no result message";
    handle_update_check_result(window_, *result);
  }

  fs::path package_path(const wchar_t* name) {
    std::error_code ignored;
    fs::create_directories(download_folder(), ignored);
    const fs::path path = download_folder() / name;
    created_.push_back(path);
    return path;
  }

  TestHttpServer server_;
  HWND window_ = nullptr;
  fs::path log_;
  bool unsaved_ = false;
  int close_calls_ = 0;
  testing::TestKeyPair keys_;
  std::vector<fs::path> created_;
  RegistryValueGuard last_check_guard_{L"LastUpdateCheck"};
  RegistryValueGuard skipped_guard_{L"SkippedUpdateVersion"};
  RegistryValueGuard highest_guard_{L"HighestSeenUpdateVersion"};
};

// Wine's explorer opens a window of its own for "/select,"; close it so it
// does not outlive the test.
void close_explorer_windows() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bool closed = false;
  while (!closed && std::chrono::steady_clock::now() < deadline) {
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          wchar_t name[64] = {};
          ::GetClassNameW(window, name, 64);
          DWORD process = 0;
          ::GetWindowThreadProcessId(window, &process);
          if (process != ::GetCurrentProcessId() && ::IsWindowVisible(window) &&
              (wcscmp(name, L"ExplorerWClass") == 0 || wcscmp(name, L"CabinetWClass") == 0)) {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            *reinterpret_cast<bool*>(data) = true;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&closed));
    if (!closed) ::Sleep(100);
  }
}

TEST_F(UpdateFlow, RetriesTransientFailuresAndRestartsProgress) {
  const std::string package = package_bytes(200000);
  server_.route("/pkg.zip", {{503, "busy"}, {503, "busy"}, {200, package}});
  DownloadJob job;
  job.expected_sha256 = sha256_hex(package);
  job.manifest_text = manifest("1.0.4", "portable", "/pkg.zip", job.expected_sha256, 200000);
  job.file = package_path(L"pkg.zip").wstring();
  job.retry_pause_ms = 150;
  const auto start = std::chrono::steady_clock::now();
  download_worker(server_.url("/pkg.zip"), job.file, job);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_TRUE(job.succeeded) << to_utf8(job.error);
  EXPECT_TRUE(job.done.load());
  EXPECT_EQ(job.downloaded.load(), 200000);
  EXPECT_EQ(server_.hits("/pkg.zip"), 3);
  const std::vector<std::string> expected = {
      "NATIVE update download attempt 1/3",
      "NATIVE update download failed (retryable), sleep 150 ms before retry",
      "NATIVE update download attempt 2/3",
      "NATIVE update download failed (retryable), sleep 150 ms before retry",
      "NATIVE update download attempt 3/3",
  };
  EXPECT_EQ(log_lines(), expected);
}

TEST_F(UpdateFlow, ThreeTransientFailuresGiveUp) {
  server_.route("/pkg.zip", {{503, "busy"}});
  DownloadJob job;
  job.expected_sha256 = "00";
  job.file = package_path(L"pkg.zip").wstring();
  job.retry_pause_ms = 0;
  download_worker(server_.url("/pkg.zip"), job.file, job);
  EXPECT_FALSE(job.succeeded);
  EXPECT_EQ(server_.hits("/pkg.zip"), 3);
  EXPECT_EQ(job.error, L"服务器返回 HTTP 503");
  EXPECT_EQ(count_logged("NATIVE update download failed (retryable), sleep 0 ms before retry"), 2);
}

// One download through the progress dialog per row: what the user sees at
// the end, whether the package stays, and whether the window is closed.
TEST_F(UpdateFlow, DownloadOutcomes) {
  const std::string package = package_bytes(300000);
  const std::string hash = sha256_hex(package);
  std::string upper_hash = hash;
  for (char& c : upper_hash) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  server_.route("/pkg.zip", {{200, package}});
  server_.route("/gone.zip", {{404, ""}});
  const std::string good = manifest("1.0.4", "portable", "/pkg.zip", hash, 300000);
  std::string edited = good;
  edited.replace(edited.find("2026-03-01"), 10, "2026-03-02");

  struct Row {
    const char* name;
    std::string target;
    std::string sha256;
    std::string manifest_text;
    bool unsaved;
    std::wstring caption;  // empty: no message box
    std::wstring text;
    bool kept;
    int hits;
    std::string log;
    std::int64_t declared = 300000;
    std::string url = {};  // instead of the server's address for target
  };
  const Row rows[] = {
      {"accepted, hash in upper case", "/pkg.zip", upper_hash, good, false, L"更新包已下载",
       L"已通过清单签名与 SHA256 校验：\n", true, 1, "NATIVE update download ok bytes=300000"},
      {"not found", "/gone.zip", hash, good, false, L"更新失败", L"服务器返回 HTTP 404", false, 1,
       "NATIVE update download failed (non-retryable): 服务器返回 HTTP 404"},
      {"wrong hash", "/pkg.zip", std::string(64, 'a'), good, false, L"更新失败",
       L"更新包校验失败（SHA256 不一致），已删除下载内容。", false, 1,
       "NATIVE update download failed: 更新包校验失败（SHA256 不一致），已删除下载内容。"},
      {"manifest edited after signing", "/pkg.zip", hash, edited, false, L"更新失败",
       L"更新清单验签失败，已放弃更新。", false, 1,
       "NATIVE update manifest verify failed: 更新清单签名验证失败（公钥不匹配或清单被改动）"},
      {"unsigned manifest", "/pkg.zip", hash, good.substr(0, good.find(",\"signature\"")) + "}", false, L"更新失败",
       L"更新清单验签失败，已放弃更新。", false, 1, "NATIVE update manifest verify failed: 更新清单缺少 signature"},
      {"unsaved changes", "/pkg.zip", hash, good, true, L"请先保存", L"文档有未保存的修改，保存后再更新。", false, 0, ""},
      {"no hash", "/pkg.zip", "", good, false, L"无法校验更新包", L"更新清单缺少 SHA256，已取消下载。", false, 0, ""},
      {"more bytes than declared", "/pkg.zip", hash, good, false, L"更新失败",
       L"更新包超过清单声明的大小，已停止下载。", false, 1,
       "NATIVE update download failed (non-retryable): 更新包超过清单声明的大小，已停止下载。", 299999},
      {"plain http to another host", "/pkg.zip", hash, good, false, L"下载失败", L"更新包地址必须使用 https。", false,
       0, "NATIVE update refused package address http://update.example/pkg.zip", 300000,
       "http://update.example/pkg.zip"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server_.route(row.target, {{row.target == "/pkg.zip" ? 200 : 404, row.target == "/pkg.zip" ? package : ""}});
    unsaved_ = row.unsaved;
    close_calls_ = 0;
    fs::remove(log_);
    std::vector<DialogSnapshot> seen;
    {
      DialogWatcher watcher(press_ok_unless_progress);
      const std::string url = row.url.empty() ? to_utf8(server_.url(row.target)) : row.url;
      download_and_install(window_, UpdateTarget{url, row.sha256, row.declared, false}, row.manifest_text);
      seen = watcher.answered();
    }
    // Each download gets a new folder of its own, gone again after a failure.
    const fs::path file = downloaded_file();
    if (row.hits > 0) {
      ASSERT_FALSE(file.empty());
      EXPECT_EQ(file.parent_path().parent_path(), download_folder().parent_path());
      EXPECT_EQ(file.parent_path().filename().wstring().rfind(L"Vesk-update-", 0), 0u);
      EXPECT_EQ(fs::exists(file.parent_path()), row.kept);
      created_.push_back(file);
      created_.push_back(file.parent_path());
    }
    if (row.caption.empty()) {
      EXPECT_TRUE(seen.empty());
    } else {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].caption, row.caption);
      EXPECT_TRUE(seen[0].shows(row.text)) << to_utf8(seen[0].texts.empty() ? L"" : seen[0].texts[0]);
      if (row.kept) {
        EXPECT_TRUE(seen[0].shows(file.wstring() + L"\n\n将打开所在文件夹并退出 Vesk，解压覆盖后重新打开即可。"));
      }
    }
    EXPECT_EQ(!file.empty() && fs::exists(file), row.kept);
    if (row.kept) {
      EXPECT_EQ(read_file(file), package);
    }
    EXPECT_EQ(close_calls_, row.kept ? 1 : 0);
    EXPECT_EQ(server_.hits(row.target), row.hits);
    if (!row.log.empty()) {
      EXPECT_TRUE(logged(row.log)) << row.log;
    }
    if (row.kept) close_explorer_windows();
  }
  unsaved_ = false;
}

TEST_F(UpdateFlow, ProgressShowsPercentOnlyWithALength) {
  const std::string package = package_bytes(1 << 20);
  const std::string hash = sha256_hex(package);
  server_.route("/sized.zip", {{200, package, true, 65536, 120}});
  server_.route("/unsized.zip", {{200, package, false, 65536, 120}});
  for (const bool sized : {true, false}) {
    SCOPED_TRACE(sized ? "with Content-Length" : "without Content-Length");
    const std::string target = sized ? "/sized.zip" : "/unsized.zip";
    package_path(sized ? L"sized.zip" : L"unsized.zip");
    std::vector<DialogSnapshot> seen;
    {
      DialogWatcher watcher(press_ok_unless_progress);
      download_and_install(window_, UpdateTarget{to_utf8(server_.url(target)), hash, 0, false},
                           manifest("1.0.4", "portable", target, hash, 0));
      seen = watcher.seen();
    }
    int progress_states = 0;
    int highest = -1;
    for (const DialogSnapshot& dialog : seen) {
      if (!dialog.shows(kProgressInstruction)) continue;
      EXPECT_EQ(dialog.caption, L"Vesk");
      highest = std::max(highest, dialog.progress);
      if (dialog.shows(sized ? L"% — " : L"已下载 ")) ++progress_states;
      EXPECT_FALSE(dialog.shows(sized ? L"已下载 " : L"% — "));
    }
    EXPECT_GE(progress_states, 2);
    if (sized) {
      EXPECT_GT(highest, 0);
    } else {
      EXPECT_LE(highest, 0);
    }
    close_explorer_windows();
  }
}

TEST_F(UpdateFlow, ClosingTheProgressDialogCancelsSilently) {
  const std::string package = package_bytes(8 << 20);
  const std::string hash = sha256_hex(package);
  server_.route("/big.zip", {{200, package, true, 65536, 50}});
  std::vector<DialogSnapshot> answered;
  const auto start = std::chrono::steady_clock::now();
  {
    // Close the dialog once data is flowing.
    DialogWatcher watcher([](const DialogSnapshot& dialog) {
      return dialog.shows(kProgressInstruction) && dialog.progress > 0 ? IDOK : 0;
    });
    download_and_install(window_, UpdateTarget{to_utf8(server_.url("/big.zip")), hash, 0, false},
                         manifest("1.0.4", "portable", "/big.zip", hash, 0));
    answered = watcher.answered();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  ASSERT_EQ(answered.size(), 1u);  // the progress dialog, and no message box after it
  EXPECT_TRUE(answered[0].shows(kProgressInstruction));
  const fs::path file = downloaded_file();
  ASSERT_FALSE(file.empty());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(file.parent_path()));
  EXPECT_TRUE(logged("NATIVE update download cancelled"));
  EXPECT_EQ(close_calls_, 0);
}

TEST_F(UpdateFlow, InstallerStartsSilentlyAndTheWindowCloses) {
  const std::string installer = read_file(executable_folder() / L"update_fake_installer.exe");
  ASSERT_FALSE(installer.empty());
  server_.route("/Vesk-setup.exe", {{200, installer}});
  const fs::path out = fs::temp_directory_path() / ("vesk-installer-" + std::to_string(::GetCurrentProcessId()));
  fs::remove(out);
  ::SetEnvironmentVariableW(L"VESK_TEST_INSTALLER_OUT", out.c_str());
  const std::string hash = sha256_hex(installer);
  package_path(L"Vesk-setup.exe");
  {
    DialogWatcher watcher(press_ok_unless_progress);
    download_and_install(window_, UpdateTarget{to_utf8(server_.url("/Vesk-setup.exe")), hash, 0, true},
                         manifest("1.0.4", "setup", "/Vesk-setup.exe", hash, 0));
    EXPECT_TRUE(watcher.answered().empty());
  }
  EXPECT_TRUE(logged("NATIVE update installer launched, quitting"));
  EXPECT_EQ(close_calls_, 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(out) && std::chrono::steady_clock::now() < deadline) ::Sleep(100);
  const std::string arguments = read_file(out);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(arguments.data()), arguments.size() / sizeof(wchar_t)),
            kInstallerParameters);
  fs::remove(out);
}

struct CheckRow {
  const char* name;
  std::vector<TestResponse> responses;
  bool manual;
  std::wstring caption;  // empty: nothing shown
  std::wstring text;
  std::string log;
};

TEST_F(UpdateFlow, CheckOutcomesShowOnlyWhenManual) {
  const std::string current = manifest("1.0.3", "portable", "/p.zip", "ab", 1);
  const std::string newer_os = manifest("1.0.4", "portable", "/p.zip", "ab", 1, R"(,"min_os":"10.0.19041")");
  const std::string unusable = testing::sign_manifest(
      R"({"platforms":{"windows":{"version":"1.0.4","artifacts":{"portable":{"url":""}}}}})", keys_);
  const std::string unsigned_newer = manifest("1.0.4", "portable", "/p.zip", "ab", 1, "", "", false);
  const std::string expired =
      manifest("1.0.4", "portable", "/p.zip", "ab", 1, "", R"(,"expires":"2020-01-01T00:00:00Z")");
  const std::string huge = R"({"padding":")" + std::string(kManifestMaxBytes, 'x') + R"("})";
  const CheckRow rows[] = {
      {"current, manual", {{200, current}}, true, L"已是最新版本", L"当前版本 1.0.3 已经是最新版本。",
       "NATIVE update current=1.0.3 latest=1.0.3 os=10.0 decision=1"},
      {"current, background", {{200, current}}, false, L"", L"",
       "NATIVE update current=1.0.3 latest=1.0.3 os=10.0 decision=1"},
      {"missing manifest, manual", {{404, ""}}, true, L"检查更新失败", L"服务器返回 HTTP 404",
       "NATIVE update check failed: 服务器返回 HTTP 404"},
      {"missing manifest, background", {{404, ""}}, false, L"", L"", "NATIVE update check failed: 服务器返回 HTTP 404"},
      {"not a manifest, manual", {{200, "<html>"}}, true, L"检查更新失败", L"更新清单不是合法的 JSON 对象",
       "NATIVE update check failed: 更新清单不是合法的 JSON 对象"},
      {"needs a newer system, manual", {{200, newer_os}}, true, L"新版本不支持当前系统",
       L"最新版本 1.0.4 需要 Windows 10.0.19041 或更高。",
       "NATIVE update current=1.0.3 latest=1.0.4 os=10.0 decision=3"},
      {"no package, manual", {{200, unusable}}, true, L"检查更新失败", L"更新清单至少需要 setup 或 portable 产物",
       "NATIVE update check failed: 更新清单至少需要 setup 或 portable 产物"},
      {"unsigned, manual", {{200, unsigned_newer}}, true, L"检查更新失败", L"更新清单签名无效",
       "NATIVE update manifest signature invalid: 更新清单缺少 signature"},
      {"expired, manual", {{200, expired}}, true, L"检查更新失败", L"更新清单已过期",
       "NATIVE update manifest expired at 2020-01-01T00:00:00Z"},
      {"over 1 MiB, manual", {{200, huge}}, true, L"检查更新失败", L"更新清单过大（超过 1 MiB），已放弃。",
       "NATIVE update check failed: 更新清单过大（超过 1 MiB），已放弃。"},
      {"over 1 MiB without a length, background", {{200, huge, false, 65536}}, false, L"", L"",
       "NATIVE update check failed: 更新清单过大（超过 1 MiB），已放弃。"},
  };
  for (const CheckRow& row : rows) {
    SCOPED_TRACE(row.name);
    server_.route("/manifest.json", row.responses);
    fs::remove(log_);
    std::vector<DialogSnapshot> answered;
    {
      DialogWatcher watcher(DialogWatcher::press(IDOK));
      check(row.manual);
      answered = watcher.answered();
    }
    if (row.caption.empty()) {
      EXPECT_TRUE(answered.empty());
    } else {
      ASSERT_EQ(answered.size(), 1u);
      EXPECT_EQ(answered[0].caption, row.caption);
      EXPECT_TRUE(answered[0].shows(row.text));
    }
    EXPECT_EQ(server_.hits("/manifest.json"), 1);
    EXPECT_TRUE(logged("NATIVE update GET " + to_utf8(server_.url("/manifest.json"))));
    EXPECT_TRUE(logged(row.log)) << row.log;
  }
}

TEST_F(UpdateFlow, DeclinedVersionIsSkippedInTheBackgroundOnly) {
  const std::string package = package_bytes(100000);
  const std::string hash = sha256_hex(package);
  server_.route("/Vesk-portable.zip", {{200, package}});
  server_.route("/manifest.json",
                {{200, manifest("1.0.4", "portable", "/Vesk-portable.zip", hash, 3 * 1048576,
                                R"(,"notes_url":"https://example.test/notes")")}});
  package_path(L"Vesk-portable.zip");
  const auto is_prompt = [](const DialogSnapshot& d) { return d.shows(L"发现新版本 1.0.4"); };

  {  // A manual check offers the update; "later" remembers the version.
    DialogWatcher watcher([&](const DialogSnapshot& d) { return is_prompt(d) ? 1002 : 0; });
    check(true);
    const auto answered = watcher.answered();
    ASSERT_EQ(answered.size(), 1u);
    const DialogSnapshot& prompt = answered[0];
    EXPECT_EQ(prompt.caption, L"Vesk");
    EXPECT_TRUE(prompt.shows(L"当前版本 1.0.3。\n更新时间：2026-03-01\n安装包大小：3.0 MB"));
    EXPECT_TRUE(prompt.shows(L"当前是绿色版：将下载并校验更新包，随后打开所在文件夹，解压覆盖即可。"));
    EXPECT_TRUE(prompt.shows(L"查看完整更新说明"));
    EXPECT_TRUE(prompt.shows(L"下载更新"));
    EXPECT_TRUE(prompt.shows(L"稍后"));
  }
  EXPECT_EQ(read_skipped_update_version(), L"1.0.4");
  EXPECT_TRUE(logged("NATIVE update target=" + to_utf8(server_.url("/Vesk-portable.zip")) + " installed=0"));

  {  // The background check keeps quiet about that version.
    DialogWatcher watcher(DialogWatcher::press(IDCANCEL));
    check(false);
    EXPECT_TRUE(watcher.seen().empty());
  }
  EXPECT_TRUE(logged("NATIVE update skip prompt for version=1.0.4"));

  {  // A manual check offers it again; accepting forgets the choice and
     // downloads, verifies and hands over the package.
    DialogWatcher watcher([&](const DialogSnapshot& d) {
      if (is_prompt(d)) return 1001;
      return press_ok_unless_progress(d);
    });
    check(true);
    const auto answered = watcher.answered();
    ASSERT_EQ(answered.size(), 2u);
    EXPECT_EQ(answered[1].caption, L"更新包已下载");
  }
  EXPECT_EQ(read_skipped_update_version(), std::nullopt);
  EXPECT_EQ(close_calls_, 1);
  EXPECT_EQ(downloaded_file().filename(), L"Vesk-portable.zip");
  EXPECT_EQ(read_file(downloaded_file()), package);
  close_explorer_windows();
}

TEST_F(UpdateFlow, ASkippedVersionTooLongToReadNeverSuppresses) {
  const std::string version = "1.0." + std::string(60, '9');  // 64 characters
  write_skipped_update_version(to_utf16(version));
  EXPECT_EQ(read_skipped_update_version(), std::nullopt);
  UpdateCheckResult result;
  result.parsed = true;
  result.decision = kUpdateAvailable;
  result.manifest.version = version;
  result.manifest.portable.url = "https://example.test/p.zip";
  DialogWatcher watcher([](const DialogSnapshot& d) { return d.shows(L"发现新版本") ? 1002 : 0; });
  handle_update_check_result(window_, result);
  EXPECT_EQ(watcher.answered().size(), 1u);
}

TEST_F(UpdateFlow, InstalledCopiesOfferTheInstaller) {
  const fs::path marker = executable_folder() / L"unins000.exe";
  UpdateCheckResult result;
  result.parsed = true;
  result.manual = true;
  result.decision = kUpdateAvailable;
  result.manifest.version = "1.0.4";
  result.manifest.setup.url = "https://example.test/setup.exe";
  result.manifest.portable.url = "https://example.test/portable.zip";
  for (const bool installed : {false, true}) {
    SCOPED_TRACE(installed ? "installed" : "portable");
    if (installed) std::ofstream(marker) << "x";
    EXPECT_EQ(is_installed_copy(), installed);
    std::vector<DialogSnapshot> answered;
    {
      DialogWatcher watcher([](const DialogSnapshot& d) { return d.shows(L"发现新版本") ? 1002 : 0; });
      handle_update_check_result(window_, result);
      answered = watcher.answered();
    }
    fs::remove(marker);
    ASSERT_EQ(answered.size(), 1u);
    EXPECT_TRUE(answered[0].shows(installed ? L"当前是安装版" : L"当前是绿色版"));
    EXPECT_FALSE(answered[0].shows(L"查看完整更新说明"));
    EXPECT_TRUE(logged(installed ? "NATIVE update target=https://example.test/setup.exe installed=1"
                                 : "NATIVE update target=https://example.test/portable.zip installed=0"));
  }
}

TEST_F(UpdateFlow, BackgroundChecksRunOncePerDay) {
  server_.route("/manifest.json", {{200, manifest("1.0.3", "portable", "/p.zip", "ab", 1)}});
  const auto now = static_cast<std::uint32_t>(std::time(nullptr));
  const auto run_timer = [this] {
    run_background_update_check(window_, kUpdateCheckTimer, kUpdateResultMessage);
    const int before = server_.hits("/manifest.json");
    const auto lines = log_lines();
    if (lines.empty() || lines.back().rfind("NATIVE update GET ", 0) != 0) return false;
    const auto result = wait_for_result();
    EXPECT_NE(result, nullptr);
    if (result) handle_update_check_result(window_, *result);
    return server_.hits("/manifest.json") == before + 1;
  };
  const struct {
    const char* name;
    std::optional<std::uint32_t> last;
    bool runs;
  } rows[] = {
      {"never checked", std::nullopt, true},
      {"checked just now", now, false},
      {"checked almost a day ago", now - 86300, false},
      {"checked a day ago", now - 86400, true},
      {"clock moved back", now + 3600, true},
      {"zero", 0, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(log_);
    if (row.last) {
      write_last_update_check(*row.last);
    } else {
      HKEY key = nullptr;
      if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vesk", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, L"LastUpdateCheck");
        ::RegCloseKey(key);
      }
    }
    EXPECT_EQ(run_timer(), row.runs);
    const std::uint32_t stored = read_last_update_check().value_or(0);
    if (row.runs) {
      EXPECT_GE(stored, now);
      EXPECT_LE(stored, now + 60);
    } else {
      EXPECT_EQ(stored, *row.last);
      const auto lines = log_lines();
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].rfind("NATIVE update skip background check (last ", 0), 0u) << lines[0];
    }
  }
}

// Another program of the same user, trying to overwrite, rename or delete
// the package (or rename its folder): 0 when every attempt was refused.
DWORD run_swap_attempt(const fs::path& package) {
  std::wstring command = L"\"" + (executable_folder() / L"update_swap_attempt.exe").wstring() + L"\" \"" +
                         package.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 100;
  }
  DWORD code = 101;
  if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

TEST_F(UpdateFlow, AVerifiedPackageCannotBeSwappedBeforeItIsHandedOver) {
  const std::string package = package_bytes(150000);
  const std::string hash = sha256_hex(package);
  server_.route("/Vesk-portable.zip", {{200, package}});
  std::optional<DWORD> while_shown;
  {
    // While the final box is up the package is verified and about to be
    // shown in Explorer: try the swap from outside then.
    DialogWatcher watcher([&](const DialogSnapshot& d) {
      if (!d.shows(L"已通过清单签名与 SHA256 校验")) return press_ok_unless_progress(d);
      if (!while_shown) while_shown = run_swap_attempt(downloaded_file());
      return IDOK;
    });
    download_and_install(window_, UpdateTarget{to_utf8(server_.url("/Vesk-portable.zip")), hash, 150000, false},
                         manifest("1.0.4", "portable", "/Vesk-portable.zip", hash, 150000));
  }
  close_explorer_windows();
  EXPECT_EQ(while_shown, 0u) << "the swap went through while the package was held";
  EXPECT_EQ(read_file(downloaded_file()), package);
  // Once handed over the file is the user's again: the same attempt now
  // succeeds, which shows it was the held package that stopped it.
  EXPECT_NE(run_swap_attempt(downloaded_file()), 0u);
}

TEST_F(UpdateFlow, DownloadFoldersAreNewAndOurs) {
  const fs::path parent = download_folder().parent_path();
  const std::wstring first = random_update_folder_name();
  const std::wstring second = random_update_folder_name();
  EXPECT_EQ(first.size(), 28u);
  EXPECT_EQ(first.rfind(L"Vesk-update-", 0), 0u);
  EXPECT_NE(first, second);

  const fs::path planted = parent / second;
  fs::create_directories(planted);
  created_.push_back(planted);
  UniqueFile handle;
  EXPECT_FALSE(create_update_folder(planted.wstring(), handle)) << "an existing folder is not reused";
  EXPECT_FALSE(handle);

  // A directory link planted at the name is refused too (where links can be
  // made: Wine 8 reports success without making one).
  const fs::path link = parent / (second + L"-link");
  if (::CreateSymbolicLinkW(link.c_str(), planted.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
      ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
    EXPECT_FALSE(create_update_folder(link.wstring(), handle));
    ::RemoveDirectoryW(link.c_str());
  }

  const fs::path ours = parent / first;
  ASSERT_TRUE(create_update_folder(ours.wstring(), handle));
  created_.push_back(ours);
  EXPECT_FALSE(::MoveFileExW(ours.c_str(), (ours.wstring() + L"-moved").c_str(), 0)) << "renamed while held";
  handle.reset();
  EXPECT_TRUE(::RemoveDirectoryW(ours.c_str()));
}

// Nothing of an unverified manifest is stored; a verified one raises the
// highest version seen, and a verified manifest below that is a replay.
TEST_F(UpdateFlow, UnverifiedManifestsStoreNothingAndOldOnesAreReplays) {
  const auto is_prompt = [](const DialogSnapshot& d) { return d.shows(L"发现新版本"); };
  server_.route("/manifest.json", {{200, manifest("1.0.6", "portable", "/p.zip", "ab", 1, "", "", false)}});
  {
    DialogWatcher watcher(DialogWatcher::press(IDCANCEL));
    check(false);
    EXPECT_TRUE(watcher.seen().empty());
  }
  EXPECT_EQ(read_skipped_update_version(), std::nullopt);
  EXPECT_EQ(read_highest_seen_update_version(), std::nullopt);
  EXPECT_EQ(server_.hits("/p.zip"), 0);
  EXPECT_TRUE(logged("NATIVE update manifest signature invalid: 更新清单缺少 signature"));

  server_.route("/manifest.json", {{200, manifest("1.0.5", "portable", "/p.zip", "ab", 1)}});
  {
    DialogWatcher watcher([&](const DialogSnapshot& d) { return is_prompt(d) ? 1002 : 0; });
    check(false);
    EXPECT_EQ(watcher.answered().size(), 1u);
  }
  EXPECT_EQ(read_highest_seen_update_version(), "1.0.5");

  server_.route("/manifest.json", {{200, manifest("1.0.4", "portable", "/p.zip", "ab", 1)}});
  for (const bool manual : {false, true}) {
    fs::remove(log_);
    std::vector<DialogSnapshot> answered;
    {
      DialogWatcher watcher(DialogWatcher::press(IDOK));
      check(manual);
      answered = watcher.answered();
    }
    EXPECT_TRUE(logged("NATIVE update manifest older than one already seen (1.0.4 < 1.0.5)"));
    ASSERT_EQ(answered.size(), manual ? 1u : 0u);
    if (manual) {
      EXPECT_TRUE(answered[0].shows(L"更新清单比已见过的旧，可能是重放，已拒绝。"));
    }
  }
  EXPECT_EQ(read_highest_seen_update_version(), "1.0.5");
  EXPECT_EQ(read_skipped_update_version(), L"1.0.5");
}

}  // namespace
}  // namespace vesk::win
