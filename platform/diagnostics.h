// The diagnostic line sink (debugger output and the VESK_LOG file) and the
// environment variables that drive automated runs.
#pragma once

#include <string>
#include <string_view>

namespace vesk::win {

// Writes one line, exactly as given, to the debugger output and, when
// VESK_LOG names a file, appends it there followed by one "\n".
void write_diagnostic_line(std::string_view line);

// The variable's value as UTF-8; empty when unset. Read afresh every time.
std::string read_environment(const char* name);

// Set means present and not empty.
inline bool environment_is_set(const char* name) { return !read_environment(name).empty(); }

// The optional lines (keys, commands, view, stats, page log) are written only
// while VESK_KEYLOG is set.
inline bool keylog_enabled() { return environment_is_set("VESK_KEYLOG"); }

}  // namespace vesk::win
