// Loudness: the measurement against the reference tone, a row made to a
// loudness (or held at the ceiling), the exclusion of a peak level, and
// matching that keeps rows of one file apart by what they differed.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "convert/Loudness.h"
#include "convert/VoiceLoad.h"

using namespace testsupport;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 1 kHz sine, or a decaying noise burst (a hit), at amplitude (of 32767).
Pcm Tone(int channels, double amplitude, size_t frames, bool burst = false) {
    Pcm pcm;
    pcm.channels = channels;
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        double v = std::sin(2.0 * kPi * 1000.0 * static_cast<double>(i) / 44100.0);
        if (burst) {
            noise = noise * 1664525u + 1013904223u;
            v = (static_cast<double>(noise >> 8) / (1u << 24) * 2.0 - 1.0) *
                std::exp(-static_cast<double>(i) / 3000.0);
        }
        for (int c = 0; c < channels; ++c)
            pcm.samples.push_back(static_cast<int16_t>(std::lround(32767.0 * amplitude * v)));
    }
    return pcm;
}

std::unique_ptr<AudioData> Row(const Pcm& pcm) {
    auto row = std::make_unique<AudioData>();
    row->channels = static_cast<int16_t>(pcm.channels);
    row->sampleRate = 44100;
    row->bitsPerSample = 16;
    row->frames = static_cast<int32_t>(pcm.samples.size() / static_cast<size_t>(pcm.channels));
    for (int i = 0; i < row->frames; ++i) {
        row->left[i] = pcm.samples[static_cast<size_t>(i * pcm.channels)];
        if (pcm.channels == 2) row->right[i] = pcm.samples[static_cast<size_t>(i * 2 + 1)];
    }
    return row;
}

VoiceOptions LoudnessOf(double lufs) {
    VoiceOptions options;
    options.loudness = true;
    options.loudnessLufs = lufs;
    return options;
}

TEST(LoudnessTest, ASineAtMinus20DbfsMeasuresMinus20LufsStereoOrMono) {
    // The reference tone: a 1 kHz sine at -20 dBFS on both channels is
    // -20 LUFS; a mono row counts as played on both.
    for (const int channels : {1, 2}) {
        RowLevel level;
        ASSERT_TRUE(MeasureRow(*Row(Tone(channels, 0.1, 40000)), &level));
        ASSERT_TRUE(level.sounding);
        EXPECT_NEAR(level.loudnessLufs, -20.0, 0.05) << channels;
        EXPECT_NEAR(level.peakDbfs, -20.0, 0.01) << channels;
    }
    RowLevel silent;
    ASSERT_TRUE(MeasureRow(*Row(Tone(2, 0.0, 40000)), &silent));
    EXPECT_FALSE(silent.sounding);
}

TEST(LoudnessTest, ARowIsMadeAtItsLoudnessOrHeldAtTheCeiling) {
    TempDir dir;
    const std::string hit = dir.file("hit.wav");
    const std::string tone = dir.file("tone.wav");
    ASSERT_TRUE(WriteFile(hit, MakeWav(Tone(2, 0.05, 30000, true))));
    ASSERT_TRUE(WriteFile(tone, MakeWav(Tone(1, 0.3, 44100))));

    auto row = std::make_unique<AudioData>();
    VoiceLoadOutcome outcome;
    ASSERT_TRUE(LoadVoice(hit.c_str(), LoudnessOf(-24.0), false, row.get(), &outcome));
    EXPECT_FALSE(outcome.loudness.atCeiling);
    RowLevel made;
    ASSERT_TRUE(MeasureRow(*row, &made));
    EXPECT_NEAR(made.loudnessLufs, -24.0, 0.1);
    // Made twice, the same row.
    auto again = std::make_unique<AudioData>();
    ASSERT_TRUE(LoadVoice(hit.c_str(), LoudnessOf(-24.0), false, again.get(), &outcome));
    EXPECT_TRUE(*row == *again);

    // A 1 kHz sine's peak lies at its loudness: at 0 LUFS it would pass -1 dBFS.
    ASSERT_TRUE(LoadVoice(tone.c_str(), LoudnessOf(0.0), false, row.get(), &outcome));
    EXPECT_TRUE(outcome.loudness.atCeiling);
    ASSERT_TRUE(MeasureRow(*row, &made));
    EXPECT_EQ(made.peak, 29204);  // round(32767 * 10^(-1/20))
    EXPECT_NEAR(made.loudnessLufs, -1.0, 0.1);

    VoiceOptions both = LoudnessOf(-20.0);
    both.normalize = true;
    EXPECT_FALSE(LoadVoice(tone.c_str(), both, false, row.get(), &outcome));
    EXPECT_TRUE(outcome.levelsConflict);
}

TEST(LoudnessTest, RowsOfOneFileKeepTheirDifferencesWhenMatched) {
    auto level = [](double lufs) {
        RowLevel l;
        l.sounding = true;
        l.loudnessLufs = lufs;
        return l;
    };
    const std::vector<MatchRow> rows = {
        {level(-10.0), "loop.wav"}, {level(-20.0), "loop.wav"}, {level(-30.04), "pad.wav"},
        {RowLevel{}, "quiet.wav"},  {level(-12.0), "hat.wav"},
    };
    EXPECT_EQ(MedianLoudness(rows), -16.0);
    const auto kept = MatchLoudness(rows, -16.0, true);
    EXPECT_EQ(kept[0], -16.0);
    EXPECT_EQ(kept[1], -26.0);
    EXPECT_EQ(kept[2], -16.0);
    EXPECT_FALSE(kept[3].has_value());
    EXPECT_EQ(kept[4], -16.0);
    const auto each = MatchLoudness(rows, -16.0, false);
    EXPECT_EQ(each[1], -16.0);
    EXPECT_EQ(SourceGroup("a/../loop.wav"), SourceGroup("./loop.wav"));
}

}  // namespace
