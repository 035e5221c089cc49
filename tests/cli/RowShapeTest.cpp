// The shaping options from outside: glwtool builds a bank and its row is
// compared with what the test computes itself from the source samples.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "ToolRunner.h"
#include "audio/AudioData.h"
#include "voicebank/BankFile.h"
#include "voicebank/VoiceBankImage.h"

using namespace testsupport;

namespace {

constexpr double Pi = 3.14159265358979323846;

int32_t WholeBlocks(int64_t frames) { return static_cast<int32_t>((frames + 15) / 16 * 16); }

Pcm Sine(double hz, size_t frames, double amplitude = 16000) {
    Pcm p;
    p.samples.resize(frames);
    for (size_t i = 0; i < frames; ++i)
        p.samples[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * Pi * hz * double(i) / 44100)));
    return p;
}

// The frequency of a row's samples from..to, from its first and last rising
// zero crossings (interpolated between frames).
double Frequency(const int16_t* samples, int32_t from, int32_t to) {
    double first = -1;
    double last = -1;
    int rises = 0;
    for (int32_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = i - 1 + double(-samples[i - 1]) / (samples[i] - samples[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++rises;
        }
    }
    return rises < 2 ? 0 : (rises - 1) * 44100.0 / (last - first);
}

class RowShape : public ::testing::Test {
protected:
    TempDir dir;
    TempDir scratch;

    // Row 1 of the bank glwtool builds of pcm with options.
    AudioData Row(const Pcm& pcm, std::vector<std::string> options) {
        const std::string wav = dir.file("in.wav");
        EXPECT_TRUE(WriteFile(wav, MakeWav(pcm)));
        const std::string bank = dir.file("S.glw");
        options.insert(options.begin(), "build");
        options.insert(options.end(), {bank, "1=" + wav});
        const ToolRun r = RunGlwtool(options, scratch.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        BankFile file;
        std::string why;
        EXPECT_TRUE(ReadBankFile(bank, &file, &why)) << why;
        if (!file.report.valid || !file.report.bank.image) return AudioData{};
        return file.report.bank.image->voices[0];
    }
};

// --reverse: the part (from --start for --length) backwards, the block's
// rounding zeros at its end, then today's 20 ms fade; both channels.
TEST_F(RowShape, ReverseIsThePartReversedThenFaded) {
    const Pcm source = MakeRamp(2, 16, 44100, 44100);
    const AudioData row = Row(source, {"--start", "1=0.1", "--length", "1=0.5", "--reverse", "1"});
    const int32_t part = 22050;
    ASSERT_EQ(row.frames, WholeBlocks(part));
    for (int c = 0; c < 2; ++c) {
        const int16_t* got = c == 0 ? row.left : row.right;
        for (int32_t k = 0; k < row.frames; ++k) {
            const double s =
                k < part ? source.samples[size_t(4410 + part - 1 - k) * 2 + size_t(c)] : 0;
            // The fade's first frame keeps its value, as every row's fade has.
            const int32_t fromEnd = row.frames - 1 - k;
            const double want = fromEnd < 881 ? std::trunc(s * fromEnd / 882) : s;
            ASSERT_LE(std::abs(got[k] - want), 1) << "channel " << c << " frame " << k;
        }
    }
}

// --pitch: an octave up is twice the frequency in half the frames, an octave
// down half the frequency in twice the frames, cut at the row's limit.
TEST_F(RowShape, PitchIsVarispeed) {
    struct Case {
        const char* pitch;
        size_t sourceFrames;
        int64_t frames;  // before the block rounding
        double hz;
    };
    for (const Case& c :
         {Case{"1=+12", 11025, 5513, 440}, Case{"1=-12", 11025, 22050, 110},
          Case{"1=-12", 44100, MaxVoiceFrames, 110}, Case{"1=+12", 44100, MaxVoiceFrames / 2, 440},
          Case{"1=+7.02", 44100, 28512, 330}}) {
        SCOPED_TRACE(std::string(c.pitch) + " on " + std::to_string(c.sourceFrames));
        const AudioData row = Row(Sine(220, c.sourceFrames), {"--pitch", c.pitch});
        EXPECT_EQ(row.frames, WholeBlocks(c.frames));
        EXPECT_NEAR(Frequency(row.left, 1000, row.frames - 1000), c.hz, c.hz * 0.002);
    }
}

// --fade-in 10 ramps the first 441 frames up from silence; --fade-out 100
// ramps the last 4,410 down (the first of them keeping its value, as in
// every row's 20 ms fade); --fade-out 20 is the row every build made.
TEST_F(RowShape, FadesRampTheirFrames) {
    Pcm flat;
    flat.samples.assign(44100, 20000);
    const AudioData row = Row(flat, {"--fade-in", "1=10", "--fade-out", "1=100"});
    ASSERT_EQ(row.frames, MaxVoiceFrames);
    for (int32_t j = 0; j <= 441; ++j)
        ASSERT_LE(std::abs(row.left[j] - std::trunc(20000.0 * j / 441)), 1) << j;
    for (int32_t j = 0; j < 4409; ++j) {
        ASSERT_LE(std::abs(row.left[MaxVoiceFrames - 1 - j] - std::trunc(20000.0 * j / 4410)), 1)
            << j;
    }
    EXPECT_EQ(row.left[MaxVoiceFrames - 4410], 20000);
    EXPECT_LT(row.left[MaxVoiceFrames - 4409], 20000);

    const Pcm ramp = MakeRamp(2, 16, 44100, 30000);
    const AudioData plain = Row(ramp, {});
    EXPECT_TRUE(Row(ramp, {"--fade-out", "1=20"}) == plain);
    EXPECT_FALSE(Row(ramp, {"--fade-out", "1=21"}) == plain);
}

// --snap moves a start to the sine's zero crossing 13 frames before it (a
// 220 Hz sine crosses zero every 100.2 frames, exactly at frame 4410);
// --end auto ends 1 ms after the last frame at -40 dBFS.
TEST_F(RowShape, SnapAndEndFindTheSound) {
    const Pcm sine = Sine(220, 44100);
    const AudioData snapped = Row(sine, {"--start", "1=0.1003", "--snap", "1"});
    ASSERT_EQ(sine.samples[4410], 0);
    for (int32_t k = 0; k < 38000; ++k)  // up to its fade
        ASSERT_EQ(snapped.left[k], sine.samples[size_t(4410 + k)]) << k;

    Pcm burst = Sine(220, 8000);
    burst.samples.resize(44100, 0);
    int32_t last = 7999;
    while (std::abs(burst.samples[size_t(last)]) < 328) --last;
    const AudioData ended = Row(burst, {"--end", "1=auto"});
    EXPECT_EQ(ended.frames, WholeBlocks(last + 1 + 44));
}

}  // namespace
