// The peak overview: bins of known files (mono repeated into channel 2, the
// short last bin, the converter's rounding for deep samples), the strict
// reader's formats only without convert, and a pass that reports often and
// stops when asked.

#include "convert/PeakOverview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"

using namespace testsupport;

namespace {

struct Pass {
    bool ok = false;
    std::string why;
    std::vector<PeakBin> bins;
    std::vector<int64_t> framesDone;  // one per sink call
};

Pass Overview(const std::string& path, bool convert, int64_t framesPerBin, int stopAfter = -1) {
    Pass r;
    r.ok = ComputePeakOverview(
        path.c_str(), convert, framesPerBin,
        [&](const std::vector<PeakBin>& bins, int64_t done) {
            r.bins.insert(r.bins.end(), bins.begin(), bins.end());
            r.framesDone.push_back(done);
            return static_cast<int>(r.framesDone.size()) != stopAfter;
        },
        &r.why);
    return r;
}

void ExpectBin(const PeakBin& b, int min1, int max1, int min2, int max2) {
    EXPECT_EQ(b.min1, min1);
    EXPECT_EQ(b.max1, max1);
    EXPECT_EQ(b.min2, min2);
    EXPECT_EQ(b.max2, max2);
}

std::vector<int> Scaled16(std::vector<int> v) {
    for (int& s : v) s *= 65536;  // libsndfile's int scale
    return v;
}

class PeakOverviewTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(PeakOverviewTest, BinsOfKnownFiles) {
    const std::string mono = dir.file("mono.wav");
    ASSERT_TRUE(WriteSoundFileInt(mono, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
                                  Scaled16({5, -3, 7, 32767, -32768, 0, -9})));
    const Pass m = Overview(mono, false, 3);
    ASSERT_TRUE(m.ok) << m.why;
    ASSERT_EQ(m.bins.size(), 3u);
    ExpectBin(m.bins[0], -3, 7, -3, 7);
    ExpectBin(m.bins[1], -32768, 32767, -32768, 32767);
    ExpectBin(m.bins[2], -9, -9, -9, -9);  // the last bin covers one frame
    EXPECT_EQ(m.framesDone.back(), 7);

    const std::string stereo = dir.file("stereo.aiff");
    ASSERT_TRUE(WriteSoundFileInt(stereo, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 48000, 2,
                                  Scaled16({1, -100, 2, 200, -50, 3, 4, 4})));
    SourceInfo info;
    ASSERT_TRUE(ProbeSoundFile(stereo.c_str(), false, &info, nullptr));
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.frames, 4);
    const Pass s = Overview(stereo, false, 2);
    ASSERT_TRUE(s.ok) << s.why;
    ASSERT_EQ(s.bins.size(), 2u);
    ExpectBin(s.bins[0], 1, 2, -100, 200);
    ExpectBin(s.bins[1], -50, 4, 3, 4);

    // 24-bit samples are the strict reader's code 6: refused without
    // convert; with it they round to nearest as a converted row's do.
    const std::string deep = dir.file("deep.wav");
    ASSERT_TRUE(WriteSoundFileInt(deep, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1,
                                  {0x1234C0 * 256, -0x1234C0 * 256}));
    std::string why;
    EXPECT_FALSE(ProbeSoundFile(deep.c_str(), false, &info, &why));
    EXPECT_FALSE(why.empty());
    const Pass strict = Overview(deep, false, 10);
    EXPECT_FALSE(strict.ok);
    EXPECT_TRUE(strict.framesDone.empty());
    const Pass d = Overview(deep, true, 10);
    ASSERT_TRUE(d.ok) << d.why;
    ASSERT_EQ(d.bins.size(), 1u);
    ExpectBin(d.bins[0], -4661, 4661, -4661, 4661);
}

TEST_F(PeakOverviewTest, ReportsEachFiftiethAndStopsWhenAsked) {
    const std::string path = dir.file("long.wav");
    std::vector<int> samples(100000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int>(i % 1000) * 65536;
    ASSERT_TRUE(WriteSoundFileInt(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, samples));

    const Pass all = Overview(path, false, 100);
    ASSERT_TRUE(all.ok) << all.why;
    ASSERT_EQ(all.bins.size(), 1000u);
    ExpectBin(all.bins[999], 900, 999, 900, 999);
    // Never more than 1/50 of the file (2,000 frames) between two reports.
    ASSERT_GE(all.framesDone.size(), 50u);
    int64_t last = 0;
    for (int64_t done : all.framesDone) {
        EXPECT_LE(done - last, 2000);
        last = done;
    }
    EXPECT_EQ(last, 100000);

    const Pass stopped = Overview(path, false, 100, 3);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.framesDone.size(), 3u);
    EXPECT_EQ(stopped.bins.size(), 60u);
}

}  // namespace
