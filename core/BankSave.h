#pragma once

// Saving the rows as a bank onto the chosen volume, with no Qt, so the
// window can run it on a worker: the volume is checked to still be the one
// chosen, the bank is built, written, synced and read back, the bank it
// replaces is backed up, and a failure is worded for the musician.

#include <cstdint>
#include <ctime>
#include <string>

#include "voicebank/VoiceBankBuilder.h"
#include "volumes/VolumeSource.h"

struct VoiceBankImage;

struct BankSaveRequest {
    std::string path;         // the bank file: root + "gridlume/" + NAME + ".glw"
    VolumeIdentity volume;    // the chosen volume as the dialog listed it
    std::string backupsRoot;  // where replaced banks are kept; empty: nowhere
    std::time_t now = 0;      // the backup's time
};

struct BankSaveOutcome {
    bool saved = false;
    std::string reason;      // why not, in words, when not saved
    std::string backupPath;  // the copy of the bank replaced, if any
};

// Why the bank file at path (bankBytes long) could not be written onto the
// card at cardRoot, in the musician's words: a full card with its free space
// and the bank's size, permission denied, a read-only card, else the
// system's reason.
[[nodiscard]] std::string DescribeBankWriteFailure(const std::string& path,
                                                   const std::string& cardRoot,
                                                   std::uintmax_t bankBytes,
                                                   const WriteFailure& failure);

// Saves the rows' bank image as described (the save button's export). Nothing is written anywhere
// when the volume is no longer the one chosen; the old bank stays as it was on every failure, and a
// backup is made only once the new bank is written and checked, just before it replaces the old
// one.
[[nodiscard]] BankSaveOutcome ExportVoiceBank(const VoiceBankImage& image,
                                              const BankSaveRequest& request);
