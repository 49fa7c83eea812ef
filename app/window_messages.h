// The main window's private messages and timer ids, shared with the parts
// that post to it (drop target, keyboard hook, updater thread).
#pragma once

#include <windows.h>

namespace vesk::win {

inline constexpr UINT kDropPathsMessage = WM_APP + 1;
inline constexpr UINT kRunCommandMessage = WM_APP + 7;
inline constexpr UINT kUpdateResultMessage = WM_APP + 8;

inline constexpr UINT_PTR kStartupCommandTimer = 1;
inline constexpr UINT_PTR kSnapshotTimer = 2;
inline constexpr UINT_PTR kDropProbeTimer = 3;
inline constexpr UINT_PTR kUpdateCheckTimer = 4;

inline constexpr UINT kExitMenuId = 40005;
inline constexpr UINT kCheckUpdatesMenuId = 40006;

}  // namespace vesk::win
