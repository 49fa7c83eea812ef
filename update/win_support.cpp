#include "update/win_support.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "update/update_policy.h"

namespace vesk::win {

void update_log(const char* format, ...) {
  // Updater lines are diagnostics for test runs, never written otherwise.
  if (read_environment("VESK_KEYLOG").empty()) return;
  std::va_list args;
  va_start(args, format);
  std::string line = format_update_log_line(format, args);
  va_end(args);
  write_diagnostic_line(line);
}

}  // namespace vesk::win
