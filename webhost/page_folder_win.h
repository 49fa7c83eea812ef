// Where the editor page file lives: a folder of Vesk's own under the user's
// profile (%LOCALAPPDATA%\Vesk\Pages\<pid>-<start time>), one per process.
// Never the document's folder: a share's server could replace a page that
// holds the native bridge, a read-only folder could not be opened, and every
// folder a user opens would get a stray file.
#pragma once

#include <string>

namespace vesk::win {

// This process's page folder, created on first use; the folders of processes
// that are gone are removed then. Empty when no folder can be created.
std::wstring editor_page_folder();

// Removes this process's page file and, once empty, its folder.
void remove_editor_page(const std::wstring& page_path);

}  // namespace vesk::win
