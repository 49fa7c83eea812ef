// Writing a user's file so that a crash or power loss at any moment leaves
// either the old content or the new one, never a mix or an empty file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vesk::win {

// The Windows error codes the replace step's recovery depends on.
inline constexpr unsigned long kErrorFileNotFound = 2;
inline constexpr unsigned long kErrorUnableToMoveReplacement = 1176;
inline constexpr unsigned long kErrorUnableToMoveReplacement2 = 1177;

// What to do after the replace step failed with `error`. Portable.
struct ReplaceRecovery {
  bool try_move = false;        // move the temporary over the target instead
  bool keep_temporary = false;  // if that fails too, the temporary is the only new copy
};
ReplaceRecovery recovery_after_failed_replace(unsigned long error);

// The error box text for a failed write; names the temporary file when the
// new text survives only there.
std::string write_failure_text(std::string_view path, std::string_view kept_temporary);

struct AtomicWriteResult {
  bool ok = false;
  // Set when the replace failed halfway and the move failed too: the
  // temporary file, left in place, holds the only copy of the new bytes.
  std::string kept_temporary;
};

// Replaces `target` by `temporary`; false with the Windows error code set.
// Injectable so tests can make the replace fail the ways Windows can.
using ReplaceStep =
    std::function<bool(const std::wstring& target, const std::wstring& temporary, unsigned long& error)>;

// Writes to "<path>.tmp-<pid>" beside the target, flushes it to the disk,
// then replaces the target in one step (a rename over it unless `replace` is
// given). On failure the temporary is deleted unless it is kept as above.
AtomicWriteResult write_file_atomically_reporting(const std::string& path, std::string_view bytes,
                                                  const ReplaceStep& replace = nullptr);

// True when the target now holds exactly `bytes`.
bool write_file_atomically(const std::string& path, std::string_view bytes);

}  // namespace vesk::win
