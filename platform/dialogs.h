// The common file dialogs and the error box. Modal to the owner; UTF-8 in and
// out. A dialog that cannot be created behaves like a cancelled one.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shobjidl.h>

#include <string>

namespace vesk::win {

// The chosen path, or empty when cancelled.
std::string show_open_dialog(HWND owner, const std::string& start_folder);
// The chosen folder, or empty when cancelled.
std::string show_folder_dialog(HWND owner, const std::string& start_folder);
// The chosen path with ".<extension>" appended when the name has none, or
// empty when cancelled. The dialog itself asks before overwriting.
std::string show_save_dialog(HWND owner, const std::wstring& title,
                             const std::string& proposed_path, const std::wstring& extension);
// Opens the dialog in `folder` when it exists.
void preset_dialog_folder(IFileDialog* dialog, const std::string& folder);
// The user's Documents folder, or the current folder when it has none; where
// dialogs and suggestions for a document without a folder start.
std::string default_document_folder();
void show_error_box(HWND owner, const std::wstring& caption, const std::string& text);
// TaskDialogIndirect when common controls 6 are there; E_NOTIMPL otherwise,
// and the caller falls back to a message box.
// `radio`, when given, receives the chosen radio button's id.
HRESULT task_dialog_indirect(const TASKDIALOGCONFIG& config, int& pressed, int* radio = nullptr);

}  // namespace vesk::win
