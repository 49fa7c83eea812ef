#include "update/update_check_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <ctime>
#include <memory>
#include <system_error>
#include <thread>

#include "update/download_win.h"
#include "update/http_win.h"
#include "update/manifest_check.h"
#include "update/public_key.h"
#include "update/win_support.h"
#include "platform/callback_guard.h"

namespace vesk::win {
namespace {

constexpr wchar_t kRegistryKey[] = L"Software\\Vesk";
constexpr wchar_t kLastCheckValue[] = L"LastUpdateCheck";
constexpr wchar_t kSkippedVersionValue[] = L"SkippedUpdateVersion";
constexpr wchar_t kHighestSeenValue[] = L"HighestSeenUpdateVersion";
// The build setting of the same name.
constexpr char kDefaultManifestUrl[] = VESK_UPDATE_MANIFEST_URL;
constexpr int kDownloadButton = 1001;
constexpr int kLaterButton = 1002;

struct UpdateCallbacks {
  std::function<bool()> has_unsaved_changes;
  std::function<void()> close_main_window;
};
UpdateCallbacks& callbacks() {
  static UpdateCallbacks instance;
  return instance;
}

UniqueKey open_key(REGSAM access, bool create) {
  HKEY key = nullptr;
  const LSTATUS status =
      create ? ::RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 &key, nullptr)
             : ::RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, access, &key);
  return UniqueKey(status == ERROR_SUCCESS ? key : nullptr);
}

std::uint32_t now_seconds() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// The body of the check thread. Nothing of a manifest that fails its checks
// leaves this function but the reason.
void check_body(HWND window, UINT result_message, const std::wstring& url, bool manual) {
  auto result = std::make_unique<UpdateCheckResult>();
  result->manual = manual;
  std::wstring error;
  std::string text;
  if (!fetch_manifest_text(url, text, &error)) {
    result->error = to_utf8(error);
    result->log = "check failed: " + result->error;
  } else {
    ManifestCheck check = check_fetched_manifest(text, update_public_key(), static_cast<std::int64_t>(std::time(nullptr)),
                                                 read_highest_seen_update_version());
    if (check.accepted) {
      if (check.new_highest_seen) write_highest_seen_update_version(*check.new_highest_seen);
      result->parsed = true;
      result->manifest_text = std::move(text);
      result->manifest = std::move(check.manifest);
      result->decision = check.decision;
    } else {
      result->error = std::move(check.error);
      result->log = std::move(check.log);
    }
  }
  if (::PostMessageW(window, result_message, 0, reinterpret_cast<LPARAM>(result.get()))) result.release();
}

HRESULT handle_prompt_notification(HWND, UINT notification, WPARAM, LPARAM lparam, LONG_PTR) {
  if (notification == TDN_HYPERLINK_CLICKED) {
    // The manifest has not been verified yet; only a web address is handed
    // to the shell, never a path or program.
    const auto* href = reinterpret_cast<const wchar_t*>(lparam);
    if (href && is_web_link(to_utf8(href))) {
      ::ShellExecuteW(nullptr, L"open", href, nullptr, nullptr, SW_SHOWNORMAL);
    }
  }
  return S_OK;
}

HRESULT CALLBACK prompt_callback(HWND dialog, UINT notification, WPARAM wparam, LPARAM lparam,
                                 LONG_PTR data) {
  HRESULT result = S_OK;
  run_guarded([&] { result = handle_prompt_notification(dialog, notification, wparam, lparam, data); });
  return result;
}

}  // namespace

void set_update_callbacks(std::function<bool()> has_unsaved_changes, std::function<void()> close_main_window) {
  callbacks() = {std::move(has_unsaved_changes), std::move(close_main_window)};
}

const std::function<bool()>& update_has_unsaved_changes() { return callbacks().has_unsaved_changes; }
const std::function<void()>& update_close_main_window() { return callbacks().close_main_window; }

std::wstring update_manifest_url() {
  const std::string url = read_environment("VESK_UPDATE_URL");
  return to_utf16(url.empty() ? kDefaultManifestUrl : url);
}

std::optional<std::uint32_t> read_last_update_check() {
  const UniqueKey key = open_key(KEY_QUERY_VALUE, false);
  if (!key) return std::nullopt;
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  if (::RegQueryValueExW(key.get(), kLastCheckValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

void write_last_update_check(std::uint32_t seconds) {
  const UniqueKey key = open_key(KEY_SET_VALUE, true);
  const DWORD value = seconds;
  if (key) {
    ::RegSetValueExW(key.get(), kLastCheckValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
}

std::optional<std::wstring> read_skipped_update_version() {
  const UniqueKey key = open_key(KEY_QUERY_VALUE, false);
  if (!key) return std::nullopt;
  // 128 bytes: a version of 64 characters or more does not fit and so never
  // suppresses a prompt.
  wchar_t buffer[64] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer;
  if (::RegQueryValueExW(key.get(), kSkippedVersionValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  // The stored bytes need not end in a NUL; stop at the first one or at the
  // end of what was read.
  const std::size_t count = size / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < count && buffer[length] != L'\0') ++length;
  return std::wstring(buffer, length);
}

void write_skipped_update_version(const std::wstring& version) {
  const UniqueKey key = open_key(KEY_SET_VALUE, true);
  if (key) {
    ::RegSetValueExW(key.get(), kSkippedVersionValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                     static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
  }
}

void delete_skipped_update_version() {
  const UniqueKey key = open_key(KEY_SET_VALUE, false);
  if (key) ::RegDeleteValueW(key.get(), kSkippedVersionValue);
}

std::optional<std::string> read_highest_seen_update_version() {
  const UniqueKey key = open_key(KEY_QUERY_VALUE, false);
  if (!key) return std::nullopt;
  wchar_t buffer[256] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (::RegQueryValueExW(key.get(), kHighestSeenValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  const std::wstring version(buffer, ::wcsnlen(buffer, size / sizeof(wchar_t)));
  if (version.empty()) return std::nullopt;
  return to_utf8(version);
}

void write_highest_seen_update_version(const std::string& version) {
  const UniqueKey key = open_key(KEY_SET_VALUE, true);
  const std::wstring text = to_utf16(version);
  if (key) {
    ::RegSetValueExW(key.get(), kHighestSeenValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
}

void start_update_check(HWND window, UINT result_message, bool manual) {
  const std::wstring url = update_manifest_url();
  update_log("GET %s", to_utf8(url).c_str());
  try {
    std::thread([window, result_message, url, manual] {
      run_guarded([&] { check_body(window, result_message, url, manual); });
    }).detach();
  } catch (const std::system_error&) {
    update_log("check failed: %s", "cannot start the check thread");
  }
}

void run_background_update_check(HWND window, UINT_PTR check_timer, UINT result_message) {
  ::KillTimer(window, check_timer);
  ::SetTimer(window, check_timer, kUpdateCheckPeriodMs, nullptr);
  const std::uint32_t now = now_seconds();
  const std::optional<std::uint32_t> last = read_last_update_check();
  if (skip_background_check(last, now)) {
    update_log("skip background check (last %lu s ago)", static_cast<unsigned long>(now - *last));
    return;
  }
  // Stored before the check runs, so a failing check also waits a day.
  write_last_update_check(now);
  start_update_check(window, result_message, false);
}

void handle_update_check_result(HWND window, const UpdateCheckResult& result) {
  if (!result.parsed) {
    // Results made elsewhere (tests) may carry only the error.
    if (result.log.empty()) {
      update_log("check failed: %s", result.error.c_str());
    } else {
      update_log("%s", result.log.c_str());
    }
  } else {
    update_log("current=%s latest=%s os=%s decision=%d", kAppVersion, result.manifest.version.c_str(), kUpdateOsVersion,
           static_cast<int>(result.decision));
  }
  if (const auto message = check_outcome_message(result.parsed, result.error, result.decision, result.manifest)) {
    if (result.manual) show_error_box(window, to_utf16(message->caption), message->text);
    return;
  }

  const UpdateTarget target = choose_update_target(result.manifest, is_installed_copy());
  update_log("target=%s installed=%d", target.url.c_str(), target.is_installer ? 1 : 0);
  const std::wstring version = to_utf16(result.manifest.version);
  if (!result.manual && read_skipped_update_version() == version) {
    update_log("skip prompt for version=%s", result.manifest.version.c_str());
    return;
  }
  if (show_update_prompt(window, result.manifest, target)) {
    delete_skipped_update_version();
    download_and_install(window, target, result.manifest_text);
  } else {
    write_skipped_update_version(version);
  }
}

void handle_update_result_message(HWND window, LPARAM result) {
  const std::unique_ptr<UpdateCheckResult> owned(reinterpret_cast<UpdateCheckResult*>(result));
  if (owned) handle_update_check_result(window, *owned);
}

bool show_update_prompt(HWND window, const UpdateManifest& manifest, const UpdateTarget& target) {
  const UpdatePromptText text = build_update_prompt(manifest, target);
  const std::wstring instruction = to_utf16(text.instruction);
  const std::wstring content = to_utf16(text.content);
  const TASKDIALOG_BUTTON buttons[] = {{kDownloadButton, L"下载更新"}, {kLaterButton, L"稍后"}};

  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = window;
  config.dwFlags = TDF_POSITION_RELATIVE_TO_WINDOW | TDF_ALLOW_DIALOG_CANCELLATION |
                   (text.has_link ? TDF_ENABLE_HYPERLINKS : 0);
  config.pszWindowTitle = L"Vesk";
  config.pszMainIcon = TD_INFORMATION_ICON;
  config.pszMainInstruction = instruction.c_str();
  config.pszContent = content.c_str();
  config.cButtons = static_cast<UINT>(std::size(buttons));
  config.pButtons = buttons;
  config.nDefaultButton = kDownloadButton;
  config.pfCallback = prompt_callback;
  int button = 0;
  if (SUCCEEDED(::TaskDialogIndirect(&config, &button, nullptr, nullptr))) return button == kDownloadButton;

  const std::wstring fallback = to_utf16(text.fallback_content);
  return ::MessageBoxW(window, fallback.c_str(), instruction.c_str(), MB_ICONINFORMATION | MB_YESNO) == IDYES;
}

bool is_installed_copy() {
  const std::wstring folder = executable_folder();
  if (folder.empty()) return false;
  const std::wstring uninstaller = folder + L"\\unins000.exe";
  const DWORD attributes = ::GetFileAttributesW(uninstaller.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace vesk::win
