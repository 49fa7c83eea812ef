// The document's files on Windows: reading a whole file shared with other
// writers, what a file on disk is now (size, write time, hash), the folder
// Vesk keeps its own data in, whether a process is still running, and
// starting another Vesk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/backup.h"

namespace vesk::win {

// Reads the whole file, sharing it with writers. A read that fails partway
// fails the whole read.
bool read_file_shared(const std::string& path, std::string& bytes);

// Size and write time from the file system; the hash left 0. Missing files
// (and folders) are not `exists`.
DiskState disk_state_without_hash(const std::string& path);

// %LOCALAPPDATA%\Vesk, or VESK_DATA_DIR when set (tests give every run a
// folder of its own); empty when neither can be had.
std::string vesk_data_folder();
// Creates the folder and its parents; true when it exists afterwards.
bool ensure_folder(const std::string& path);

// This process as the owner of a backup entry.
BackupOwner current_backup_owner();
// False only when the owner's process has ended (its number free, or now
// another process's).
bool backup_owner_running(const BackupOwner& owner);

// Seconds (milliseconds) since 1970, UTC; and such a time in seconds as
// local "YYYY-MM-DD HH:MM", or "YYYY-MM-DD HH:MM:SS" `with_seconds`.
std::int64_t unix_time_now();
std::int64_t unix_time_ms_now();
std::string local_time_text(std::int64_t unix_seconds, bool with_seconds = false);

// Another Vesk.exe (this executable) with these arguments, each quoted; the
// log names it `what`. False when it could not be started.
bool start_vesk(const std::vector<std::wstring>& arguments, const std::string& what);

}  // namespace vesk::win
