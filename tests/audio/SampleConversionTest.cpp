// Decoding, rate conversion and the tail fade, on the values the
// instrument's sample format is defined by.

#include <gtest/gtest.h>

#include <vector>

#include "audio/AudioData.h"
#include "audio/SampleConversion.h"

namespace {

std::vector<int32_t> Resample(std::vector<int32_t> in, uint32_t rate) {
    std::vector<int32_t> zeros(in.size(), 0);
    std::vector<int32_t> outA, outB;
    size_t count = 0;
    EXPECT_TRUE(ResampleTo44k(in.data(), zeros.data(), in.size(), rate, outA, outB, &count));
    EXPECT_EQ(count, outA.size());
    EXPECT_EQ(outB, std::vector<int32_t>(count, 0));
    return outA;
}

std::vector<int32_t> WithZeros(std::vector<int32_t> v, size_t zeros) {
    v.insert(v.end(), zeros, 0);
    return v;
}

}  // namespace

TEST(Resample, WorkedExamples) {
    EXPECT_EQ(Resample({0, 1000, 2000, 3000}, 22050),
              WithZeros({0, 500, 1000, 1500, 2000, 2500}, 10));
    EXPECT_EQ(Resample({0, -1000, 2000, 3000}, 22050),
              WithZeros({0, -500, -1000, 500, 2000, 2500}, 10));
    EXPECT_EQ(Resample({0, 1000, 2000, 3000, 4000, 5000}, 48000),
              WithZeros({0, 1088, 2177, 3266, 4355}, 4));
    EXPECT_EQ(Resample({0, 1000, 2000, 3000, 4000, 5000}, 24000),
              WithZeros({0, 544, 1089, 1634, 2179, 2724, 3269, 3814, 4359, 4904}, 8));
}

TEST(Resample, OneSecondAdvancesExactlyTheSourceRate) {
    // Over a ramp the output is the input position: after 44,100 outputs
    // the resampler must have walked exactly `rate` input frames.
    for (uint32_t rate : {22050u, 24000u, 48000u}) {
        std::vector<int32_t> ramp(rate + 8);
        for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int32_t>(i % 30000);
        const auto out = Resample(ramp, rate);
        ASSERT_GT(out.size(), 44100u);
        // Output 44,100 starts the second run exactly on input frame `rate`.
        EXPECT_EQ(out[44100], static_cast<int32_t>(rate % 30000)) << rate;
    }
}

TEST(Resample, RefusesBadArguments) {
    std::vector<int32_t> a{1, 2, 3}, b{0, 0, 0}, outA, outB;
    size_t n = 0;
    EXPECT_FALSE(ResampleTo44k(a.data(), b.data(), 3, 22050, outA, outB, &n));
    a.push_back(4);
    b.push_back(0);
    EXPECT_FALSE(ResampleTo44k(a.data(), b.data(), 4, 0, outA, outB, &n));
    EXPECT_FALSE(ResampleTo44k(nullptr, b.data(), 4, 22050, outA, outB, &n));
    EXPECT_FALSE(ResampleTo44k(a.data(), b.data(), 4, 22050, outA, outB, nullptr));
    outA.push_back(7);  // outputs must be empty on entry
    EXPECT_FALSE(ResampleTo44k(a.data(), b.data(), 4, 22050, outA, outB, &n));
    EXPECT_EQ(outA.size(), 1u);
    EXPECT_TRUE(outB.empty());
}

TEST(Fade, WorkedExamples) {
    // 882 frames of fade after `start` 1000; frame k = frames-1-j gets j/882.
    const uint32_t frames = 1882;
    std::vector<int16_t> s(frames, 10000);
    s[frames - 1 - 441] = -10000;
    std::vector<int16_t> t(frames, 10000);
    ASSERT_TRUE(FadeOutTail(s.data(), frames, 1000));
    EXPECT_EQ(s[frames - 1], 0);
    EXPECT_EQ(s[frames - 1 - 441], -5000);
    EXPECT_EQ(s[frames - 1 - 440], 4988);
    EXPECT_EQ(s[1000], 10000);  // the start frame keeps its value
    EXPECT_EQ(s[999], 10000);

    std::vector<int16_t> loud(frames, 32767);
    loud[frames - 1 - 880] = -32768;
    ASSERT_TRUE(FadeOutTail(loud.data(), frames, 1000));
    EXPECT_EQ(loud[frames - 2], 37);
    EXPECT_EQ(loud[frames - 1 - 880], -32693);
    loud.assign(frames, 32767);
    ASSERT_TRUE(FadeOutTail(loud.data(), frames, 1000));
    EXPECT_EQ(loud[frames - 1 - 880], 32692);

    // Nothing to do, and refusals.
    ASSERT_TRUE(FadeOutTail(t.data(), frames, 0));
    ASSERT_TRUE(FadeOutTail(t.data(), frames, static_cast<int32_t>(frames) - 1));
    ASSERT_TRUE(FadeOutTail(t.data(), frames, -5));
    EXPECT_EQ(t[frames - 1], 10000);
    EXPECT_FALSE(FadeOutTail(t.data(), frames, static_cast<int32_t>(frames) + 1));
    EXPECT_FALSE(FadeOutTail(t.data(), 0, 0));
    EXPECT_FALSE(FadeOutTail(nullptr, frames, 10));
}

TEST(Fade, VoiceTailOnlyAbove882Frames) {
    auto record = std::make_unique<AudioData>();
    record->channels = 2;
    record->frames = 880;  // 882 or fewer frames stay unfaded
    for (int i = 0; i < 880; ++i) record->left[i] = record->right[i] = 1000;
    ASSERT_TRUE(FadeVoiceTail(record.get()));
    EXPECT_EQ(record->left[879], 1000);

    record->frames = 896;
    for (int i = 0; i < 896; ++i) record->left[i] = record->right[i] = 1000;
    ASSERT_TRUE(FadeVoiceTail(record.get()));
    EXPECT_EQ(record->left[895], 0);
    EXPECT_EQ(record->right[895], 0);
    EXPECT_EQ(record->left[896 - 882], 1000);
    EXPECT_EQ(record->right[896 - 881], 997);  // 880/882 of 1000, truncated

    record->frames = 0;
    EXPECT_FALSE(FadeVoiceTail(record.get()));
    record->frames = MaxVoiceFrames + 16;
    EXPECT_FALSE(FadeVoiceTail(record.get()));
    EXPECT_FALSE(FadeVoiceTail(nullptr));
}

TEST(Decode, ByteLayoutsOfBothContainers) {
    int32_t a[2] = {}, b[2] = {};
    const uint8_t wav8[] = {0xFF, 0x00};
    ASSERT_TRUE(DecodeFrames(wav8, 2, a, b, 1, 2, 8, 44100, SourceKindWave));
    EXPECT_EQ(a[0], 32512);
    EXPECT_EQ(b[0], -32768);

    const uint8_t aiff16[] = {0x80, 0x00};
    ASSERT_TRUE(DecodeFrames(aiff16, 2, a, b, 1, 1, 16, 44100, SourceKindAiff));
    EXPECT_EQ(a[0], -32768);
    EXPECT_EQ(b[0], 0);

    const uint8_t wav16[] = {0x34, 0x12, 0xFE, 0xFF, 0x01};  // trailing partial frame
    ASSERT_TRUE(DecodeFrames(wav16, 5, a, b, 2, 1, 16, 22050, SourceKindWave));
    EXPECT_EQ(a[0], 0x1234);
    EXPECT_EQ(a[1], -2);

    EXPECT_FALSE(DecodeFrames(wav16, 4, a, b, 2, 1, 24, 44100, SourceKindWave));
    EXPECT_FALSE(DecodeFrames(wav16, 4, a, b, 2, 1, 16, 32000, SourceKindWave));
    EXPECT_FALSE(DecodeFrames(wav16, 4, a, b, 2, 3, 16, 44100, SourceKindWave));
    EXPECT_FALSE(DecodeFrames(wav16, 0, a, b, 2, 1, 16, 44100, SourceKindWave));
    EXPECT_FALSE(DecodeFrames(wav16, 4, a, b, 0, 1, 16, 44100, SourceKindWave));
    EXPECT_FALSE(DecodeFrames(wav16, 4, a, nullptr, 2, 1, 16, 44100, SourceKindWave));
}

#include "ReaderTestUtil.h"

TEST(ReaderConversion, ReaderMatchesThePublicDecodeAndResampleSteps) {
    // The reader runs the conversion straight into the record; it must give
    // exactly what DecodeFrames, ResampleTo44k and the cap give.
    using namespace testsupport;
    for (int channels : {1, 2})
        for (uint32_t rate : {22050u, 24000u, 44100u, 48000u})
            for (size_t frames : {size_t{5}, size_t{777}, static_cast<size_t>(rate)}) {
                const Pcm pcm = MakeRamp(channels, 16, rate, frames);
                const auto r = ReadBytes(MakeWav(pcm));
                ASSERT_EQ(r.code, ReadOk);

                const Bytes raw = WavSampleBytes(pcm);
                std::vector<int32_t> a(frames), b(frames);
                ASSERT_EQ(DecodeFrames(raw.data(), raw.size(), a.data(), b.data(), frames, channels,
                                       16, static_cast<int>(rate), SourceKindWave),
                          1);
                size_t count = frames;
                if (rate != 44100) {
                    std::vector<int32_t> outA, outB;
                    ASSERT_TRUE(
                        ResampleTo44k(a.data(), b.data(), frames, rate, outA, outB, &count));
                    a.swap(outA);
                    b.swap(outB);
                }
                count = std::min(count, static_cast<size_t>(MaxVoiceFrames));
                ASSERT_EQ(r.record->frames, static_cast<int32_t>((count + 15) / 16 * 16));
                for (size_t i = 0; i < count; ++i) {
                    ASSERT_EQ(r.record->left[i], a[i]) << channels << " " << rate << " " << i;
                    ASSERT_EQ(r.record->right[i], b[i]) << channels << " " << rate << " " << i;
                }
            }
}
