#pragma once

#include <cstdint>

// One voice as the instrument stores it: signed 16-bit samples at 44,100 Hz.
// An all-zero record is an empty slot.

inline constexpr int32_t MaxVoiceFrames = 42768;  // 2,673 blocks of 16 frames

struct AudioData {
    int16_t channels;       // 1 or 2 as read from the file; 0 marks an empty slot
    int32_t sampleRate;     // the source's rate, kept as read (not 44,100)
    int16_t bitsPerSample;  // the source's sample size, 8 or 16
    int32_t frames;         // frames per channel after conversion, multiple of 16
    int16_t left[MaxVoiceFrames];
    int16_t right[MaxVoiceFrames];  // all zero for a mono source

    friend bool operator==(const AudioData&, const AudioData&) = default;
};

// hostByteOrder codes handed to the reader.
inline constexpr int HostLittleEndian = 1;
inline constexpr int HostBigEndian = 2;

// sourceKind codes: how raw sample bytes are laid out.
inline constexpr int SourceKindWave = 1;  // 16-bit LE, 8-bit unsigned
inline constexpr int SourceKindAiff = 2;  // 16-bit BE, 8-bit signed
