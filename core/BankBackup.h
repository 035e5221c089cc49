#pragma once

// Before a save replaces a bank, the old file is copied into a folder of the
// user's own: backupsRoot/<NAME>/<NAME>-YYYYMMDD-HHMMSS.glw (UTC; "-2",
// "-3" ... added when that name is taken), NAME being the bank file's name
// without ".glw". Only the newest copies per name are kept, newest by the
// time each copy was written.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

inline constexpr int BackupsKeptPerBank = 20;

// Copies the file at bankPath as described, through the safe writer, then
// removes the oldest copies of that name beyond keep, never the copy just
// made (other files in the folder are left alone). When the newest copy
// already holds the same bytes, no copy is made and *backupPath names that
// one. True with *backupPath set when a copy is in place (a failed removal
// of old copies does not count; an empty file or one that is no regular
// file is not copied and *backupPath is empty); false with the reason when
// the bank cannot be read, the name's backup folder is a link, or the copy
// cannot be written. spare: a copy that is never pruned either (the one a
// restore is putting back).
[[nodiscard]] bool BackUpBank(const std::string& bankPath, const std::string& backupsRoot,
                              std::time_t now, std::string* backupPath, std::string* reason,
                              int keep = BackupsKeptPerBank, const std::string& spare = {});

// Where the backups are kept: the user data folder's "backups"
// (core/UserData.h); empty when there is none.
[[nodiscard]] std::string DefaultBackupsRoot();

// One kept copy of a bank.
struct BankBackupCopy {
    std::string path;
    std::string stamp;  // YYYYMMDD-HHMMSS, UTC, when the bank was replaced
    long number = 1;    // the "-2", "-3" ... of copies made within one second
    uintmax_t size = 0;
};
// "2026-12-09 16:33:10 UTC" for a copy's stamp.
[[nodiscard]] std::string DescribeBackupTime(const std::string& stamp);

// The copies of the bank name (the file name without ".glw") kept under
// backupsRoot, newest first. Only regular files in the name's own folder
// count: a link there (to another bank, say) is no copy, and a folder that
// is a link holds none.
[[nodiscard]] std::vector<BankBackupCopy> ListBankBackups(const std::string& backupsRoot,
                                                          const std::string& name);

// Writes the copy at copyPath back to bankPath through the safe writer,
// after backing up the bank it replaces (BackUpBank). The copy is read
// first, so pruning old copies never takes it; a copy the checker refuses,
// one that is a link or lies in a linked folder, and one that holds another
// bank's name than bankPath's are not written. False with the reason when the copy cannot be read
// or is damaged, the backup fails (nothing is replaced) or the write fails. *backupPath: the backup
// of the replaced bank, empty when there was none.
[[nodiscard]] bool RestoreBankCopy(const std::string& copyPath, const std::string& bankPath,
                                   const std::string& backupsRoot, std::time_t now,
                                   std::string* backupPath, std::string* reason);
