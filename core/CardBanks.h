#pragma once

// The card as a whole: every bank in its gridlume folder, and the writes
// that manage them (copy, rename, remove, back up and restore the whole
// card, compare with a backup). Shared by the card view and glwtool's card
// commands; no Qt, and every function may run on a worker.
//
// Safety: every file written goes through the safe writer (written to a
// temporary file, synced, read back, renamed); every bank replaced or
// removed is kept first as a copy that "Earlier versions" and glwtool
// versions/restore list (core/BankBackup.h); before each write the card is
// checked to still be the one listed, so a pulled card never has its bank
// written into the empty mount folder on the system disk.

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "voicebank/VoiceBankImage.h"
#include "volumes/VolumeSource.h"

// Checking a bank takes a few buffers of its size. By default the C library
// hands freed ones back to the system and faults them in again for the
// next bank, which costs about fifteen times the checks themselves
// (ListCardBanks on 500 banks: 15 s instead of 0.9 s here). Called once at
// a program's start, before its threads, this keeps freed memory (up to
// 128 MB) for reuse instead; glwtool does.
void KeepFreedBankBuffers();

// One bank file in the card's gridlume folder.
struct CardBank {
    std::string name;  // the file name without its extension, as on the card
    std::string path;  // the file
    std::uintmax_t size = 0;
    std::time_t modified = 0;  // the file's modification time
    bool damaged = false;
    std::string reason;  // the checker's first problem (or why it cannot be read) when damaged
    // Frames of each row, 0 for an empty row; all 0 for a damaged bank.
    std::array<std::int32_t, VoiceSlotCount> rowFrames{};
    [[nodiscard]] int RowsFilled() const;
};

struct CardListing {
    bool ok = false;  // false: the card root is no folder (reason says so)
    std::string reason;
    std::string folder;            // the card's bank folder (root + "gridlume"); it may be missing
    std::vector<CardBank> banks;   // every *.glw (any case) regular file there, sorted by name
    std::uintmax_t freeBytes = 0;  // free to this user on the card's filesystem
    std::uintmax_t bankBytes = 0;  // the banks' sizes added up
};

// Lists the banks on the card whose root (mount point) is cardRoot. Links
// and anything not a regular file are left out. Once cancelled (may be null)
// is set, the banks not yet checked are left unchecked, so a view that
// closes waits for one bank at most.
[[nodiscard]] CardListing ListCardBanks(const std::string& cardRoot,
                                        const std::atomic<bool>* cancelled = nullptr);

// What every card write needs.
struct CardPlace {
    std::string root;  // the card's root (mount point)
    VolumeIdentity
        volume;  // as it was listed; checked before every write (root empty: not checked)
    std::string backupsRoot;  // where replaced and removed banks are kept (core/BankBackup.h)
    std::time_t now = 0;      // the kept copies' time
};

struct CardOutcome {
    bool ok = false;
    std::string reason;  // in words, when not ok
    // What was written or kept: the new bank's path, the kept copies' paths.
    std::vector<std::string> written;
    std::vector<std::string> kept;
};

// Names follow the bank-name rule (voicebank/BankName.h); a bank is found by
// its name in any letter case. The new bank's stored name is its file name.
// An existing newName is refused unless replace (then it is kept first). A
// damaged bank is refused with the checker's reason.
[[nodiscard]] CardOutcome CopyCardBank(const CardPlace& place, const std::string& name,
                                       const std::string& newName, bool replace);
// As CopyCardBank, then the old file is kept and removed.
[[nodiscard]] CardOutcome RenameCardBank(const CardPlace& place, const std::string& name,
                                         const std::string& newName, bool replace);
// Keeps a copy, then removes the bank. When the removal fails the bank stays.
[[nodiscard]] CardOutcome RemoveCardBank(const CardPlace& place, const std::string& name);

// Where whole-card backups go: the user data folder's "card-backups"; empty
// when there is no user data folder.
[[nodiscard]] std::string DefaultCardBackupsRoot();

// Copies every bank of the card into folder as folder/NAME.glw (made, with its parents, when
// missing), each through the safe writer and then verified against the
// card's bytes. written: the copies. Damaged banks are copied as they are.
[[nodiscard]] CardOutcome BackUpCard(const CardPlace& place, const std::string& folder);
// A new dated folder below backupsRoot for BackUpCard:
// backupsRoot/<card label or folder name>-YYYYMMDD-HHMMSS (UTC).
[[nodiscard]] std::string NewCardBackupFolder(const std::string& backupsRoot,
                                              const std::string& cardLabel, std::time_t now);

// One whole-card backup folder below a backups root.
struct CardBackupFolder {
    std::string path;
    std::string name;  // the folder's name
    int banks = 0;
};
// The backup folders below backupsRoot, newest first.
[[nodiscard]] std::vector<CardBackupFolder> ListCardBackups(const std::string& backupsRoot);

// Writes folder's banks back onto the card, each after a copy of the bank it
// replaces was kept; banks on the card the folder lacks stay. A damaged bank
// in the folder is not written (named in reason; the others are).
[[nodiscard]] CardOutcome RestoreCard(const CardPlace& place, const std::string& folder);

// How the card differs from a backup folder.
struct CardDifference {
    enum class Kind { New, Gone, Changed };  // New: only on the card; Gone: only in the backup
    Kind kind = Kind::Changed;
    std::string name;
    std::vector<int> rows;  // Changed: the rows (1-16) whose sound or shape differ
};
// Sorted by name. False with the reason when either folder cannot be read.
[[nodiscard]] bool CompareCard(const std::string& cardRoot, const std::string& folder,
                               std::vector<CardDifference>* differences, std::string* reason);
