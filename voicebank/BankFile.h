#pragma once

#include <string>
#include <vector>

#include "voicebank/VoiceBankCheck.h"

// A bank file read whole and checked: glwtool, opening a bank in the
// window and the backup before a save all read banks through this.
struct BankFile {
    std::vector<uint8_t> bytes;  // the whole file; empty when it was too large to read
    bool tooLarge = false;       // larger than any bank: not read, one problem says so
    VoiceBankReport report;      // the checker's verdict; problems name what is wrong
};

// Reads the file at path and checks it as a bank. False, with the bare reason
// in *reason ("No such file or directory", "not enough memory"), when it
// cannot be read; true otherwise, also for a damaged bank or a file larger
// than any bank, whose problem then gives its size and the largest a bank
// can be.
[[nodiscard]] bool ReadBankFile(const std::string& path, BankFile* out, std::string* reason);
