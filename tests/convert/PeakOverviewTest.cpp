// The peak overview: exact bins of a small known file, mono and stereo,
// strict and converted; the sink hears of progress every 1/50 of the file
// and can stop the pass.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "convert/PeakOverview.h"

using namespace testsupport;

namespace {

struct Collected {
    bool ok = false;
    std::vector<PeakBin> bins;
    std::vector<int64_t> done;
    std::string why;
};

Collected Overview(const std::string& path, bool convert, int64_t framesPerBin) {
    Collected c;
    c.ok = ComputePeakOverview(
        path.c_str(), convert, framesPerBin,
        [&](const std::vector<PeakBin>& bins, int64_t done) {
            c.bins.insert(c.bins.end(), bins.begin(), bins.end());
            c.done.push_back(done);
            return true;
        },
        &c.why);
    return c;
}

class PeakOverviewTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(PeakOverviewTest, BinsOfKnownFiles) {
    // Mono: channel 2 repeats channel 1; the last bin covers what is left.
    Pcm mono;
    mono.sampleRate = 22050;
    mono.samples = {5, -3, 7, 0, -32768, 32767, 1, 2, -9, 4};
    const std::string monoPath = dir.file("mono.wav");
    ASSERT_TRUE(WriteFile(monoPath, MakeWav(mono)));
    SourceInfo info;
    ASSERT_TRUE(ProbeSoundFile(monoPath.c_str(), false, &info, nullptr));
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.frames, 10);
    const std::vector<PeakBin> monoBins = {
        {-3, 7, -3, 7}, {-32768, 32767, -32768, 32767}, {-9, 4, -9, 4}};
    Collected c = Overview(monoPath, false, 4);
    ASSERT_TRUE(c.ok) << c.why;
    EXPECT_EQ(c.bins, monoBins);
    EXPECT_EQ(c.done.back(), 10);

    // Stereo, as a strict AIFF and as a 16-bit FLAC through the converter:
    // the same bins.
    Pcm stereo;
    stereo.channels = 2;
    stereo.samples = {100, -100, 200, 50, -300, 0, 10, 20, 0, 0, 9, -9, 1000, -1000};
    const std::vector<PeakBin> stereoBins = {
        {-300, 200, -100, 50}, {0, 10, -9, 20}, {1000, 1000, -1000, -1000}};
    const std::string aiff = dir.file("stereo.aiff");
    ASSERT_TRUE(WriteFile(aiff, MakeAiff(stereo)));
    c = Overview(aiff, false, 3);
    ASSERT_TRUE(c.ok) << c.why;
    EXPECT_EQ(c.bins, stereoBins);

    std::vector<float> f;
    for (int16_t s : stereo.samples) f.push_back(static_cast<float>(s) / 32768.0f);
    const std::string flac = dir.file("stereo.flac");
    ASSERT_TRUE(WriteSoundFile(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, f));
    EXPECT_FALSE(Overview(flac, false, 3).ok);
    c = Overview(flac, true, 3);
    ASSERT_TRUE(c.ok) << c.why;
    EXPECT_EQ(c.bins, stereoBins);
}

TEST_F(PeakOverviewTest, ReportsEveryFiftiethAndStopsWhenAsked) {
    const std::string path = dir.file("long.wav");
    ASSERT_TRUE(WriteFile(path, MakeWav(MakeRamp(2, 16, 44100, 100000))));
    Collected c = Overview(path, false, 1000);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.bins.size(), 100u);
    ASSERT_EQ(c.done.size(), 50u);
    for (size_t i = 0; i < c.done.size(); ++i) EXPECT_EQ(c.done[i], 2000 * int64_t(i + 1));

    int calls = 0;
    EXPECT_FALSE(ComputePeakOverview(
        path.c_str(), false, 1000,
        [&](const std::vector<PeakBin>&, int64_t) { return ++calls < 3; }, nullptr));
    EXPECT_EQ(calls, 3);
}

}  // namespace
