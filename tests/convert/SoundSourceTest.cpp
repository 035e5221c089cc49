// The opened sound: which reader serves a file, frames read after a seek in
// both, the first loud frame on the 16-bit and the float scale, and a scan
// or load stopped by its cancel flag.

#include "convert/SoundSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "convert/VoiceLoad.h"

using namespace testsupport;

namespace {

class SoundSourceTest : public ::testing::Test {
protected:
    TempDir dir;
};

// Stereo, 1,000 frames, channel 1 counts up by 1, channel 2 down by 1; on
// the 16-bit scale. Frame 700 of channel 2 is the first at -40 dBFS.
std::vector<int> Ramp() {
    std::vector<int> samples;
    for (int i = 0; i < 1000; ++i) {
        samples.push_back(i % 300);
        samples.push_back(i == 700 ? -328 : -(i % 300));
    }
    for (int& s : samples) s *= 65536;  // libsndfile's int scale
    return samples;
}

TEST_F(SoundSourceTest, EachReaderSeeksReadsAndFindsTheFirstSound) {
    const std::string wav = dir.file("ramp.wav");
    const std::string flac = dir.file("ramp.flac");
    ASSERT_TRUE(WriteSoundFileInt(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, Ramp()));
    ASSERT_TRUE(WriteSoundFileInt(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 2, Ramp()));

    SoundRefusal refusal;
    EXPECT_EQ(SoundSource::Open(flac.c_str(), false, &refusal), nullptr);
    EXPECT_EQ(refusal.strict.code, ReadNotRecognised);
    EXPECT_TRUE(refusal.convertible);
    EXPECT_EQ(SoundSource::Open(dir.file("none.wav").c_str(), true, &refusal), nullptr);
    EXPECT_EQ(refusal.strict.code, ReadShort);

    for (const auto& [path, converted] : {std::pair{wav, false}, std::pair{flac, true}}) {
        SCOPED_TRACE(path);
        const auto sound = SoundSource::Open(path.c_str(), true, nullptr);
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(sound->Converted(), converted);
        EXPECT_EQ(sound->Info().channels, 2);
        EXPECT_EQ(sound->Info().sampleRate, 48000);
        EXPECT_EQ(sound->Info().frames, 1000);

        int64_t loud = 0;
        ASSERT_TRUE(sound->FindLoudFrame(&loud, NeverCancelled()));
        EXPECT_EQ(loud, 700);

        // After the scan, a seek back reads the frames as stored.
        ASSERT_TRUE(sound->Seek(298));
        int16_t frames[8] = {};
        ASSERT_EQ(sound->ReadFrames(frames, 4), 4);
        EXPECT_EQ(std::vector<int16_t>(frames, frames + 8),
                  (std::vector<int16_t>{298, -298, 299, -299, 0, 0, 1, -1}));
        ASSERT_TRUE(sound->Seek(998));
        float tail[4] = {};
        EXPECT_EQ(sound->ReadFrames(tail, 4), 2);  // only two frames are left
        EXPECT_FLOAT_EQ(tail[0], 98.0f / 32768.0f);
        EXPECT_TRUE(sound->ReadError().empty());

        const std::atomic<bool> cancelled{true};
        EXPECT_FALSE(sound->FindLoudFrame(&loud, cancelled));
    }
}

TEST_F(SoundSourceTest, ACancelledFirstSoundLoadMakesNothing) {
    const std::string wav = dir.file("ramp.wav");
    ASSERT_TRUE(WriteSoundFileInt(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, Ramp()));
    VoiceOptions options;
    options.start = VoiceOptions::Start::FirstSound;
    const auto record = std::make_unique<AudioData>();
    VoiceLoadOutcome outcome;
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(LoadVoice(wav.c_str(), options, true, record.get(), &outcome, cancelled));
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.converter.converted);
    EXPECT_EQ(record->frames, 0);

    // Not cancelled, the same load starts 1 ms (48 frames) before the sound.
    EXPECT_TRUE(LoadVoice(wav.c_str(), options, true, record.get(), &outcome));
    EXPECT_EQ(outcome.startFrame, 700 - 48);
}

}  // namespace
