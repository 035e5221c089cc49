// glwtool slices and build --slice, end to end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "ToolRunner.h"

using namespace testsupport;

namespace {

constexpr size_t kFrames = 66150;  // 1.5 s
const std::vector<size_t> kHits = {11025, 30000, 52000};

// Stereo bursts of decaying noise at kHits, silence between.
Pcm Loop() { return MakeNoiseBursts(2, kFrames, kHits, 8000); }

// The same sound from frame `first`, `count` frames long.
Pcm Part(const Pcm& pcm, size_t first, size_t count) {
    Pcm part = pcm;
    part.samples.assign(pcm.samples.begin() + static_cast<ptrdiff_t>(2 * first),
                        pcm.samples.begin() + static_cast<ptrdiff_t>(2 * (first + count)));
    return part;
}

}  // namespace

// slices prints one line of five fields per hit and nothing else, each
// slice beginning at most 5 ms before its hit and running to the next; the
// rows build --slice makes are the rows of files cut exactly there.
TEST(Slices, PrintsEachHitAndBuildFillsRowsWithTheCutSlices) {
    TempDir dir;
    const Pcm loop = Loop();
    ASSERT_TRUE(WriteFile(dir.file("loop.wav"), MakeWav(loop)));
    const ToolRun r = RunGlwtool({"slices", "loop.wav"}, dir.path(), dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;

    std::istringstream lines(r.out);
    std::string line;
    std::vector<size_t> starts, lengths;
    std::vector<std::string> seconds, secondsLengths;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        size_t number = 0, start = 0, length = 0;
        std::string second, secondLength;
        fields >> number >> second >> secondLength >> start >> length;
        ASSERT_TRUE(fields && fields.eof()) << line;
        EXPECT_EQ(number, starts.size() + 1);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
        seconds.push_back(second);
        secondsLengths.push_back(secondLength);
        starts.push_back(start);
        lengths.push_back(length);
    }
    ASSERT_EQ(starts.size(), kHits.size()) << r.out;
    for (size_t i = 0; i < kHits.size(); ++i) {
        EXPECT_LE(starts[i], kHits[i]);
        EXPECT_GE(starts[i] + 221, kHits[i]);
        EXPECT_EQ(starts[i] + lengths[i], i + 1 < starts.size() ? starts[i + 1] : kFrames);
    }

    ASSERT_TRUE(WriteFile(dir.file("one.wav"), MakeWav(Part(loop, 0, 5000))));
    const ToolRun built =
        RunGlwtool({"build", "--slice", "loop.wav", "--first-row", "15", "a/S.glw", "one.wav"},
                   dir.path(), dir.path());
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_NE(built.err.find("slices 3 to 3 do not fit"), std::string::npos) << built.err;
    std::vector<std::string> cutArgs = {"build", "b/S.glw", "one.wav"};
    for (size_t i = 0; i < 2; ++i) {
        const std::string name = "cut" + std::to_string(i) + ".wav";
        ASSERT_TRUE(WriteFile(dir.file(name), MakeWav(Part(loop, starts[i], lengths[i]))));
        cutArgs.push_back(std::to_string(15 + i) + "=" + name);
    }
    ASSERT_EQ(RunGlwtool(cutArgs, dir.path(), dir.path()).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.file("a/S.glw")), ReadFile(dir.file("b/S.glw")));
    // The seconds printed, given back as --start and --length.
    std::vector<std::string> optionArgs = {"build", "c/S.glw", "one.wav"};
    for (size_t i = 0; i < 2; ++i) {
        const std::string row = std::to_string(15 + i) + "=";
        optionArgs.insert(optionArgs.end(), {"--start", row + seconds[i], "--length",
                                             row + secondsLengths[i], row + "loop.wav"});
    }
    ASSERT_EQ(RunGlwtool(optionArgs, dir.path(), dir.path()).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.file("a/S.glw")), ReadFile(dir.file("c/S.glw")));
}

// Equal parts by tempo print from the file's start on the beat; a tempo
// goes with a note length and only with equal parts.
TEST(Slices, EqualPartsByTempo) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("loop.wav"), MakeWav(Loop())));
    const ToolRun r = RunGlwtool({"slices", "--tempo", "120", "--note", "1/8", "loop.wav"},
                                 dir.path(), dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1) + 1),
              "1\t0.000\t0.250\t0\t11025\n2\t0.250\t0.250\t11025\t11025\n");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--tempo", "120"},
          {"--tempo", "120", "--note", "1/8", "--mode", "strongest"},
          {"--tempo", "120", "--note", "1/8", "--count", "4"},
          {"--tempo", "10", "--note", "1/8"},
          {"--tempo", "120", "--note", "1/0"}}) {
        std::vector<std::string> args = {"slices", "loop.wav"};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunGlwtool(args, dir.path(), dir.path()).exitCode, 2) << bad[1];
    }
}

// slices on silence says so and fails as build --slice does; of more than
// MaxSlices slices the first are listed, the last running to the next start
// as it would without the cap, with a word on standard error.
TEST(Slices, SilenceFailsAndTooManyAreCappedWithAWord) {
    TempDir dir;
    Pcm silence = Loop();
    std::fill(silence.samples.begin(), silence.samples.end(), int16_t{0});
    ASSERT_TRUE(WriteFile(dir.file("quiet.wav"), MakeWav(silence)));
    const ToolRun quiet = RunGlwtool({"slices", "quiet.wav"}, dir.path(), dir.path());
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "quiet.wav: no slices found\n");
    EXPECT_EQ(
        RunGlwtool({"build", "--slice", "quiet.wav", "S.glw"}, dir.path(), dir.path()).exitCode,
        quiet.exitCode);

    // 999 quarter notes a minute in 128ths: 82.76 frames a part, 10,657 in 20 s.
    silence.samples.assign(size_t{20} * 44100 * 2, 0);
    ASSERT_TRUE(WriteFile(dir.file("long.wav"), MakeWav(silence)));
    const ToolRun r = RunGlwtool({"slices", "--tempo", "999", "--note", "1/128", "long.wav"},
                                 dir.path(), dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10000);
    EXPECT_EQ(r.err,
              "glwtool slices: long.wav has more than 10000 slices; the first 10000 are "
              "listed\n");
    const double step = 240.0 * 44100 / (999.0 * 128);
    std::istringstream last(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1));
    std::string number, seconds, length;
    int64_t startFrame = 0, lengthFrames = 0;
    last >> number >> seconds >> length >> startFrame >> lengthFrames;
    EXPECT_EQ(number, "10000");
    EXPECT_EQ(startFrame, std::llround(9999 * step));
    EXPECT_EQ(startFrame + lengthFrames, std::llround(10000 * step));
}
