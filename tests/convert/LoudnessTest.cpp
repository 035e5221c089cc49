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

    // A 1 kHz sine's peak lies at its loudness: at 0 LUFS it would pass -1 dBTP.
    const double ceiling = std::pow(10.0, -1.0 / 20.0);
    ASSERT_TRUE(LoadVoice(tone.c_str(), LoudnessOf(0.0), false, row.get(), &outcome));
    EXPECT_TRUE(outcome.loudness.atCeiling);
    ASSERT_TRUE(MeasureRow(*row, &made));
    double truePeak = 0.0;
    ASSERT_TRUE(MeasureTruePeak(*row, &truePeak));
    EXPECT_LE(truePeak, ceiling);
    EXPECT_GT(truePeak, ceiling * 0.995);
    EXPECT_NEAR(made.loudnessLufs, -1.0, 0.1);

    // A 10 ms burst of a quarter-rate sine sampled 45 degrees off its
    // crests: every sample sits 3 dB under the wave's peak, which the ceiling
    // holds, not the samples.
    Pcm between;
    between.channels = 1;
    for (int i = 0; i < 30000; ++i) {
        const double window = i < 441 ? 0.5 - 0.5 * std::cos(2.0 * kPi * i / 441.0) : 0.0;
        between.samples.push_back(static_cast<int16_t>(
            std::lround(8000.0 * window * std::sin(kPi / 2.0 * i + kPi / 4.0))));
    }
    const auto high = Row(between);
    LoudnessApplied applied;
    ASSERT_TRUE(ScaleRowToLoudness(high.get(), 0.0, &applied));
    EXPECT_TRUE(applied.atCeiling);
    ASSERT_TRUE(MeasureTruePeak(*high, &truePeak));
    EXPECT_LE(truePeak, ceiling);
    EXPECT_GT(truePeak, ceiling * 0.99);
    EXPECT_NEAR(applied.level.peakDbfs, -4.0, 0.15);

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
    using Step = LoudnessMatch::Step;
    const auto kept = MatchLoudness(rows, -16.0, true);
    EXPECT_EQ(kept[0].lufs, -16.0);
    EXPECT_EQ(kept[1].lufs, -26.0);
    EXPECT_EQ(kept[2].lufs, -16.0);
    EXPECT_EQ(kept[3].step, Step::Silent);
    EXPECT_EQ(kept[4].lufs, -16.0);
    const auto each = MatchLoudness(rows, -16.0, false);
    EXPECT_EQ(each[1].lufs, -16.0);
    EXPECT_EQ(each[1].step, Step::Set);

    // A level no option can name is never replaced by the nearest one: rows
    // already there stay as they are; a row that would need one is Outside.
    const std::vector<MatchRow> quiet = {
        {level(-71.04), "a.wav"}, {level(-70.96), "b.wav"}, {level(-20.0), "c.wav"}};
    const auto low = MatchLoudness({quiet[0], quiet[1]}, -71.0, false);
    EXPECT_EQ(low[0].step, Step::AsIs);
    EXPECT_EQ(low[1].step, Step::AsIs);
    EXPECT_EQ(low[0].lufs, -71.0);
    const auto mixed = MatchLoudness(quiet, -71.0, false);
    EXPECT_EQ(mixed[2].step, Step::Outside);
    EXPECT_EQ(mixed[2].lufs, -71.0);
    // A slice 30 LU under its loop's loudest would fall past -40 LUFS.
    const auto grouped =
        MatchLoudness({{level(-10.0), "loop.wav"}, {level(-40.0), "loop.wav"}}, -20.0, true);
    EXPECT_EQ(grouped[0].step, Step::Set);
    EXPECT_EQ(grouped[1].step, Step::Outside);
    EXPECT_EQ(grouped[1].lufs, -50.0);
    EXPECT_EQ(SourceGroup("a/../loop.wav"), SourceGroup("./loop.wav"));
}

}  // namespace
