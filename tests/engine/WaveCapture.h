#pragma once

// Reading what OpenAL's wave-file backend wrote, to check that a played
// sound reached the device sample for sample. Shared by the engine's and
// glwtool's playback tests.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "audio/AudioData.h"

namespace wavecapture {

struct Frame {
    int16_t left;
    int16_t right;
    bool operator==(const Frame&) const = default;
};

// An OpenAL configuration that sends every device to the wave-file backend
// writing capturePath, 16-bit stereo at 44,100 Hz with nothing (dither,
// HRTF) changing the samples. The output limiter is left to the program,
// which must turn it off itself: it would scale the samples.
inline std::string Config(const std::string& capturePath) {
    return "[general]\n"
           "drivers = wave\n"
           "channels = stereo\n"
           "sample-type = int16\n"
           "frequency = 44100\n"
           "dither = false\n"
           "hrtf = false\n"
           "[wave]\n"
           "file = " +
           capturePath + "\n";
}

// The frames of the captured WAV file; nothing when it is not 16-bit
// stereo at 44,100 Hz or has no data chunk.
inline std::optional<std::vector<Frame>> Read(const std::string& path) {
    const testsupport::Bytes file = testsupport::ReadFile(path);
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(file[at] | file[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0) return std::nullopt;
    size_t at = 12;
    bool formatOk = false;
    while (at + 8 <= file.size()) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(&file[at], "fmt ", 4) == 0 && at + 24 <= file.size()) {
            formatOk = u16(at + 10) == 2 && u32(at + 12) == 44100 && u16(at + 22) == 16;
        }
        if (std::memcmp(&file[at], "data", 4) == 0) {
            if (!formatOk) return std::nullopt;
            std::vector<Frame> frames;
            for (size_t p = at + 8; p + 4 <= file.size(); p += 4) {
                frames.push_back({static_cast<int16_t>(u16(p)), static_cast<int16_t>(u16(p + 2))});
            }
            return frames;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// What a slot holding the record must sound like: a mono record's only
// channel on both sides.
inline std::vector<Frame> FramesOf(const AudioData& r) {
    std::vector<Frame> frames;
    for (int32_t j = 0; j < r.frames; ++j) {
        frames.push_back({r.left[j], r.channels == 2 ? r.right[j] : r.left[j]});
    }
    return frames;
}

// Index of the first frame at or after from that is not silence.
inline size_t FirstSound(const std::vector<Frame>& capture, size_t from = 0) {
    while (from < capture.size() && capture[from] == Frame{0, 0}) ++from;
    return from;
}

// Length of the run of expected frames found at capture[from].
inline size_t MatchingRun(const std::vector<Frame>& capture, size_t from,
                          const std::vector<Frame>& expected) {
    size_t k = 0;
    while (k < expected.size() && from + k < capture.size() && capture[from + k] == expected[k]) {
        ++k;
    }
    return k;
}

inline bool SilentFrom(const std::vector<Frame>& capture, size_t from) {
    return FirstSound(capture, from) == capture.size();
}

}  // namespace wavecapture
