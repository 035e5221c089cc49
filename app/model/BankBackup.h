#pragma once

// Before a save replaces a bank, the old file is copied into a folder of the
// user's own: backupsRoot/<NAME>/<NAME>-YYYYMMDD-HHMMSS.glw (UTC; "-2",
// "-3" ... added when that name is taken), NAME being the bank file's name
// without ".glw". Only the newest copies per name are kept, newest by the
// time each copy was written.

#include <ctime>
#include <string>

inline constexpr int BackupsKeptPerBank = 20;

// Copies the file at bankPath as described, through the safe writer, then
// removes the oldest copies of that name beyond keep, never the copy just
// made (other files in the folder are left alone). When the newest copy
// already holds the same bytes, no copy is made and *backupPath names that
// one. True with *backupPath set when a copy is in place (a failed removal
// of old copies does not count; an empty file or one that is no regular
// file is not copied and *backupPath is empty); false with the reason when
// the bank cannot be read or the copy cannot be written.
[[nodiscard]] bool BackUpBank(const std::string& bankPath, const std::string& backupsRoot,
                              std::time_t now, std::string* backupPath, std::string* reason,
                              int keep = BackupsKeptPerBank);
