#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AudioData;

namespace glwtool {

// A plain PCM WAV file (44-byte header: RIFF, fmt of 16 bytes, data) holding
// a voice at 44,100 Hz, 16 bits, mono or stereo as the record says; samples
// interleaved left, right. Returns the file's bytes; empty for a record
// whose channels is not 1 or 2 or whose frames is outside 0..MaxVoiceFrames.
[[nodiscard]] std::vector<uint8_t> MakePcmWave(const AudioData& record);

// Writes MakePcmWave(record) to path (safely: an old file is replaced only
// once the new one is complete). Returns true when written.
[[nodiscard]] bool WritePcmWave(const std::string& path, const AudioData& record);

}  // namespace glwtool
