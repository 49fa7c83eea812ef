// Writing a user's file so that a crash or power loss at any moment leaves
// either the old content or the new one, never a mix or an empty file.
#pragma once

#include <string>
#include <string_view>

namespace vesk::win {

// Writes to "<path>.tmp-<pid>" beside the target, flushes it to the disk,
// then replaces the target in one step. True when the target now holds
// exactly `bytes`; on false the target is untouched and no temporary remains.
bool write_file_atomically(const std::string& path, std::string_view bytes);

}  // namespace vesk::win
