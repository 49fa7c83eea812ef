// The only conversions between the UTF-8 used inside and the UTF-16 of
// Windows calls, and the paths only Windows can resolve.
#pragma once

#include <string>
#include <string_view>

namespace vesk::win {

// Over the explicit length, so embedded NULs survive. Invalid input is
// converted with Windows' replacement behaviour, never reported.
std::wstring to_utf16(std::string_view utf8);
std::string to_utf8(std::wstring_view utf16);

// The absolute form of a path as Windows itself resolves it against the
// current folder: share paths (\\server\share\...) and \\?\ paths stay
// intact, which the mingw std::filesystem does not do. The path unchanged
// when it cannot be resolved.
std::string full_path(const std::string& path);

// The folder the running program was started from (no trailing separator),
// however long its path; empty when Windows cannot say.
std::wstring executable_folder();

}  // namespace vesk::win
