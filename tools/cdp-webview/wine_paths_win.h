// Windows paths and the Unix paths Wine keeps them at, through Wine's own
// exports of kernel32 (absent on real Windows, where nothing is mapped).
#pragma once

#include <string>
#include <vector>

#include "path_mapping.h"

namespace vesk::cdp {

// UTF-8 Unix path of a UTF-16 Windows path; empty when there is none.
std::string unix_path_of(const std::wstring& windows_path);
// UTF-16 Windows path of a UTF-8 Unix path; empty when there is none.
std::wstring windows_path_of(const std::string& unix_path);
// Every drive Wine knows, with the folder it stands for.
std::vector<DriveRoot> drive_roots();

// A URL the browser can load: Windows file URLs become Unix ones, anything
// else is left alone.
std::string browser_url_for(const std::string& windows_url);

}  // namespace vesk::cdp
