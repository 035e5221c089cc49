#pragma once

// Opening a voice bank in the window: the bank file is read and checked,
// then its rows are written as row files (audio/RowMark.h) into a folder
// of the user's own, one folder per bank, where the rows load from from
// then on, card or no card.

#include <array>
#include <cstdint>
#include <string>

#include "voicebank/VoiceBankCheck.h"

// A bank file read and found sound.
struct OpenedBankFile {
    DecodedVoiceBank bank;  // the name field and the rows
    uint32_t crc = 0;       // CRC-32 of the whole file
};

// Reads and checks the bank at path. True with *out filled for a bank the
// checker calls valid; false with the reason in *reason for a file that
// cannot be read, is larger than any bank, or is damaged (the checker's
// first problem).
[[nodiscard]] bool ReadBankForOpening(const std::string& path, OpenedBankFile* out,
                                      std::string* reason);

// The folder name of an opened bank: its name field ("/" and control
// characters as "_", "bank" when empty), "-" and the file's CRC-32 in 8
// lowercase hex digits.
[[nodiscard]] std::string OpenedBankFolderName(const std::string& bankName, uint32_t crc);

// Writes every filled row of the bank as banksRoot/<folder>/NN.wav (NN: the
// row number 01 ... 16) through the safe writer, making the folders it
// needs. True with paths[i] the file of row i + 1, empty for an empty row;
// false with the reason when a folder or file could not be written (files
// written before stay).
[[nodiscard]] bool WriteBankRows(const OpenedBankFile& opened, const std::string& banksRoot,
                                 std::array<std::string, VoiceSlotCount>* paths,
                                 std::string* reason);
