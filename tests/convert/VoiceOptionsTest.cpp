// A row's start and level: a start gives exactly the row of the file cut
// there, strict or converted; the first-sound start finds the first sample
// at -40 dBFS; normalising reaches the level exactly; a start past the end
// makes nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

struct Row {
    bool ok = false;
    VoiceLoadOutcome outcome;
    std::unique_ptr<AudioData> record = std::make_unique<AudioData>();
};

Row Load(const std::string& path, const VoiceOptions& options, bool convert = false) {
    Row r;
    std::memset(r.record.get(), 0, sizeof(AudioData));
    r.ok = LoadVoice(path.c_str(), options, convert, r.record.get(), &r.outcome);
    return r;
}

VoiceOptions StartAt(int64_t nanoseconds) {
    VoiceOptions o;
    o.start = VoiceOptions::Start::At;
    o.startNanoseconds = nanoseconds;
    return o;
}

Pcm CutAt(const Pcm& pcm, int64_t frame) {
    Pcm cut = pcm;
    cut.samples.erase(cut.samples.begin(), cut.samples.begin() + frame * pcm.channels);
    return cut;
}

bool Same(const AudioData& a, const AudioData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class VoiceOptionsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(VoiceOptionsTest, StartGivesTheRowOfTheFileCutThere) {
    struct Case {
        Pcm pcm;
        bool aiff;
        int64_t nanoseconds;
        int64_t frame;
    };
    const Case cases[] = {
        {MakeRamp(2, 16, 44100, 3 * 44100), false, 500'000'000, 22050},
        // 1.2345 s at 48 kHz is frame 59,256 (59,256.0 exactly: not rounded up).
        {MakeRamp(2, 16, 48000, 3 * 48000), true, 1'234'500'000, 59256},
        {MakeRamp(1, 8, 48000, 2 * 48000), false, 1'234'499'999, 59255},
        // Less than a second left: the row is shorter, as the cut file's is.
        {MakeRamp(1, 16, 44100, 44100), false, 700'000'000, 30870},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        const std::string whole = dir.file(c.aiff ? "whole.aiff" : "whole.wav");
        const std::string cut = dir.file(c.aiff ? "cut.aiff" : "cut.wav");
        const Pcm cutPcm = CutAt(c.pcm, c.frame);
        ASSERT_TRUE(WriteFile(whole, c.aiff ? MakeAiff(c.pcm) : MakeWav(c.pcm)));
        ASSERT_TRUE(WriteFile(cut, c.aiff ? MakeAiff(cutPcm) : MakeWav(cutPcm)));
        const Row a = Load(whole, StartAt(c.nanoseconds));
        const Row b = Load(cut, {});
        ASSERT_TRUE(a.ok) << a.outcome.code;
        ASSERT_TRUE(b.ok) << b.outcome.code;
        EXPECT_EQ(a.outcome.startFrame, c.frame);
        EXPECT_TRUE(Same(*a.record, *b.record));
        // The same through the converting road: the strict reader still reads it.
        const Row converting = Load(whole, StartAt(c.nanoseconds), true);
        ASSERT_TRUE(converting.ok);
        EXPECT_FALSE(converting.outcome.converter.converted);
        EXPECT_TRUE(Same(*converting.record, *b.record));
    }
}

TEST_F(VoiceOptionsTest, ConvertedFileStartsAtItsFrame) {
    // 24-bit FLAC at 96 kHz: seeked, then the first second from there made
    // as the first second of a file that began there.
    std::vector<float> samples;
    for (int i = 0; i < 3 * 96000; ++i) {
        const auto v = static_cast<float>(0.6 * std::sin(i * 0.0123) * std::cos(i * 0.00071));
        samples.insert(samples.end(), {v, -0.5f * v});
    }
    const int64_t frame = StartFrameAt(1'500'000'000, 96000);
    ASSERT_EQ(frame, 144000);
    const std::vector<float> cutSamples(samples.begin() + 2 * frame, samples.end());
    const std::string whole = dir.file("whole.flac");
    const std::string cut = dir.file("cut.flac");
    const int format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    ASSERT_TRUE(WriteSoundFile(whole, format, 96000, 2, samples));
    ASSERT_TRUE(WriteSoundFile(cut, format, 96000, 2, cutSamples));
    const Row a = Load(whole, StartAt(1'500'000'000), true);
    const Row b = Load(cut, {}, true);
    ASSERT_TRUE(a.ok) << a.outcome.converter.convertReason;
    ASSERT_TRUE(b.ok);
    EXPECT_TRUE(a.outcome.converter.converted);
    EXPECT_EQ(a.outcome.startFrame, frame);
    EXPECT_EQ(a.record->frames, MaxVoiceFrames);
    EXPECT_TRUE(Same(*a.record, *b.record));

    // Without conversion the file is refused as before.
    const Row strict = Load(whole, StartAt(1'500'000'000));
    EXPECT_FALSE(strict.ok);
    EXPECT_EQ(strict.outcome.code, ReadNotRecognised);
}

TEST_F(VoiceOptionsTest, StartAtOrPastTheEndMakesNothing) {
    const std::string wav = dir.file("one.wav");
    ASSERT_TRUE(WriteFile(wav, MakeWav(MakeRamp(2, 16, 44100, 44100))));
    for (const int64_t ns : {int64_t{1'000'000'000}, int64_t{60'000'000'000}}) {
        const Row r = Load(wav, StartAt(ns));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.outcome.code, ReadOk);
        EXPECT_TRUE(r.outcome.startPastEnd);
    }
    // The last frame is still a row.
    EXPECT_TRUE(Load(wav, StartAt(NanosecondsOfFrame(44099, 44100))).ok);

    const std::string flac = dir.file("one.flac");
    ASSERT_TRUE(WriteSoundFile(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 32000, 1,
                               std::vector<float>(32000, 0.25f)));
    const Row r = Load(flac, StartAt(1'000'000'000), true);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.outcome.code, ReadOk);
    EXPECT_TRUE(r.outcome.startPastEnd);
}

TEST_F(VoiceOptionsTest, FirstSoundIsOneMillisecondBeforeMinusFortyDbfs) {
    // 0.3 s of near-silence (327 stays below -40 dBFS), then 328 on the
    // right channel only, then a tone.
    Pcm pcm;
    pcm.channels = 2;
    pcm.samples.assign(2 * 44100, 0);
    pcm.samples[2 * 5000] = 327;
    pcm.samples[2 * 9000 + 1] = -327;
    const int64_t hit = 13230;
    pcm.samples[2 * hit + 1] = -328;
    for (size_t i = hit + 1; i < 44100; ++i)
        pcm.samples[2 * i] = static_cast<int16_t>(12000 * std::sin(static_cast<double>(i) * 0.05));
    const std::string path = dir.file("hit.wav");
    ASSERT_TRUE(WriteFile(path, MakeWav(pcm)));

    VoiceOptions o;
    o.start = VoiceOptions::Start::FirstSound;
    const Row r = Load(path, o);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.outcome.startFrame, hit - 44);
    EXPECT_EQ(r.record->right[44], -328);
    for (int i = 0; i < 44; ++i) EXPECT_LT(std::abs(r.record->right[i]), 328) << i;
    int64_t frame = -1;
    int rate = 0;
    ASSERT_TRUE(FindFirstSound(path.c_str(), false, &frame, &rate));
    EXPECT_EQ(frame, hit - 44);
    EXPECT_EQ(rate, 44100);

    // The same as a 24-bit file through the converter, where 0.01 of full
    // scale is 83,886.08: 83,886 stays below it, 83,887 reaches it.
    std::vector<int> deep(2 * 44100, 0);
    deep[2 * 700] = 83886 * 256;
    deep[2 * 800 + 1] = -83887 * 256;
    const std::string deepPath = dir.file("hit24.wav");
    ASSERT_TRUE(WriteSoundFileInt(deepPath, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, deep));
    const Row c = Load(deepPath, o, true);
    ASSERT_TRUE(c.ok) << c.outcome.converter.convertReason;
    EXPECT_EQ(c.outcome.startFrame, 800 - 44);
    ASSERT_TRUE(FindFirstSound(deepPath.c_str(), true, &frame, &rate));
    EXPECT_EQ(frame, 800 - 44);

    // Never before 0; a file that never reaches the level starts at 0.
    Pcm early = MakeRamp(1, 16, 44100, 2000);
    const std::string earlyPath = dir.file("early.wav");
    ASSERT_TRUE(WriteFile(earlyPath, MakeWav(early)));
    EXPECT_EQ(Load(earlyPath, o).outcome.startFrame, 0);
    Pcm quiet;
    quiet.samples.assign(3000, 300);
    const std::string quietPath = dir.file("quiet.wav");
    ASSERT_TRUE(WriteFile(quietPath, MakeWav(quiet)));
    const Row q = Load(quietPath, o);
    EXPECT_TRUE(q.ok);
    EXPECT_EQ(q.outcome.startFrame, 0);
}

TEST_F(VoiceOptionsTest, NormalizeReachesTheLevelBeforeTheFade) {
    Pcm pcm;
    pcm.channels = 2;
    pcm.samples.assign(2 * 10000, 0);
    pcm.samples[2 * 100] = 5000;
    pcm.samples[2 * 200 + 1] = -10000;  // the peak, on the right
    pcm.samples[2 * 300] = 1250;        // 3,650.5: halves go away from zero
    pcm.samples[2 * 300 + 1] = -1250;
    pcm.samples[2 * 400] = -3333;
    const std::string path = dir.file("level.wav");
    ASSERT_TRUE(WriteFile(path, MakeWav(pcm)));
    VoiceOptions o;
    o.normalize = true;
    o.normalizeDbfs = -1.0;
    const Row r = Load(path, o);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.outcome.normalized);
    EXPECT_EQ(r.record->right[200], -29204);
    EXPECT_EQ(r.record->left[100], 14602);
    EXPECT_EQ(r.record->left[300], 3651);
    EXPECT_EQ(r.record->right[300], -3651);
    EXPECT_EQ(r.record->left[400], -9734);

    // 0 dBFS on a full-scale negative peak: 32,767, not an overflow.
    pcm.samples[2 * 200 + 1] = -32768;
    ASSERT_TRUE(WriteFile(path, MakeWav(pcm)));
    o.normalizeDbfs = 0.0;
    EXPECT_EQ(Load(path, o).record->right[200], -32767);

    Pcm silent;
    silent.samples.assign(5000, 0);
    ASSERT_TRUE(WriteFile(path, MakeWav(silent)));
    const Row s = Load(path, o);
    ASSERT_TRUE(s.ok);
    for (int i = 0; i < s.record->frames; ++i) ASSERT_EQ(s.record->left[i], 0) << i;
}

}  // namespace
