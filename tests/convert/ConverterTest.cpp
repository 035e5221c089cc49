// The converter behind the strict reader: exact samples where no resampling
// happens, a clean resampled sine where it does, channels 1 and 2 of more,
// the strict reader's rows untouched, and its codes kept for unreadable files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "audio/AudioReader.h"
#include "convert/ConvertingReader.h"

using namespace testsupport;

namespace {

struct Loaded {
    int code = -99;
    ConvertOutcome outcome;
    std::unique_ptr<AudioData> record = std::make_unique<AudioData>();
};

Loaded Load(const std::string& path) {
    Loaded l;
    l.code = ReadAudioFileConverting(path.c_str(), l.record.get(), HostLittleEndian, &l.outcome);
    return l;
}

bool SameRecord(const AudioData& a, const AudioData& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class Converter : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(Converter, TwentyFourBitAndFloatSamplesRoundToSixteenBits) {
    // 24-bit values v give v / 256 rounded to nearest; the top clips at 32767.
    const std::string deep = dir.file("deep.wav");
    const std::vector<int> in24 = {0x123456, 0x1234C0, -0x123456, 0x7FFFFF, -0x800000, 0x81};
    std::vector<int> shifted;
    for (int v : in24) shifted.push_back(v * 256);
    ASSERT_TRUE(WriteSoundFileInt(deep, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1, shifted));
    const Loaded a = Load(deep);
    ASSERT_EQ(a.code, ReadOk) << a.outcome.convertReason;
    EXPECT_TRUE(a.outcome.converted);
    EXPECT_EQ(a.outcome.strictCode, ReadBadSampleSize);
    EXPECT_EQ(a.record->channels, 1);
    EXPECT_EQ(int32_t{a.record->sampleRate}, 44100);
    EXPECT_EQ(a.record->bitsPerSample, 24);
    EXPECT_EQ(a.record->frames, 16);
    const int16_t want24[] = {4660, 4661, -4660, 32767, -32768, 1, 0, 0};
    for (size_t i = 0; i < std::size(want24); ++i) EXPECT_EQ(a.record->left[i], want24[i]) << i;
    EXPECT_EQ(a.record->right[0], 0);

    // Float: full scale is 1.0; beyond it clips, NaN becomes silence.
    const std::string flt = dir.file("float.wav");
    const std::vector<float> inF = {0.5f, -0.25f, 1.5f, -2.0f, NAN, 0.000030517578125f};
    ASSERT_TRUE(WriteSoundFile(flt, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, inF));
    const Loaded b = Load(flt);
    ASSERT_EQ(b.code, ReadOk) << b.outcome.convertReason;
    EXPECT_EQ(b.record->channels, 2);
    EXPECT_EQ(b.record->bitsPerSample, 32);
    EXPECT_EQ(b.record->left[0], 16384);
    EXPECT_EQ(b.record->right[0], -8192);
    EXPECT_EQ(b.record->left[1], 32767);
    EXPECT_EQ(b.record->right[1], -32768);
    EXPECT_EQ(b.record->left[2], 0);
    EXPECT_EQ(b.record->right[2], 1);
}

TEST_F(Converter, SixChannelsKeepTheFirstTwo) {
    const std::string path = dir.file("six.wav");
    std::vector<int> samples;
    for (int frame = 0; frame < 40; ++frame)
        for (int ch = 0; ch < 6; ++ch) samples.push_back((ch + 1) * 1000 * 65536);
    ASSERT_TRUE(WriteSoundFileInt(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 6, samples));
    const Loaded l = Load(path);
    ASSERT_EQ(l.code, ReadOk) << l.outcome.convertReason;
    EXPECT_EQ(l.outcome.strictCode, ReadBadChannels);
    EXPECT_EQ(l.record->channels, 2);
    EXPECT_EQ(l.record->frames, 48);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(l.record->left[i], 1000) << i;
        EXPECT_EQ(l.record->right[i], 2000) << i;
    }
    EXPECT_EQ(l.record->left[40], 0);
}

// A 96 kHz 24-bit FLAC sine: the first second becomes the same sine at
// 44.1 kHz within a few steps of 16 bits, capped and rounded like every row,
// and the same file gives the same row every time.
TEST_F(Converter, ResampledFlacIsTheSameSineEveryTime) {
    const std::string path = dir.file("tone.flac");
    const double f = 1000.0;
    std::vector<float> samples;
    for (int i = 0; i < 2 * 96000; ++i) {
        const float v = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * f * i / 96000));
        samples.insert(samples.end(), {v, -v});
    }
    ASSERT_TRUE(WriteSoundFile(path, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2, samples));
    const Loaded a = Load(path);
    ASSERT_EQ(a.code, ReadOk) << a.outcome.convertReason;
    EXPECT_EQ(int32_t{a.record->sampleRate}, 96000);
    EXPECT_EQ(a.record->bitsPerSample, 24);
    EXPECT_EQ(a.record->frames, MaxVoiceFrames);
    int worst = 0;
    for (int i = 200; i < MaxVoiceFrames; ++i) {
        const double want = 16384.0 * std::sin(2 * std::numbers::pi * f * i / 44100);
        worst = std::max(worst, static_cast<int>(std::lround(std::abs(a.record->left[i] - want))));
        ASSERT_EQ(a.record->right[i], -a.record->left[i]) << i;
    }
    EXPECT_LE(worst, 2);

    const Loaded b = Load(path);
    EXPECT_TRUE(SameRecord(*a.record, *b.record));
}

TEST_F(Converter, StrictFilesGiveTheSameRecordAsTheStrictReader) {
    for (const Pcm& pcm : {MakeRamp(2, 8, 22050, 700), MakeRamp(1, 16, 48000, 50000)}) {
        const std::string path = dir.file("strict.wav");
        ASSERT_TRUE(WriteFile(path, MakeWav(pcm)));
        auto strict = std::make_unique<AudioData>();
        ASSERT_EQ(ReadAudioFile(path.c_str(), strict.get(), HostLittleEndian), ReadOk);
        const Loaded l = Load(path);
        ASSERT_EQ(l.code, ReadOk);
        EXPECT_FALSE(l.outcome.converted);
        EXPECT_TRUE(SameRecord(*strict, *l.record));
    }
}

TEST_F(Converter, UnreadableFilesKeepTheStrictCode) {
    const std::string text = dir.file("text.wav");
    ASSERT_TRUE(WriteFile(text, Bytes{'h', 'e', 'l', 'l', 'o'}));
    Loaded l = Load(text);
    EXPECT_EQ(l.code, ReadNotRecognised);
    EXPECT_FALSE(l.outcome.converted);
    EXPECT_FALSE(l.outcome.convertReason.empty());

    // A rate of 0: code 7, and the header fields its reason names survive.
    Pcm pcm = MakeRamp(1, 16, 44100, 100);
    pcm.sampleRate = 0;
    const std::string zero = dir.file("zero.wav");
    ASSERT_TRUE(WriteFile(zero, MakeWav(pcm)));
    l = Load(zero);
    EXPECT_EQ(l.code, ReadBadSampleRate);
    EXPECT_FALSE(l.outcome.convertReason.empty());
    EXPECT_EQ(l.record->channels, 1);
    EXPECT_EQ(l.record->bitsPerSample, 16);
    EXPECT_EQ(l.record->frames, 0);

    // Nothing to open: code 2, the converter is not tried.
    l = Load(dir.file("gone.wav"));
    EXPECT_EQ(l.code, ReadShort);
    EXPECT_TRUE(l.outcome.convertReason.empty());
}

}  // namespace
