// Setting the VESK_* variables a test drives the program with.
#pragma once

#include <windows.h>

#include <string>

#include "platform/strings.h"

namespace vesk::testing {

// An empty value removes the variable.
inline void set_env(const wchar_t* name, const std::string& value) {
  SetEnvironmentVariableW(name, value.empty() ? nullptr : win::to_utf16(value).c_str());
}

}  // namespace vesk::testing
