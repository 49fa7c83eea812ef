// The portable part of the atomic writer: what a failed replace step leaves
// to do, and the failure text. Built everywhere and unit-tested on Linux.
#include "platform/atomic_write.h"

namespace vesk::win {

ReplaceRecovery recovery_after_failed_replace(unsigned long error) {
  switch (error) {
    case kErrorFileNotFound:
      // No target yet: the move creates it; the old state had no file.
      return {true, false};
    case kErrorUnableToMoveReplacement:
    case kErrorUnableToMoveReplacement2:
      // The target was already moved away (or deleted) before the
      // replacement failed: the temporary may be the only copy left.
      return {true, true};
    default:
      // The target is untouched (locked, read-only, ...).
      return {false, false};
  }
}

std::string write_failure_text(std::string_view path, std::string_view kept_temporary) {
  std::string text = "无法写入文件：\n";
  text.append(path);
  if (!kept_temporary.empty()) {
    text += "\n新的内容保存在临时文件：";
    text.append(kept_temporary);
  }
  return text;
}

}  // namespace vesk::win
