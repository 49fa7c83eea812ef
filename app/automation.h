// The environment-driven automation of a run (start-up command, script
// evaluation, snapshot, simulated drop) and the zoom status, decided from
// text. Portable; the main window acts on the results.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::win {

// VESK_COMMAND without white space and in lower case ("Save As " → "saveas").
std::string normalize_startup_command(std::string_view value);
// The command a normalised name runs ("save" → 3), if any.
std::optional<int> startup_command_id(std::string_view normalized);

// VESK_DROP split at ";", empty pieces dropped, the others kept verbatim.
std::vector<std::string> split_drop_paths(std::string_view value);

// VESK_SNAPSHOT_DELAY in whole milliseconds: a leading decimal number as
// atof reads it, 2000 when unset, never negative.
int snapshot_delay_ms(std::string_view value);

// The script that evaluates VESK_EVAL in the page and posts its result (or
// error) back as a log message.
std::string eval_script(std::string_view expression);

// "缩放：110%" when the zoom moved by more than 0.001 from the last one
// announced; nothing otherwise.
std::optional<std::string> zoom_status(double zoom, double last_zoom);

}  // namespace vesk::win
