#pragma once

// Writes test voice banks: rows of given lengths filled with a pattern that
// differs per row and per seed, so a row that changed shows in its samples.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace testsupport {

// One row of a test bank: its 1-based number, channels and frames (a
// multiple of 16).
struct TestRow {
    int row = 1;
    int channels = 1;
    int frames = 1600;
};

// The bank at path (its stored name the file's base name) with rows; true
// when written.
inline bool WriteTestBank(const std::string& path, const std::vector<TestRow>& rows, int seed = 0) {
    auto image = std::make_unique<VoiceBankImage>();
    if (!InitVoiceBankImage(image.get())) return false;
    for (const TestRow& row : rows) {
        AudioData& voice = image->voices[static_cast<size_t>(row.row - 1)];
        voice.channels = static_cast<int16_t>(row.channels);
        voice.sampleRate = 44100;
        voice.bitsPerSample = 16;
        voice.frames = row.frames;
        for (int i = 0; i < row.frames; ++i) {
            voice.left[i] = static_cast<int16_t>((i * 37 + row.row * 1000 + seed * 7919) % 30000);
            if (row.channels == 2) voice.right[i] = static_cast<int16_t>(-voice.left[i]);
        }
    }
    return ExportImageToFile(*image, path.c_str());
}

}  // namespace testsupport
