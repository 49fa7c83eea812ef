// The folder panel's disk work: listing and indexing on the thread pool,
// a ReadDirectoryChangesW watcher, and rename, delete (to the Recycle Bin),
// new file or folder and "show in Explorer".
#include "app/folder_panel.h"
#include "app/disk_win.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <chrono>
#include <set>
#include <vector>

#include "app/folder_rules.h"
#include "core/paths.h"
#include "platform/com.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {

// What the workers share with the panel; outlives the panel while a worker runs.
struct FolderPanel::Shared {
  HWND window = nullptr;
  UINT message = 0;
  std::atomic<std::uint64_t> generation{0};       // lists and indexes: a new one drops the old
  std::atomic<std::uint64_t> root_generation{0};  // the watcher: changes with the root only
};

namespace {

constexpr std::size_t kEntriesPerChunk = 1000;
constexpr std::size_t kIndexPerChunk = 2000;
constexpr wchar_t kRegistryKey[] = L"Software\\Vesk";

struct FolderResult {
  std::uint64_t generation = 0;
  std::string script;
  std::string log;
  std::vector<std::string> changed;  // folders the watcher saw change
  bool rescan = false;               // the watcher lost track: everything anew
  bool armed = false;                // the watcher has started watching
  bool from_watcher = false;         // `generation` is a root generation
};

void post_result(const std::shared_ptr<FolderPanel::Shared>& shared, std::unique_ptr<FolderResult> result) {
  if (PostMessageW(shared->window, shared->message, 0, reinterpret_cast<LPARAM>(result.get()))) {
    (void)result.release();
  }
}

std::string call_script(const char* function, const std::string& json) {
  return std::string("window.vesk && window.vesk.") + function + " && window.vesk." + function + "(" + json + ");";
}

// One folder's listed children, sorted. Reparse points are listed but never
// followed by the index (a junction can point back up the tree).
struct Listing {
  std::vector<FolderEntry> entries;
  std::vector<std::string> reparse_dirs;
};

Listing list_folder(const std::string& dir) {
  Listing listing;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileExW(to_utf16(dir + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return listing;
  do {
    const bool is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool hidden = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    std::string name = to_utf8(data.cFileName);
    if (!folder_entry_listed(name, is_dir, hidden)) continue;
    if (is_dir && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) listing.reparse_dirs.push_back(name);
    listing.entries.push_back({std::move(name), is_dir});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  sort_folder_entries(listing.entries);
  return listing;
}

template <typename F>
bool submit(F work) {
  auto* heap = new F(std::move(work));
  const auto run = [](PTP_CALLBACK_INSTANCE, void* context) {
    std::unique_ptr<F> job(static_cast<F*>(context));
    (*job)();
  };
  if (TrySubmitThreadpoolCallback(run, heap, nullptr)) return true;
  delete heap;
  return false;
}

// The folder part of a relative path: "a/b/c.md" → "a/b", "c.md" → "".
std::string parent_of(const std::string& rel) {
  const std::size_t slash = rel.rfind('/');
  return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

bool recycle(const std::string& path) {
  ComPtr<IFileOperation> operation;
  if (SUCCEEDED(CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(operation.put())))) {
    ComPtr<IShellItem> item;
    BOOL aborted = FALSE;
    if (SUCCEEDED(operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI |
                                               FOFX_RECYCLEONDELETE)) &&
        SUCCEEDED(SHCreateItemFromParsingName(to_utf16(path).c_str(), nullptr, IID_PPV_ARGS(item.put()))) &&
        SUCCEEDED(operation->DeleteItem(item.get(), nullptr)) && SUCCEEDED(operation->PerformOperations()) &&
        SUCCEEDED(operation->GetAnyOperationsAborted(&aborted)) && !aborted) {
      return GetFileAttributesW(to_utf16(path).c_str()) == INVALID_FILE_ATTRIBUTES;
    }
  }
  // Systems without a working IFileOperation (Wine's is partial) still
  // recycle through the older call; FOF_ALLOWUNDO is what sends it there.
  std::wstring from = to_utf16(path);
  from.push_back(L'\0');  // a double-null-terminated list
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted &&
         GetFileAttributesW(to_utf16(path).c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

FolderPanel::FolderPanel(HWND window, UINT result_message, FolderPanelCallbacks callbacks)
    : window_(window), result_message_(result_message), callbacks_(std::move(callbacks)),
      shared_(std::make_shared<Shared>()) {
  shared_->window = window;
  shared_->message = result_message;
}

FolderPanel::~FolderPanel() { stop_workers(); }

void FolderPanel::stop_workers() {
  ++shared_->generation;  // results still on their way are dropped
  ++shared_->root_generation;
  if (watch_stop_) SetEvent(watch_stop_);
  if (watch_thread_.joinable()) watch_thread_.join();
  if (watch_stop_) CloseHandle(watch_stop_);
  watch_stop_ = nullptr;
}

void FolderPanel::open_root(const std::string& root) {
  if (root.empty()) return;
  const bool same = root == root_;
  if (!same) {
    stop_workers();
    root_ = root;
    watching_ = false;
  }
  ++shared_->generation;
  list("");
  start_index();
  if (!same || !watch_thread_.joinable()) start_watcher();
}

void FolderPanel::list(const std::string& relative) {
  const std::string dir = folder_child_path(root_, relative);
  if (dir.empty()) return;
  const std::uint64_t generation = shared_->generation;
  auto shared = shared_;
  const std::string root = root_;
  submit([shared, generation, root, dir, relative] {
    const Listing listing = list_folder(dir);
    std::size_t from = 0;
    do {
      if (shared->generation != generation) return;
      auto result = std::make_unique<FolderResult>();
      result->generation = generation;
      const bool done = from + kEntriesPerChunk >= listing.entries.size();
      result->script = call_script(
          "folderEntries", folder_entries_json(root, relative, listing.entries, from, kEntriesPerChunk, done));
      post_result(shared, std::move(result));
      from += kEntriesPerChunk;
    } while (from < listing.entries.size());
  });
}

void FolderPanel::start_index() {
  const std::uint64_t generation = shared_->generation;
  auto shared = shared_;
  const std::string root = root_;
  submit([shared, generation, root] {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> files;
    std::size_t posted = 0;
    bool truncated = false;
    struct Pending {
      std::string rel;
      int depth;
    };
    std::vector<Pending> stack{{"", 0}};
    const auto flush = [&](bool done) {
      auto result = std::make_unique<FolderResult>();
      result->generation = generation;
      result->script = call_script("folderIndex", folder_index_json(root, files, posted, files.size() - posted, done,
                                                                    truncated));
      if (done) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        result->log = folder_index_log_line(root, files.size(), ms.count());
      }
      posted = files.size();
      post_result(shared, std::move(result));
    };
    while (!stack.empty() && !truncated) {
      if (shared->generation != generation) return;
      const Pending here = std::move(stack.back());
      stack.pop_back();
      const Listing listing = list_folder(folder_child_path(root, here.rel));
      // Children are pushed in reverse so that the walk visits them in order.
      for (auto it = listing.entries.rbegin(); it != listing.entries.rend(); ++it) {
        const std::string rel = here.rel.empty() ? it->name : here.rel + "/" + it->name;
        if (!it->is_dir) continue;
        bool reparse = false;
        for (const std::string& r : listing.reparse_dirs) reparse = reparse || r == it->name;
        if (!reparse && here.depth + 1 < kIndexMaxDepth) stack.push_back({rel, here.depth + 1});
      }
      for (const FolderEntry& entry : listing.entries) {
        if (entry.is_dir) continue;
        if (files.size() >= kIndexMaxFiles) {
          truncated = true;
          break;
        }
        files.push_back(here.rel.empty() ? entry.name : here.rel + "/" + entry.name);
      }
      if (files.size() - posted >= kIndexPerChunk) flush(false);
    }
    flush(true);
  });
}

void FolderPanel::start_watcher() {
  watch_stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!watch_stop_) return;
  auto shared = shared_;
  const std::uint64_t generation = shared_->root_generation;
  const std::string root = root_;
  HANDLE stop = watch_stop_;
  watch_thread_ = std::thread([shared, generation, root, stop] {
    UniqueHandle dir(CreateFileW(to_utf16(root).c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!dir.valid() || !event.valid()) return;
    alignas(DWORD) static thread_local unsigned char buffer[64 * 1024];
    std::set<std::string> changed;
    bool rescan = false;
    bool armed = false;
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.get();
      ResetEvent(event.get());
      if (!ReadDirectoryChangesW(dir.get(), buffer, sizeof buffer, TRUE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &overlapped,
                                 nullptr)) {
        return;
      }
      if (!armed) {
        armed = true;
        auto result = std::make_unique<FolderResult>();
        result->generation = generation;
        result->from_watcher = true;
        result->armed = true;
        post_result(shared, std::move(result));
      }
      // A burst of changes (a checkout, an unpacked archive) is reported once:
      // after the first change, the next ones are gathered for a moment.
      const DWORD wait_ms = (changed.empty() && !rescan) ? INFINITE : 150;
      HANDLE handles[] = {event.get(), stop};
      const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, wait_ms);
      if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_FAILED) {
        CancelIoEx(dir.get(), &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(dir.get(), &overlapped, &ignored, TRUE);
        return;
      }
      if (woke == WAIT_TIMEOUT) {
        CancelIoEx(dir.get(), &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(dir.get(), &overlapped, &ignored, TRUE);
        if (shared->root_generation != generation) return;
        auto result = std::make_unique<FolderResult>();
        result->generation = generation;
        result->from_watcher = true;
        result->changed.assign(changed.begin(), changed.end());
        result->rescan = rescan;
        post_result(shared, std::move(result));
        changed.clear();
        rescan = false;
        continue;
      }
      DWORD bytes = 0;
      if (!GetOverlappedResult(dir.get(), &overlapped, &bytes, FALSE)) return;
      if (bytes == 0) {
        rescan = true;  // the buffer overflowed: what changed is unknown
        continue;
      }
      for (std::size_t offset = 0;;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
        std::string rel = to_utf8(name);
        for (char& c : rel) c = c == '\\' ? '/' : c;
        changed.insert(parent_of(rel));
        // A folder reported as changed itself (some file systems say only that
        // much about a change inside it) is listed again too.
        const DWORD attributes = GetFileAttributesW((to_utf16(root) + L"\\" + name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) changed.insert(rel);
        if (info->NextEntryOffset == 0) break;
        offset += info->NextEntryOffset;
      }
    }
  });
}

void FolderPanel::on_result(LPARAM lparam) {
  std::unique_ptr<FolderResult> result(reinterpret_cast<FolderResult*>(lparam));
  if (!result) return;
  if (result->generation != (result->from_watcher ? shared_->root_generation : shared_->generation)) return;
  if (result->armed) watching_ = true;
  if (!result->script.empty() && callbacks_.run_script) callbacks_.run_script(result->script);
  if (!result->log.empty()) write_diagnostic_line(result->log);
  if (result->rescan) {
    write_diagnostic_line("NATIVE folder rescan " + root_);
    list("");
    if (callbacks_.run_script) callbacks_.run_script("window.vesk && window.vesk.folderRefresh && window.vesk.folderRefresh();");
    start_index();
  } else if (!result->changed.empty()) {
    for (const std::string& rel : result->changed) list(rel);
    start_index();
  }
}

void FolderPanel::discard_result(LPARAM lparam) { delete reinterpret_cast<FolderResult*>(lparam); }

bool FolderPanel::handle_page_message(const JsonValue& message) {
  const JsonValue* type = message.find("type");
  if (!type || !type->is_string()) return false;
  const auto text = [&](const char* name) -> std::string {
    const JsonValue* v = message.find(name);
    return v && v->is_string() ? v->text : std::string();
  };
  const std::string& t = type->text;
  if (t == "folderList") {
    list(text("dir"));
  } else if (t == "folderOpenFile") {
    const std::string path = folder_child_path(root_, text("path"));
    if (!path.empty() && callbacks_.open_file) callbacks_.open_file(path, message.get_bool("newWindow", false));
  } else if (t == "folderRename") {
    rename(text("path"), text("name"));
  } else if (t == "folderDelete") {
    remove(text("path"));
  } else if (t == "folderCreate") {
    create(text("dir"), text("name"), message.get_bool("folder", false));
  } else if (t == "folderReveal") {
    reveal(text("path"));
  } else if (t == "folderLayout") {
    const double width = message.get_number("width", 0);
    save_layout(message.get_bool("visible", false), width > 0 && width < 10000 ? static_cast<int>(width) : 0);
  } else {
    return false;
  }
  return true;
}

void FolderPanel::rename(const std::string& relative, const std::string& name) {
  const std::string from = folder_child_path(root_, relative);
  if (from.empty() || relative.empty()) return;
  if (const std::string problem = windows_name_problem(name); !problem.empty()) {
    callbacks_.set_status("无法重命名：" + problem);
    return;
  }
  const std::string to = folder_child_path(root_, parent_of(relative).empty() ? name : parent_of(relative) + "/" + name);
  if (to.empty() || to == from) return;
  // A change of case only is a rename too; any other existing name is kept.
  if (_wcsicmp(to_utf16(to).c_str(), to_utf16(from).c_str()) != 0 &&
      GetFileAttributesW(to_utf16(to).c_str()) != INVALID_FILE_ATTRIBUTES) {
    callbacks_.set_status("无法重命名：已有同名的文件或文件夹“" + name + "”");
    return;
  }
  if (!MoveFileExW(to_utf16(from).c_str(), to_utf16(to).c_str(), 0)) {
    callbacks_.set_status("无法重命名：" + path_file_name(from));
    return;
  }
  write_diagnostic_line("NATIVE folder rename " + from + " -> " + to);
  if (callbacks_.moved) callbacks_.moved(from, to);
  list(parent_of(relative));
}

void FolderPanel::remove(const std::string& relative) {
  const std::string path = folder_child_path(root_, relative);
  if (path.empty() || relative.empty()) return;
  if (!recycle(path)) {
    callbacks_.set_status("无法删除：" + path_file_name(path));
    return;
  }
  write_diagnostic_line("NATIVE folder recycle " + path);
  callbacks_.set_status("已移到回收站：" + path_file_name(path));
  list(parent_of(relative));
}

void FolderPanel::create(const std::string& relative_dir, const std::string& name, bool folder) {
  std::string wanted = name;
  if (!folder && !is_listed_markdown(wanted)) wanted += ".md";
  if (const std::string problem = windows_name_problem(wanted); !problem.empty()) {
    callbacks_.set_status(std::string(folder ? "无法新建文件夹：" : "无法新建文件：") + problem);
    return;
  }
  const std::string path = folder_child_path(root_, relative_dir.empty() ? wanted : relative_dir + "/" + wanted);
  if (path.empty()) return;
  bool ok = false;
  if (folder) {
    ok = CreateDirectoryW(to_utf16(path).c_str(), nullptr) != 0;
  } else {
    UniqueHandle file(CreateFileW(to_utf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ok = file.valid();
  }
  if (!ok) {
    callbacks_.set_status(GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS
                              ? "已有同名的文件或文件夹“" + wanted + "”"
                              : std::string(folder ? "无法新建文件夹：" : "无法新建文件：") + wanted);
    return;
  }
  list(relative_dir);
  if (!folder && callbacks_.open_file) callbacks_.open_file(path, false);
}

void FolderPanel::reveal(const std::string& relative) {
  const std::string path = folder_child_path(root_, relative);
  if (path.empty()) return;
  const std::wstring arguments = L"/select,\"" + to_utf16(path) + L"\"";
  ShellExecuteW(window_, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

bool FolderPanel::load_layout(bool& visible, int& width) {
  DWORD v = 0, w = 0, size = sizeof(DWORD);
  if (RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, L"FilesPanelVisible", RRF_RT_REG_DWORD, nullptr, &v, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  size = sizeof(DWORD);
  if (RegGetValueW(HKEY_CURRENT_USER, kRegistryKey, L"FilesPanelWidth", RRF_RT_REG_DWORD, nullptr, &w, &size) !=
      ERROR_SUCCESS) {
    w = 0;
  }
  visible = v != 0;
  width = static_cast<int>(w);
  return true;
}

void FolderPanel::save_layout(bool visible, int width) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const DWORD v = visible ? 1 : 0;
  RegSetValueExW(key, L"FilesPanelVisible", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  if (width > 0) {
    const DWORD w = static_cast<DWORD>(width);
    RegSetValueExW(key, L"FilesPanelWidth", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&w), sizeof w);
  }
  RegCloseKey(key);
}

bool FolderPanel::start_new_window(const std::string& path) {
  const std::wstring argument = path.empty() ? std::wstring(L"--untitled") : to_utf16(path);
  if (!start_vesk({argument}, "new window")) return false;
  write_diagnostic_line("NATIVE new window " + (path.empty() ? std::string("untitled") : path));
  return true;
}

}  // namespace vesk::win
