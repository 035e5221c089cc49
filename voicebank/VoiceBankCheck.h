#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "voicebank/VoiceBankImage.h"

// One row of a stored bank as its key maps and key records describe it.
struct VoiceBankRow {
    int channels = 0;           // 0 empty, 1 mono, 2 stereo
    int32_t frames = 0;         // (sampleEnd + 1) * 16 for a filled row
    uint32_t sampleStart1 = 0;  // element 1's sampleStart as stored (32-byte units)
    uint32_t sampleStart2 = 0;  // element 2's sampleStart as stored
    uint32_t sampleEnd = 0;     // element 1's sampleEnd as stored
};

// A stored bank taken apart: its name, its rows and an image that holds the
// default parameter head and every filled row's decoded samples (44,100 Hz,
// sampleRate 44,100 and bitsPerSample 16 in each filled record).
struct DecodedVoiceBank {
    std::string bankName;  // bytes of the name field up to its first zero
    std::array<VoiceBankRow, VoiceSlotCount> rows{};
    std::unique_ptr<VoiceBankImage> image;
};

// Takes a stored bank apart. Which rows are filled comes from the key maps,
// mono or stereo from element 2's sampleStart, the length from sampleEnd; the
// samples are read where the builder lays them out, one row after the other.
// Where a damaged field leaves a row's shape in doubt, the shape that fits
// the file's size is taken. Never reads outside data[0, size): missing sample
// bytes decode as silence.
// Returns true with *out filled, or false (out untouched) for a null argument,
// a file shorter than the 2,144-byte parameter area, or an allocation failure.
[[nodiscard]] bool DecodeVoiceBank(const uint8_t* data, size_t size, DecodedVoiceBank* out);

// The verdict on a stored bank.
struct VoiceBankReport {
    bool valid = false;    // byte-identical to the rebuild of its own rows
    bool decoded = false;  // bank holds the decoded rows
    DecodedVoiceBank bank;
    std::vector<std::string> problems;  // one plain sentence per problem; empty when valid
};

// Checks a stored bank. A bank is valid exactly when it equals, byte for
// byte, the bank the builder makes from its decoded rows under its own name;
// each difference is then named by field (magic, bodyLength, checksums, name
// field, area offsets, section table, default parameters, key maps, key
// records, sample area length). Never reads outside data[0, size) and throws
// nothing; an allocation failure is reported as a problem.
[[nodiscard]] VoiceBankReport CheckVoiceBank(const uint8_t* data, size_t size);
