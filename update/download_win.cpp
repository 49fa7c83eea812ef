#include "update/download_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "update/manifest_check.h"
#include "update/public_key.h"
#include "update/update_check_win.h"
#include "update/win_support.h"
#include "platform/callback_guard.h"

namespace vesk::win {
namespace {

void remove_file(const std::wstring& path) { ::DeleteFileW(path.c_str()); }

// Verifies what was fetched: the manifest's signature first (again: the
// check verified it too, and this is the last moment before we act on it),
// so a package named by a forged manifest is never trusted whatever its
// hash. The hash is taken through the lock that then stays held, so no
// other program can change the file between the check and its start.
bool check_download(DownloadJob& job) {
  std::string error;
  if (!verify_manifest_signature(job.manifest_text, update_public_key(), &error)) {
    job.error = L"更新清单验签失败，已放弃更新。";
    update_log("manifest verify failed: %s", error.c_str());
    return false;
  }
  if (!lock_package(job.file, job.package_lock)) {
    job.error = L"更新包被其他程序占用或替换，已放弃更新。";
    update_log("package lock failed: %lu", ::GetLastError());
    return false;
  }
  std::string actual;
  if (!sha256_handle_hex(job.package_lock.get(), actual)) {
    job.error = L"无法计算下载文件的哈希";
    return false;
  }
  if (!sha256_hex_matches(actual, job.expected_sha256)) {
    job.error = L"更新包校验失败（SHA256 不一致），已删除下载内容。";
    return false;
  }
  return true;
}

// The folder and the package of one download. A failed download takes both
// away; a successful one leaves them for the installer or the user.
class DownloadPlace {
 public:
  bool create(const std::wstring& temp, const std::wstring& file_name) {
    // A clash with an existing name is refused, not reused; a fresh random
    // name is tried a few times in case of a stale folder.
    for (int attempt = 0; attempt < 4 && !folder_handle_; ++attempt) {
      folder_ = (std::filesystem::path(temp) / random_update_folder_name()).wstring();
      if (create_update_folder(folder_, folder_handle_)) break;
      folder_.clear();
    }
    if (folder_.empty()) return false;
    file_ = (std::filesystem::path(folder_) / file_name).wstring();
    return true;
  }
  const std::wstring& file() const { return file_; }
  void remove() {
    remove_file(file_);
    folder_handle_.reset();
    ::RemoveDirectoryW(folder_.c_str());
  }

 private:
  std::wstring folder_;
  std::wstring file_;
  UniqueFile folder_handle_;
};

// The pause before a retry; a cancel cuts it short, since the next attempt
// would end at once anyway.
void pause_before_retry(const DownloadJob& job) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(job.retry_pause_ms);
  while (!job.cancel.load()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(50)));
  }
}

HRESULT handle_progress_notification(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR data) {
  auto& job = *reinterpret_cast<DownloadJob*>(data);
  if (notification == TDN_BUTTON_CLICKED) {
    if (!job.done.load()) job.cancel.store(true);
  } else if (notification == TDN_TIMER) {
    if (job.done.load()) {
      ::SendMessageW(dialog, TDM_CLICK_BUTTON, IDOK, 0);
      return S_OK;
    }
    const DownloadProgressView view = download_progress_view(job.downloaded.load(), job.total.load());
    if (view.percent) ::SendMessageW(dialog, TDM_SET_PROGRESS_BAR_POS, static_cast<WPARAM>(*view.percent), 0);
    const std::wstring content = to_utf16(view.content);
    ::SendMessageW(dialog, TDM_SET_ELEMENT_TEXT, TDE_CONTENT, reinterpret_cast<LPARAM>(content.c_str()));
  }
  return S_OK;
}

HRESULT CALLBACK progress_callback(HWND dialog, UINT notification, WPARAM wparam, LPARAM lparam,
                                   LONG_PTR data) {
  HRESULT result = S_OK;
  run_guarded([&] { result = handle_progress_notification(dialog, notification, wparam, lparam, data); });
  return result;
}

void show_progress_dialog(HWND window, DownloadJob& job) {
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = window;
  config.dwFlags = TDF_POSITION_RELATIVE_TO_WINDOW | TDF_CALLBACK_TIMER | TDF_SHOW_PROGRESS_BAR |
                   TDF_ALLOW_DIALOG_CANCELLATION;
  config.pszWindowTitle = L"Vesk";
  config.pszMainIcon = TD_INFORMATION_ICON;
  config.pszMainInstruction = L"正在下载更新…";
  config.pszContent = L"正在连接更新服务器。";
  config.pfCallback = progress_callback;
  config.lpCallbackData = reinterpret_cast<LONG_PTR>(&job);
  ::TaskDialogIndirect(&config, nullptr, nullptr, nullptr);
}

void hand_over(HWND window, const UpdateTarget& target, const std::wstring& file) {
  if (target.is_installer) {
    const auto started = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(window, L"open", file.c_str(), kInstallerParameters, nullptr, SW_SHOWNORMAL));
    if (started > 32) {
      update_log("installer launched, quitting");
      if (update_close_main_window()) update_close_main_window()();
    } else {
      show_error_box(window, L"无法启动安装程序", "更新包已下载，请手动运行：\n" + to_utf8(file));
    }
    return;
  }
  show_error_box(window, L"更新包已下载",
                   "已通过清单签名与 SHA256 校验：\n" + to_utf8(file) +
                       "\n\n将打开所在文件夹并退出 Vesk，解压覆盖后重新打开即可。");
  const std::wstring select = L"/select,\"" + file + L"\"";
  ::ShellExecuteW(window, L"open", L"explorer.exe", select.c_str(), nullptr, SW_SHOWNORMAL);
  if (update_close_main_window()) update_close_main_window()();
}

}  // namespace

void download_worker(const std::wstring& url, const std::wstring& file, DownloadJob& job) {
  bool succeeded = false;
  for (int attempt = 1; attempt <= kDownloadAttempts; ++attempt) {
    update_log("download attempt %d/%d", attempt, kDownloadAttempts);
    bool retryable = false;
    if (download_to_file(url, file, job, &retryable)) {
      // A finished transfer is final: a bad signature or hash is not
      // something another attempt at the same bytes would mend.
      succeeded = check_download(job);
      break;
    }
    if (job.cancel.load()) break;
    if (!retryable) {
      update_log("download failed (non-retryable): %s", to_utf8(job.error).c_str());
      break;
    }
    if (attempt == kDownloadAttempts) break;
    update_log("download failed (retryable), sleep %d ms before retry", job.retry_pause_ms);
    pause_before_retry(job);
    if (job.cancel.load()) break;
    job.downloaded.store(0);
    job.total.store(0);
  }
  job.succeeded = succeeded;
  job.done.store(true);
}

std::wstring random_update_folder_name() {
  unsigned char bytes[8] = {};
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    // No randomness, no predictable name either: the folder would not be ours.
    return {};
  }
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"Vesk-update-";
  for (const unsigned char byte : bytes) name += {kDigits[byte >> 4], kDigits[byte & 15]};
  return name;
}

bool create_update_folder(const std::wstring& path, UniqueFile& handle) {
  handle.reset();
  if (path.empty() || !::CreateDirectoryW(path.c_str(), nullptr)) return false;
  // Not following a reparse point: if someone swapped a junction in after
  // we created the folder, we open the junction itself and see it. No
  // delete sharing, so the folder cannot be renamed or removed while held.
  UniqueFile folder(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder || !::GetFileInformationByHandle(folder.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  handle = std::move(folder);
  return true;
}

bool lock_package(const std::wstring& path, UniqueFile& lock) {
  lock.reset();
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  lock = std::move(file);
  return true;
}

bool sha256_file_hex(const std::wstring& path, std::string& out) {
  const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && sha256_handle_hex(file.get(), out);
}

bool sha256_handle_hex(HANDLE file, std::string& out) {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  BCRYPT_ALG_HANDLE raw_algorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&raw_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
  const UniqueAlgorithm algorithm(raw_algorithm);
  DWORD object_length = 0;
  DWORD digest_length = 0;
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(::BCryptGetProperty(algorithm.get(), BCRYPT_OBJECT_LENGTH,
                                          reinterpret_cast<PUCHAR>(&object_length), sizeof object_length, &size, 0)) ||
      !BCRYPT_SUCCESS(::BCryptGetProperty(algorithm.get(), BCRYPT_HASH_LENGTH,
                                          reinterpret_cast<PUCHAR>(&digest_length), sizeof digest_length, &size, 0))) {
    return false;
  }
  // The hash object lives in this buffer, so the buffer must outlive it:
  // declared first, destroyed last.
  std::vector<UCHAR> object(object_length);
  BCRYPT_HASH_HANDLE raw_hash = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &raw_hash, object.data(), object_length, nullptr, 0, 0))) {
    return false;
  }
  const UniqueHash hash(raw_hash);
  std::vector<UCHAR> buffer(65536);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) break;
    if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), buffer.data(), read, 0))) return false;
  }
  std::vector<UCHAR> digest(digest_length);
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest.data(), digest_length, 0))) return false;
  static constexpr char kDigits[] = "0123456789abcdef";
  out.clear();
  for (const UCHAR byte : digest) {
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
  }
  return true;
}

void download_and_install(HWND window, const UpdateTarget& target, const std::string& manifest_text) {
  if (update_has_unsaved_changes() && update_has_unsaved_changes()()) {
    show_error_box(window, L"请先保存", "文档有未保存的修改，保存后再更新。");
    return;
  }
  if (target.sha256.empty()) {
    show_error_box(window, L"无法校验更新包", "更新清单缺少 SHA256，已取消下载。");
    return;
  }
  if (!is_allowed_package_url(target.url)) {
    update_log("refused package address %s", target.url.c_str());
    show_error_box(window, L"下载失败", "更新包地址必须使用 https。");
    return;
  }
  wchar_t temp[MAX_PATH];
  const DWORD temp_length = ::GetTempPathW(MAX_PATH, temp);
  if (temp_length == 0 || temp_length >= MAX_PATH) {
    show_error_box(window, L"下载失败", "无法定位临时目录。");
    return;
  }
  const std::wstring url = to_utf16(target.url);
  DownloadPlace place;
  if (!place.create(temp, download_file_name(url))) {
    show_error_box(window, L"下载失败", "无法创建下载目录。");
    return;
  }
  const std::wstring& file = place.file();

  DownloadJob job;
  job.expected_sha256 = target.sha256;
  job.declared_size = target.size;
  job.manifest_text = manifest_text;
  job.file = file;
  update_log("download %s -> %s", target.url.c_str(), to_utf8(file).c_str());

  std::thread worker;
  try {
    worker = std::thread([&url, &file, &job] {
      // Whatever happens, the progress dialog must learn that the work ended.
      if (!run_guarded([&] { download_worker(url, file, job); })) job.done.store(true);
    });
  } catch (const std::system_error&) {
    place.remove();
    show_error_box(window, L"更新失败", "下载更新包失败。");
    return;
  }
  show_progress_dialog(window, job);
  if (!job.done.load()) job.cancel.store(true);
  worker.join();

  if (job.succeeded) {
    update_log("download ok bytes=%lld", static_cast<long long>(job.downloaded.load()));
    // job.package_lock is held through the hand-over and released when we
    // return: after the installer has started, or after Explorer was asked
    // to show the package and the window to close.
    hand_over(window, target, file);
    return;
  }
  job.package_lock.reset();
  place.remove();
  if (job.cancel.load() && job.error.empty()) {
    update_log("download cancelled");
    return;
  }
  update_log("download failed: %s", to_utf8(job.error).c_str());
  show_error_box(window, L"更新失败", job.error.empty() ? "下载更新包失败。" : to_utf8(job.error));
}

}  // namespace vesk::win
