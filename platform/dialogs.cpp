#include "platform/dialogs.h"

#include <shlobj.h>

#include <algorithm>

#include "core/paths.h"
#include "platform/com.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

// Shows the dialog and returns the chosen file-system path, or empty.
std::string run_dialog(IFileDialog* dialog, HWND owner) {
  if (FAILED(dialog->Show(owner))) return {};
  ComPtr<IShellItem> item;
  if (FAILED(dialog->GetResult(item.put())) || !item) return {};
  CoTaskText path;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path.get()) return {};
  return to_utf8(path.get());
}

}  // namespace

void preset_dialog_folder(IFileDialog* dialog, const std::string& folder) {
  if (!dialog || folder.empty()) return;
  ComPtr<IShellItem> item;
  if (FAILED(SHCreateItemFromParsingName(to_utf16(folder).c_str(), nullptr, IID_IShellItem,
                                         item.put_void()))) {
    return;
  }
  dialog->SetDefaultFolder(item.get());
  dialog->SetFolder(item.get());
}

std::string show_open_dialog(HWND owner, const std::string& start_folder) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, dialog.put_void()))) {
    return {};
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST);
  dialog->SetTitle(L"打开 Markdown 文件");
  const COMDLG_FILTERSPEC types[] = {
      {L"Markdown", L"*.md;*.markdown;*.mdown;*.mkd;*.txt"},
      {L"所有文件", L"*.*"},
  };
  dialog->SetFileTypes(2, types);
  dialog->SetFileTypeIndex(1);
  preset_dialog_folder(dialog.get(), start_folder);
  return run_dialog(dialog.get(), owner);
}

std::string show_folder_dialog(HWND owner, const std::string& start_folder) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, dialog.put_void()))) {
    return {};
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(L"打开文件夹");
  preset_dialog_folder(dialog.get(), start_folder);
  return run_dialog(dialog.get(), owner);
}

std::string show_save_dialog(HWND owner, const std::wstring& title,
                             const std::string& proposed_path, const std::wstring& extension) {
  ComPtr<IFileSaveDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileSaveDialog, dialog.put_void()))) {
    return {};
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM);
  dialog->SetTitle(title.c_str());
  const std::wstring pattern = L"*." + extension;
  const COMDLG_FILTERSPEC types[] = {
      {L"文件", pattern.c_str()},
      {L"所有文件", L"*.*"},
  };
  dialog->SetFileTypes(2, types);
  dialog->SetFileTypeIndex(1);
  dialog->SetDefaultExtension(extension.c_str());

  if (!proposed_path.empty()) {
    dialog->SetFileName(to_utf16(path_file_name(proposed_path)).c_str());
    const std::size_t slash = proposed_path.find_last_of("\\/");
    if (slash != std::string::npos) {
      preset_dialog_folder(dialog.get(), proposed_path.substr(0, slash));
    }
  }

  std::string path = run_dialog(dialog.get(), owner);
  // With "所有文件" selected the dialog adds no extension; we always do.
  if (!path.empty() && !extension.empty()) path = ensure_extension(path, to_utf8(extension));
  return path;
}

void show_error_box(HWND owner, const std::wstring& caption, const std::string& text) {
  MessageBoxW(owner, to_utf16(text).c_str(), caption.c_str(), MB_ICONERROR);
}

std::string default_document_folder() {
  CoTaskText documents;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, documents.put())) &&
      documents.get() && *documents.get()) {
    return to_utf8(documents.get());
  }
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
  return to_utf8(std::wstring_view(buffer, length < MAX_PATH ? length : 0));
}

namespace {

// Centres a task dialog on its owner once it exists, kept inside the owner's
// monitor. TDF_POSITION_RELATIVE_TO_WINDOW alone is not enough under Wine,
// which put every question after the first at the owner's top-left corner.
HRESULT CALLBACK centre_on_owner(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR data) {
  const HWND owner = reinterpret_cast<HWND>(data);
  if (notification != TDN_CREATED || !owner || !IsWindow(owner)) return S_OK;
  RECT outer{};
  RECT box{};
  if (!GetWindowRect(owner, &outer) || !GetWindowRect(dialog, &box)) return S_OK;
  const LONG width = box.right - box.left;
  const LONG height = box.bottom - box.top;
  LONG x = outer.left + ((outer.right - outer.left) - width) / 2;
  LONG y = outer.top + ((outer.bottom - outer.top) - height) / 2;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    x = (std::max)(work.left, (std::min)(x, work.right - width));
    y = (std::max)(work.top, (std::min)(y, work.bottom - height));
  }
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

}  // namespace

// TaskDialogIndirect exists only in common controls 6, which the manifest
// asks for. Looked up at run time so that a process without it still starts
// and falls back to a message box.
HRESULT task_dialog_indirect(const TASKDIALOGCONFIG& original, int& pressed, int* radio) {
  TASKDIALOGCONFIG config = original;
  if (config.hwndParent && !config.pfCallback) {
    config.pfCallback = &centre_on_owner;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(config.hwndParent);
  }
  using TaskDialogFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  // Loading by name goes through the manifest's activation context, which
  // picks version 6 when the executable asks for it. It stays loaded.
  static HMODULE controls = LoadLibraryW(L"comctl32.dll");
  if (!controls) return E_NOTIMPL;
  const auto function = reinterpret_cast<TaskDialogFunction>(
      reinterpret_cast<void*>(GetProcAddress(controls, "TaskDialogIndirect")));
  if (!function) return E_NOTIMPL;
  return function(&config, &pressed, radio, nullptr);
}

}  // namespace vesk::win
