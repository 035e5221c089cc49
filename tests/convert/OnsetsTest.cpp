#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "convert/BeatGrid.h"
#include "convert/Onsets.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979;

// A small generator of our own, so the corpus is the same everywhere.
struct Random {
    uint64_t state;
    double Next() {  // 0 ... 1
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
    double Noise() { return 2.0 * Next() - 1.0; }
};

enum class Drum { Kick, Snare, Hat, Tom };

// Adds one hit at frame `at` with its peak near `peak`, its tail running on
// under whatever comes next.
void AddHit(std::vector<float>* out, int64_t at, Drum drum, double peak, Random* random) {
    double phase = 0.0;
    double previousNoise = 0.0;
    const double tail = drum == Drum::Hat ? 0.05 : drum == Drum::Snare ? 0.12 : 0.2;
    const auto length = static_cast<int64_t>(5 * tail * kRate);
    for (int64_t i = 0; i < length && at + i < static_cast<int64_t>(out->size()); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double envelope = std::exp(-t / tail);
        double v = 0.0;
        switch (drum) {
        case Drum::Kick: {
            const double hz = 50.0 + 100.0 * std::exp(-t / 0.03);
            phase += 2 * kPi * hz / kRate;
            v = std::sin(phase);
            break;
        }
        case Drum::Tom:
            phase += 2 * kPi * (110.0 + 30.0 * std::exp(-t / 0.05)) / kRate;
            v = std::sin(phase);
            break;
        case Drum::Snare:
            phase += 2 * kPi * 185.0 / kRate;
            v = 0.5 * std::sin(phase) + 0.5 * random->Noise();
            break;
        case Drum::Hat: {
            const double noise = random->Noise();
            v = 0.7 * (noise - previousNoise);
            previousNoise = noise;
            break;
        }
        }
        (*out)[static_cast<size_t>(at + i)] += static_cast<float>(peak * envelope * v);
    }
}

struct Loop {
    std::vector<float> samples;
    std::vector<int64_t> hits;
};

Loop MakeLoop(uint64_t seed, bool noiseFloor) {
    Random random{seed};
    Loop loop;
    loop.samples.assign(static_cast<size_t>(kRate * 8), 0.0f);
    // A loop's level lies between -30 and 0 dBFS; its hits vary up to 12 dB
    // below it (never under -30), as accents do.
    const double loopDbfs = -30.0 * random.Next();
    int64_t at = kRate / 10;
    while (at < static_cast<int64_t>(loop.samples.size()) - kRate / 2) {
        loop.hits.push_back(at);
        const auto drum = static_cast<Drum>(static_cast<int>(random.Next() * 4) % 4);
        const double dbfs = std::max(-30.0, loopDbfs - 12.0 * random.Next());
        AddHit(&loop.samples, at, drum, std::pow(10.0, dbfs / 20.0), &random);
        at += static_cast<int64_t>((0.06 + 0.44 * random.Next()) * kRate);
    }
    if (noiseFloor) {
        for (float& s : loop.samples) s += static_cast<float>(0.002 * random.Noise());  // -54 dBFS
    }
    for (float& s : loop.samples) s = std::clamp(s, -1.0f, 1.0f);
    return loop;
}

// Analyses samples written to a file as format (float: read exactly by
// the converter).
bool AnalyseFile(const testsupport::TempDir& dir, const std::vector<float>& samples,
                 OnsetAnalysis* analysis, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    const std::string path = dir.file(std::to_string(format));
    std::string why;
    return testsupport::WriteSoundFile(path, format, kRate, 1, samples) &&
           analysis->Analyse(path.c_str(), true, &why);
}

// Drums with known onsets, 60 to 500 ms apart, -30 to 0 dBFS, tails under
// the next hit, with and without a noise floor: at the default sensitivity
// nearly every hit is found within 5 ms, most starting before it.
TEST(Onsets, FindsTheHitsOfTheCorpusJustBeforeTheirAttack) {
    int hits = 0, found = 0, early = 0, detected = 0, falseOnsets = 0;
    double worstMs = 0.0;
    const auto tolerance = static_cast<int64_t>(0.005 * kRate);
    const testsupport::TempDir dir;
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        const Loop loop = MakeLoop(seed, seed % 2 == 0);
        OnsetAnalysis analysis;
        ASSERT_TRUE(AnalyseFile(dir, loop.samples, &analysis));
        const std::vector<int64_t> starts = analysis.Transients(DefaultSensitivity);
        std::vector<bool> used(starts.size(), false);
        for (const int64_t hit : loop.hits) {
            ++hits;
            for (size_t i = 0; i < starts.size(); ++i) {
                if (used[i] || std::abs(starts[i] - hit) > tolerance) continue;
                used[i] = true;
                ++found;
                if (starts[i] <= hit) ++early;
                worstMs = std::max(worstMs, 1000.0 * std::abs(starts[i] - hit) / kRate);
                break;
            }
        }
        detected += static_cast<int>(starts.size());
        falseOnsets += static_cast<int>(std::count(used.begin(), used.end(), false));
    }
    const double foundShare = 100.0 * found / hits;
    const double falseShare = 100.0 * falseOnsets / std::max(1, detected);
    std::printf(
        "onset corpus: %d hits, %.1f %% found within 5 ms (%d of them at or before the hit, "
        "worst %.2f ms), %d false of %d detected (%.1f %%)\n",
        hits, foundShare, early, worstMs, falseOnsets, detected, falseShare);
    EXPECT_GE(foundShare, 95.0);
    EXPECT_LE(falseShare, 5.0);
    EXPECT_GE(100.0 * early / hits, 90.0);
}

// A room: loud kicks and snares by turns every 250 ms, each followed by a
// reverb tail (noise decaying over 0.4 s, 20 dB under the hit) running under
// the next, every other kick by a ghost snare 13 dB down 90 ms later, all
// over a noise bed at -44 dBFS that starts with the file. The tails and the
// bed's start are no hits, at 70 hardly ever; every loud hit and most ghosts
// are found, 0 keeps none of the ghosts but a third of the loud hits or
// more (the room leaves none of them plain enough for the scale's steps
// alone); the starts lie 0 to 3 ms before their hits, a loud one's never
// after it.
TEST(Onsets, FindsTheHitsInARoomAndStartsJustBeforeThem) {
    Random random{39};
    std::vector<float> samples(static_cast<size_t>(kRate * 6), 0.0f);
    std::vector<int64_t> loud, ghosts;
    double bed = 0.0;
    for (float& s : samples) {
        bed = 0.9 * bed + 0.1 * random.Noise();
        s = static_cast<float>(0.05 * bed);
    }
    for (int64_t at = kRate / 5, n = 0; at < kRate * 11 / 2; at += kRate / 4, ++n) {
        loud.push_back(at);
        AddHit(&samples, at, n % 2 == 0 ? Drum::Kick : Drum::Snare, 0.7, &random);
        for (int64_t i = 0; i < kRate && at + i < static_cast<int64_t>(samples.size()); ++i)
            samples[static_cast<size_t>(at + i)] += static_cast<float>(
                0.07 * std::exp(-static_cast<double>(i) / (0.4 * kRate)) * random.Noise());
        if (n % 4 == 0) {
            ghosts.push_back(at + kRate * 9 / 100);
            AddHit(&samples, ghosts.back(), Drum::Snare, 0.15, &random);
        }
    }
    const testsupport::TempDir dir;
    OnsetAnalysis analysis;
    ASSERT_TRUE(AnalyseFile(dir, samples, &analysis));
    // Each hit's nearest start within 50 ms, as hit - start; how many starts
    // are nobody's nearest.
    const auto match = [&](const std::vector<int64_t>& hits, const std::vector<int64_t>& starts,
                           std::vector<int64_t>* offsets) {
        size_t found = 0;
        for (const int64_t hit : hits) {
            const auto near = std::min_element(
                starts.begin(), starts.end(),
                [&](int64_t a, int64_t b) { return std::abs(a - hit) < std::abs(b - hit); });
            if (near == starts.end() || std::abs(*near - hit) > kRate / 20) continue;
            ++found;
            if (offsets != nullptr) offsets->push_back(hit - *near);
        }
        return found;
    };
    const auto falseStarts = [&](const std::vector<int64_t>& starts) {
        return starts.size() - match(loud, starts, nullptr) - match(ghosts, starts, nullptr);
    };
    const std::vector<int64_t> starts = analysis.Transients(DefaultSensitivity);
    std::vector<int64_t> offsets;
    EXPECT_EQ(match(loud, starts, &offsets), loud.size());
    EXPECT_EQ(std::count_if(offsets.begin(), offsets.end(), [](int64_t d) { return d < 0; }), 0);
    EXPECT_GE(match(ghosts, starts, &offsets), ghosts.size() - 2);
    EXPECT_EQ(falseStarts(starts), 0u);
    EXPECT_LE(falseStarts(analysis.Transients(70)), 2u);
    const std::vector<int64_t> plainest = analysis.Transients(MinSensitivity);
    EXPECT_EQ(match(ghosts, plainest, nullptr), 0u);
    EXPECT_GE(match(loud, plainest, nullptr), loud.size() / 3);
    const auto early = std::count_if(offsets.begin(), offsets.end(),
                                     [](int64_t d) { return d >= 0 && d <= 3 * kRate / 1000; });
    EXPECT_GE(static_cast<double>(early), 0.9 * static_cast<double>(offsets.size()));
}

// A soft noise hit 22 to 24 dB under a loud ringing tone (a bell, a
// cymbal's ring) 0.3 s after each strike of it: its first milliseconds are
// under the tone on the samples and on their first difference alike, yet
// its start lies 0 to 3 ms before it, never after.
TEST(Onsets, ASoftHitUnderARingingToneStartsJustBeforeIt) {
    for (const double hz : {3000.0, 4000.0, 6000.0}) {
        for (const double level : {0.02, 0.025}) {
            Random random{7};
            std::vector<float> samples(static_cast<size_t>(kRate * 3), 0.0f);
            std::vector<int64_t> soft;
            for (int64_t strike = kRate / 10; strike < 2 * kRate; strike += kRate * 3 / 4) {
                for (int64_t i = 0; strike + i < static_cast<int64_t>(samples.size()); ++i) {
                    const double t = static_cast<double>(i) / kRate;
                    samples[static_cast<size_t>(strike + i)] +=
                        static_cast<float>(0.5 * std::sin(2 * kPi * hz * t) * std::exp(-t / 0.6));
                }
                soft.push_back(strike + kRate * 3 / 10);
                for (int64_t i = 0; i < kRate / 10; ++i) {
                    const double t = static_cast<double>(i) / kRate;
                    samples[static_cast<size_t>(soft.back() + i)] += static_cast<float>(
                        level * std::min(1.0, t / 0.0015) * std::exp(-t / 0.02) * random.Noise());
                }
            }
            const testsupport::TempDir dir;
            OnsetAnalysis analysis;
            ASSERT_TRUE(AnalyseFile(dir, samples, &analysis));
            const std::vector<int64_t> starts = analysis.Transients(DefaultSensitivity);
            for (const int64_t hit : soft) {
                const auto near = std::min_element(
                    starts.begin(), starts.end(),
                    [&](int64_t a, int64_t b) { return std::abs(a - hit) < std::abs(b - hit); });
                ASSERT_NE(near, starts.end());
                EXPECT_LE(*near, hit) << hz << " Hz, level " << level << ", hit " << hit;
                EXPECT_GE(*near, hit - 3 * kRate / 1000) << hz << " Hz, level " << level;
            }
        }
    }
}

// Four hits two seconds apart over a steady noise bed, 16-bit, at -60 to
// -30 dBFS, pink or brown (a rumble, whose low swells are 10 dB and more),
// and the bed alone: at the default sensitivity the hits and nothing of the
// bed. A faint bed alone is analysed 30 dB up, where its swells rise as
// soft hits do.
TEST(Onsets, ANoiseBedBetweenSparseHitsIsNoHit) {
    for (const bool brown : {false, true}) {
        for (const double rms : {0.001, 0.003, 0.01, 0.03}) {
            SCOPED_TRACE(testing::Message() << (brown ? "brown " : "pink ") << rms);
            Random random{7};
            std::vector<float> bed(static_cast<size_t>(kRate * 9));
            // Paul Kellet's filter on noise of variance 1: about 3 RMS; a
            // leaky sum of it: about 16 RMS.
            double b[7] = {};
            double sum = 0.0;
            for (float& s : bed) {
                const double w = random.Noise() * std::sqrt(3.0);
                if (brown) {
                    sum = 0.998 * sum + w;
                    s = static_cast<float>(rms / 16.0 * sum);
                    continue;
                }
                b[0] = 0.99886 * b[0] + w * 0.0555179;
                b[1] = 0.99332 * b[1] + w * 0.0750759;
                b[2] = 0.96900 * b[2] + w * 0.1538520;
                b[3] = 0.86650 * b[3] + w * 0.3104856;
                b[4] = 0.55000 * b[4] + w * 0.5329522;
                b[5] = -0.7616 * b[5] - w * 0.0168980;
                const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
                s = static_cast<float>(rms / 3.0 * pink);
                b[6] = w * 0.115926;
            }
            std::vector<float> hits = bed;
            const std::vector<int64_t> at = {kRate, 3 * kRate, 5 * kRate, 7 * kRate};
            const Drum drums[] = {Drum::Kick, Drum::Snare, Drum::Tom, Drum::Snare};
            for (size_t i = 0; i < at.size(); ++i) AddHit(&hits, at[i], drums[i], 0.7, &random);
            const testsupport::TempDir dir;
            OnsetAnalysis withHits, alone;
            ASSERT_TRUE(AnalyseFile(dir, hits, &withHits, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
            ASSERT_TRUE(AnalyseFile(dir, bed, &alone, SF_FORMAT_AIFF | SF_FORMAT_PCM_16));
            const std::vector<int64_t> starts = withHits.Transients(DefaultSensitivity);
            ASSERT_EQ(starts.size(), at.size());
            for (size_t i = 0; i < at.size(); ++i)
                EXPECT_NEAR(starts[i], at[i] - kRate / 1000, kRate / 500);
            EXPECT_TRUE(alone.Transients(DefaultSensitivity).empty());
        }
    }
}

// A stereo file whose channels are of opposite polarity is sliced on their
// difference (their sum is silence), a NaN and an infinite sample in it
// notwithstanding.
TEST(Onsets, OppositeChannelsAreSlicedOnTheirDifference) {
    const Loop loop = MakeLoop(3, false);
    std::vector<float> stereo;
    for (const float s : loop.samples) stereo.insert(stereo.end(), {s, -s});
    stereo[1001] = std::numeric_limits<float>::quiet_NaN();
    stereo[2000] = std::numeric_limits<float>::infinity();
    const testsupport::TempDir dir;
    const std::string path = dir.file("opposite.wav");
    ASSERT_TRUE(
        testsupport::WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, stereo));
    OnsetAnalysis stereoAnalysis, monoAnalysis;
    std::string why;
    ASSERT_TRUE(stereoAnalysis.Analyse(path.c_str(), true, &why)) << why;
    ASSERT_TRUE(AnalyseFile(dir, loop.samples, &monoAnalysis));
    // The infinite sample is a click at full scale, and may be one more.
    EXPECT_GE(stereoAnalysis.Transients(DefaultSensitivity).size(),
              monoAnalysis.Transients(DefaultSensitivity).size());
}

// A recording 24 dB quieter slices the same, at every sensitivity.
TEST(Onsets, AQuieterRecordingSlicesTheSame) {
    std::vector<float> samples = MakeLoop(5, true).samples;
    const float peak =
        std::fabs(*std::max_element(samples.begin(), samples.end(),
                                    [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
    for (float& s : samples) s *= 0.9f / peak;
    std::vector<float> quiet = samples;
    for (float& s : quiet) s /= 16.0f;
    const testsupport::TempDir dir;
    OnsetAnalysis loud, soft;
    ASSERT_TRUE(AnalyseFile(dir, samples, &loud, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(AnalyseFile(dir, quiet, &soft, SF_FORMAT_AIFF | SF_FORMAT_FLOAT));
    // Where no zero crossing is near, the quietest sample is chosen to within
    // a 16-bit step of the file, which is 16 times larger in the quiet one.
    for (const int sensitivity : {MinSensitivity, DefaultSensitivity, 80, MaxSensitivity}) {
        const std::vector<int64_t> a = soft.Transients(sensitivity);
        const std::vector<int64_t> b = loud.Transients(sensitivity);
        ASSERT_EQ(a.size(), b.size()) << sensitivity;
        for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 2) << sensitivity;
    }
}

// Plain hits on the eighths at 128 BPM, a few ms either side: soft notes on
// the sixteenths between them make the grid sixteenths, on triplets it is
// triplets; a bump 50 ms after a hit lies between the lines. Hits at free
// times have no grid.
TEST(BeatGrid, SoftNotesChooseThePartOfThePulseAndFreeTimingHasNone) {
    Random random{11};
    const double eighth = 60.0 / 128.0 / 2.0;
    const auto frame = [](double seconds) { return std::llround(seconds * kRate); };
    std::vector<int64_t> plain, sixteenths, triplets;
    for (int n = 0; n < 40; ++n) {
        const double at = 0.3 + n * eighth;
        plain.push_back(frame(at + 0.006 * random.Noise()));
        if (n % 3 == 0) sixteenths.push_back(frame(at + eighth / 2 + 0.006 * random.Noise()));
        if (n % 3 == 1) triplets.push_back(frame(at + eighth / 3 + 0.006 * random.Noise()));
    }
    // Bumps in tails at random times are doubtful too.
    for (int n = 0; n < 10; ++n) {
        sixteenths.push_back(frame(0.3 + 9.0 * random.Next()));
        triplets.push_back(sixteenths.back());
    }
    std::sort(sixteenths.begin(), sixteenths.end());
    std::sort(triplets.begin(), triplets.end());
    const int64_t frames = 11 * kRate;
    const BeatGrid onSixteenths = BeatGrid::Find(plain, sixteenths, frames, kRate);
    ASSERT_FALSE(onSixteenths.Empty());
    EXPECT_NEAR(onSixteenths.StepAt(kRate), eighth / 2, 0.0005);
    EXPECT_LT(*onSixteenths.Distance(frame(0.3 + 10.5 * eighth)), 0.008);
    EXPECT_GT(*onSixteenths.Distance(plain[10] + frame(0.05)), 0.03);
    EXPECT_NEAR(BeatGrid::Find(plain, triplets, frames, kRate).StepAt(kRate), eighth / 3, 0.0005);

    std::vector<int64_t> free;
    for (double at = 0.1; at < 10.0; at += 0.06 + 0.44 * random.Next()) free.push_back(frame(at));
    const BeatGrid none = BeatGrid::Find(free, {}, frames, kRate);
    EXPECT_TRUE(none.Empty());
    EXPECT_FALSE(none.Distance(kRate));
}

// The N strongest are the loud hits, in time order; equal divisions cover
// the whole source, by count or by tempo; slices run from one start to the
// next.
TEST(Onsets, StrongestEqualAndSlices) {
    std::vector<float> samples(static_cast<size_t>(kRate * 2), 0.0f);
    Random random{7};
    const std::vector<int64_t> at = {4410, 22050, 44100, 66150};
    const std::vector<double> peak = {0.05, 0.9, 0.05, 0.8};
    for (size_t i = 0; i < at.size(); ++i) AddHit(&samples, at[i], Drum::Snare, peak[i], &random);
    const testsupport::TempDir dir;
    OnsetAnalysis analysis;
    ASSERT_TRUE(AnalyseFile(dir, samples, &analysis));
    const std::vector<int64_t> strongest = analysis.Strongest(2);
    ASSERT_EQ(strongest.size(), 2u);
    EXPECT_NEAR(static_cast<double>(strongest[0]), 22050.0, 221.0);
    EXPECT_NEAR(static_cast<double>(strongest[1]), 66150.0, 221.0);
    // A marker put by hand 10 ms past a hit goes to the start the default
    // gives that hit, unless a marker holds it already; in silence nowhere.
    const std::vector<int64_t> found = analysis.Transients(DefaultSensitivity);
    const auto loud = std::find_if(found.begin(), found.end(),
                                   [](int64_t start) { return std::abs(start - 22050) < 221; });
    ASSERT_NE(loud, found.end());
    EXPECT_EQ(analysis.HitStartNear(22050 + 441, 882, {}), *loud);
    EXPECT_EQ(analysis.HitStartNear(22050 + 441, 882, found), std::nullopt);
    EXPECT_EQ(analysis.HitStartNear(33000, 882, {}), std::nullopt);
    // Elsewhere it goes to the nearest zero crossing: a 441 Hz tone half a
    // sample out of phase crosses between 49 and 50, 99 and 100, ...
    std::vector<float> tone(static_cast<size_t>(kRate));
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(
            0.5 * std::sin(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) / 100.0));
    OnsetAnalysis toneAnalysis;
    ASSERT_TRUE(AnalyseFile(dir, tone, &toneAnalysis));
    EXPECT_EQ(toneAnalysis.ZeroCrossingNear(1070, 30), 1050);
    EXPECT_EQ(toneAnalysis.ZeroCrossingNear(1080, 30), 1100);
    EXPECT_EQ(toneAnalysis.ZeroCrossingNear(1075, 20), 1075);  // none within reach

    EXPECT_EQ(EqualDivisions(10, 4), (std::vector<int64_t>{0, 2, 5, 7}));
    EXPECT_EQ(EqualDivisions(3, 16).size(), 3u);
    // Sixteenths at 120 quarter notes a minute are 5512.5 frames, each start
    // rounded on its own; a rest under half a note joins the last part.
    EXPECT_EQ(TempoDivisions(22050, kRate, 120.0, {1, 16}),
              (std::vector<int64_t>{0, 5513, 11025, 16538}));
    EXPECT_EQ(TempoDivisions(22050 + 2756, kRate, 120.0, {1, 16}).size(), 4u);
    EXPECT_EQ(TempoDivisions(22050 + 2757, kRate, 120.0, {1, 16}).size(), 5u);
    EXPECT_EQ(SlicesFromStarts({50, 10, 50, 200}, 100), (std::vector<Slice>{{10, 40}, {50, 50}}));
}

// The samples around each hit are those the pass saw, whether kept from it
// (a short file) or read again through a decoder that seeks (FLAC, kept
// here for no length): the starts match hit for hit. Both files are written
// from the same 16-bit values (the writer rounds floats to 16 bits one way
// for WAV and another for FLAC).
TEST(Onsets, HitsReadAgainThroughADecoderLandAsInThePass) {
    const testsupport::TempDir dir;
    const Loop loop = MakeLoop(5, true);
    std::vector<int> values;
    for (const float v : loop.samples)
        values.push_back(static_cast<int>(std::lrint(std::clamp(v, -1.0f, 1.0f) * 32767.0f)) *
                         65536);
    const auto analyse = [&](int format, OnsetAnalysis* analysis) {
        const std::string path = dir.file(std::to_string(format));
        std::string why;
        return testsupport::WriteSoundFileInt(path, format, kRate, 1, values) &&
               analysis->Analyse(path.c_str(), true, &why);
    };
    OnsetAnalysis wav, flac(0);
    ASSERT_TRUE(analyse(SF_FORMAT_WAV | SF_FORMAT_PCM_16, &wav));
    const std::vector<int64_t> starts = wav.Transients(DefaultSensitivity);
    ASSERT_TRUE(analyse(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, &flac));
    EXPECT_GT(starts.size(), 10u);
    EXPECT_EQ(flac.Transients(DefaultSensitivity), starts);
    EXPECT_EQ(flac.Strongest(5), wav.Strongest(5));
}

}  // namespace
