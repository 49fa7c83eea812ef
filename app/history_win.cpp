// Local history on Windows: before a save replaces a document, the bytes
// it had go to the History folder (one folder per document) and old
// versions are dropped; 文件 › 历史版本… opens a version in a new window as
// an untitled copy or restores it into the document as one undoable edit.
// core/history decides which versions are kept; this file moves the bytes.
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "app/disk_win.h"
#include "app/main_window.h"
#include "core/commands.h"
#include "core/history.h"
#include "platform/atomic_write.h"
#include "platform/diagnostics.h"
#include "platform/dialogs.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

std::string history_root() {
  const std::string data = vesk_data_folder();
  return data.empty() ? std::string() : data + "\\History";
}

// The versions in one document's folder. Anything that is not a version of
// ours (a killed write's temporary, a foreign file) is left alone.
void add_versions(const std::string& root, const std::string& folder, std::vector<HistoryVersion>& out) {
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW(to_utf16(root + "\\" + folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = to_utf8(data.cFileName);
    if (const auto time = parse_history_file_name(name)) {
      const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      out.push_back({folder, name, *time, size});
    }
  } while (FindNextFileW(search, &data));
  FindClose(search);
}

std::vector<HistoryVersion> all_versions(const std::string& root) {
  std::vector<HistoryVersion> versions;
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW(to_utf16(root + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return versions;
  do {
    const std::wstring name = data.cFileName;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..") continue;
    add_versions(root, to_utf8(name), versions);
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return versions;
}

enum class HistoryChoice { Cancel, OpenCopy, Restore };

// The versions, newest first, as radio buttons; the newest is chosen.
HistoryChoice ask_history(HWND owner, const std::string& name, const std::vector<HistoryVersion>& versions,
                          std::size_t& chosen) {
  std::vector<std::wstring> lines;
  for (const HistoryVersion& version : versions) {
    lines.push_back(to_utf16(history_line(local_time_text(version.time_ms / 1000, true), version.size)));
  }
  std::vector<TASKDIALOG_BUTTON> radios;
  for (std::size_t i = 0; i < lines.size(); ++i) radios.push_back({static_cast<int>(2000 + i), lines[i].c_str()});
  const TASKDIALOG_BUTTON buttons[] = {{1000, L"在新窗口中打开"}, {1001, L"恢复到文档"}};
  const std::wstring instruction = to_utf16("历史版本：" + name);
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
  config.pszWindowTitle = L"历史版本";
  config.pszMainInstruction = instruction.c_str();
  config.pszContent = L"保存前的内容，最新的在前。恢复是一次可撤销的编辑。";
  config.cButtons = 2;
  config.pButtons = buttons;
  config.nDefaultButton = 1000;
  config.cRadioButtons = static_cast<UINT>(radios.size());
  config.pRadioButtons = radios.data();
  config.nDefaultRadioButton = 2000;
  int pressed = 0;
  int radio = 0;
  if (FAILED(task_dialog_indirect(config, pressed, &radio))) return HistoryChoice::Cancel;
  if (radio < 2000 || static_cast<std::size_t>(radio - 2000) >= versions.size()) return HistoryChoice::Cancel;
  chosen = static_cast<std::size_t>(radio - 2000);
  if (pressed == 1000) return HistoryChoice::OpenCopy;
  if (pressed == 1001) return HistoryChoice::Restore;
  return HistoryChoice::Cancel;
}

}  // namespace

void VeskMainWindow::keep_history_version(const std::string& path, const std::string& new_bytes) {
  // A failure here never stops the save: it is logged, and the save goes on.
  const std::string root = history_root();
  const DiskState now = disk_state_without_hash(path);
  if (root.empty() || !now.exists || now.size > kHistoryMaxDocumentBytes) return;
  std::string old;
  if (!read_file_shared(path, old) || !history_keeps_version(old, new_bytes)) return;
  const std::string key = history_folder_name(path);
  const std::string folder = root + "\\" + key;
  const std::int64_t time = unix_time_ms_now();
  std::string name = history_file_name(time);
  for (unsigned n = 1; GetFileAttributesW(to_utf16(folder + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
    name = history_file_name(time, n);
  }
  if (!ensure_folder(folder) || !write_file_atomically(folder + "\\" + name, old)) {
    write_diagnostic_line("NATIVE history failed " + key);
    return;
  }
  write_diagnostic_line("NATIVE history kept " + key + "\\" + name + " bytes=" + std::to_string(old.size()));
  for (const HistoryVersion& drop : history_versions_to_drop(all_versions(root), key)) {
    const std::string file = drop.folder + "\\" + drop.file;
    if (DeleteFileW(to_utf16(root + "\\" + file).c_str())) write_diagnostic_line("NATIVE history dropped " + file);
  }
}

void VeskMainWindow::history_command() {
  if (busy_with_modal_flow(Command::History)) return;
  const std::string root = history_root();
  std::vector<HistoryVersion> versions;
  if (!document_.untitled() && !root.empty()) add_versions(root, history_folder_name(document_.path()), versions);
  if (versions.empty()) {
    set_status(std::string(kNoHistoryStatus));
    return;
  }
  sort_newest_first(versions);
  if (versions.size() > kHistoryVersionsPerDocument) versions.resize(kHistoryVersionsPerDocument);
  std::size_t chosen = 0;
  const HistoryChoice choice = ask_history(window_, display_name(), versions, chosen);
  if (choice == HistoryChoice::Cancel) return;
  const std::string file = root + "\\" + versions[chosen].folder + "\\" + versions[chosen].file;
  if (choice == HistoryChoice::OpenCopy) {
    if (start_vesk({kOpenCopySwitch, to_utf16(file)}, "history copy " + file)) {
      write_diagnostic_line("NATIVE history copy " + versions[chosen].file);
    } else {
      set_status("无法打开新窗口");
    }
    return;
  }
  std::string text;
  if (!read_file_shared(file, text)) {
    set_status("无法读取历史版本");
    return;
  }
  strip_utf8_bom(text);
  if (core_) core_->replace_text(text);
  write_diagnostic_line("NATIVE history restored " + versions[chosen].file);
  set_status("已恢复历史版本（可撤销）");
}

void VeskMainWindow::open_copy(const std::string& file) {
  std::string text;
  if (!read_file_shared(file, text)) {
    show_error_box(window_, L"无法打开", "读取文件失败：\n" + file);
    return;
  }
  strip_utf8_bom(text);
  document_.loaded_untitled(text);
  watch_document_folder();
  if (core_) core_->load_unsaved_document(text, "");
  update_title();
  write_diagnostic_line("NATIVE open copy " + file);
  set_status("已打开历史版本的副本（未命名，保存时会询问位置）");
}

}  // namespace vesk::win
