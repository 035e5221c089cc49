#pragma once

// Opening a voice bank in the window: the bank file is read and checked,
// then its rows are written as row files (audio/RowMark.h) into a folder
// of the user's own, one folder per bank, where the rows load from from
// then on, card or no card.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "convert/VoiceLoad.h"
#include "core/SlotModel.h"
#include "voicebank/VoiceBankCheck.h"

// A bank file read and found sound.
struct OpenedBankFile {
    DecodedVoiceBank bank;  // the name field and the rows
    uint32_t crc = 0;       // CRC-32 of the whole file
};

// Reads and checks the bank at path. True with *out filled for a bank the
// checker calls valid; false with the reason in *reason for a file that is
// missing, is no regular file (refused before it is opened), cannot be
// read, is larger than any bank, or is damaged (the checker's first
// problem). *missing (may be null) tells a path where no file is.
[[nodiscard]] bool ReadBankForOpening(const std::string& path, OpenedBankFile* out,
                                      std::string* reason, bool* missing = nullptr);

// An opened bank's name as a file name: its name field in plain ASCII ("/",
// control characters and every byte from 0x7F as "_"), "bank" when empty.
[[nodiscard]] std::string OpenedBankFileName(const std::string& bankName);
// The folder name of an opened bank: OpenedBankFileName, "-" and the file's
// CRC-32 in 8 lowercase hex digits.
[[nodiscard]] std::string OpenedBankFolderName(const std::string& bankName, uint32_t crc);

// Writes every filled row of the bank as banksRoot/<folder>/<name> NN.wav
// (name: OpenedBankFileName; NN: the row number 01 ... 16, so a row shows
// as "DRUMS-1 06") through the safe writer, making the folders it needs. True with paths[i] the
// file of row i + 1, empty for an empty row; false with the reason when a folder or file could not
// be written (files written before stay).
[[nodiscard]] bool WriteBankRows(const OpenedBankFile& opened, const std::string& banksRoot,
                                 std::array<std::string, VoiceSlotCount>* paths,
                                 std::string* reason);

// A row file dropped onto a row from where rows taken out are written
// (a temporary folder, gone at the window's end): copied byte for byte to
// rowsRoot/<CRC-32 of its bytes, 8 lowercase hex digits>/<its file name>,
// where it stays, so a copy never replaces another's different bytes and the
// same row dropped again reuses its copy. True with the copy's path in
// *kept; false with the reason (no such file, not a row file's size, not
// written). Runs on a worker.
[[nodiscard]] bool KeepRowFile(const std::string& path, const std::string& rowsRoot,
                               std::string* kept, std::string* reason);

// The steps of opening a bank, run on a worker: first the file is read and
// checked, then, once the musician agreed, its rows are copied and read back
// as the slots will hold them.
struct CheckedBank {
    bool ok = false;
    bool missing = false;  // no file at the path
    std::string reason;
    std::shared_ptr<const OpenedBankFile> opened;  // when ok
};
[[nodiscard]] CheckedBank CheckBank(const std::string& path);

struct MadeBankRows {
    std::string copyFailure;                        // the copies could not be written
    std::array<std::string, VoiceSlotCount> paths;  // empty for an empty row
    std::array<std::unique_ptr<AudioData>, VoiceSlotCount> records;  // null: empty or failed
    std::array<VoiceLoadOutcome, VoiceSlotCount> outcomes;
    bool failed = false;  // a copy could not be read back: the first reason
    LoadFailure firstFailure;
};
// WriteBankRows, then every copy read by LoadVoice (convert: the window's
// conversion setting). Stops early once cancelled is set.
[[nodiscard]] MadeBankRows CopyAndReadBankRows(const OpenedBankFile& opened,
                                               const std::string& banksRoot, bool convert,
                                               const std::atomic<bool>& cancelled);
