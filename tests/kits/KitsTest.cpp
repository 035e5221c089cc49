// Kits in and out: the SFZ and Decent Sampler parsers, the rows a kit's
// regions land on, and glwtool export, import and build --random end to end.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "ToolRunner.h"
#include "kits/KitFile.h"
#include "kits/KitImport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

Pcm Tone(int channels, size_t frames, int amplitude, int period) {
    Pcm p;
    p.channels = channels;
    for (size_t i = 0; i < frames; ++i) {
        const auto s =
            static_cast<int16_t>(amplitude * std::sin(2 * M_PI * static_cast<double>(i) / period));
        for (int c = 0; c < channels; ++c) p.samples.push_back(c == 0 ? s : int16_t(-s));
    }
    return p;
}

class Kits : public ::testing::Test {
protected:
    TempDir dir;
    TempDir scratch;

    ToolRun Run(const std::vector<std::string>& args) {
        return RunGlwtool(args, scratch.path(), dir.path());
    }
    void Put(const std::string& name, const Bytes& bytes) {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        ASSERT_TRUE(WriteFile(dir.file(name), bytes));
    }
    void PutText(const std::string& name, const std::string& text) {
        Put(name, Bytes(text.begin(), text.end()));
    }
};

TEST(KitFile, SfzResolvesDefinesDefaultPathAndInheritsOpcodes) {
    const KitContents kit = ParseSfz(
        "// by hand\n"
        "#define $DIR drums\n"
        "#define $DIRX wrong\n"
        "<control> default_path=$DIR\\\n"
        "<group> volume=-2 cutoff=300\n"
        "<region> sample=sub\\kick one.wav key=c4 volume=-6 /* inline */ offset=10 end=99\n"
        "<region> sample=hat.wav lokey=62 hikey=62 transpose=1 tune=-50 cutoff=9\n"
        "<region> sample=/abs/pad.wav lokey=40 hikey=50\n",
        "/kits");
    ASSERT_TRUE(kit.error.empty()) << kit.error;
    ASSERT_EQ(kit.regions.size(), 3u);
    const KitRegion& kick = kit.regions[0];
    EXPECT_EQ(kick.sample, "/kits/drums/sub/kick one.wav");
    EXPECT_EQ(kick.key, 60);
    EXPECT_EQ(kick.offset, 10);
    EXPECT_EQ(kick.end, 99);
    EXPECT_DOUBLE_EQ(kick.volumeDb, -6);  // the region's own volume, not the group's added
    EXPECT_DOUBLE_EQ(kick.pitchSemitones, 0);
    const KitRegion& hat = kit.regions[1];
    EXPECT_EQ(hat.sample, "/kits/drums/hat.wav");
    EXPECT_DOUBLE_EQ(hat.volumeDb, -2);
    // Key 62 played with the default key centre 60, a semitone up, 50 cents down.
    EXPECT_DOUBLE_EQ(hat.pitchSemitones, 2.5);
    EXPECT_EQ(kit.regions[2].sample, "/abs/pad.wav");
    EXPECT_EQ(kit.regions[2].key, -1);  // a range has no one key
    EXPECT_EQ(kit.uncarried, std::vector<std::string>{"cutoff"});
}

TEST(KitFile, DspresetAddsGroupLevelsAndTunings) {
    const KitContents kit = ParseDspreset(
        "<?xml version=\"1.0\"?><!-- <sample path=\"no.wav\"/> -->\n"
        "<DecentSampler><groups volume=\"-3dB\" globalTuning=\"0.5\">\n"
        "<group volume=\"0.5\" groupTuning=\"-1\">\n"
        "<sample path=\"a&amp;b\\c.wav\" rootNote=\"60\" loNote=\"62\" hiNote=\"62\" start=\"5\" "
        "end=\"80\" volume=\"-6dB\" tuning=\"0.25\" pan=\"10\"/>\n"
        "</group><group enabled=\"false\"><sample path=\"off.wav\"/></group>\n"
        "</groups></DecentSampler>",
        "k");
    ASSERT_TRUE(kit.error.empty()) << kit.error;
    ASSERT_EQ(kit.regions.size(), 1u);
    const KitRegion& r = kit.regions[0];
    EXPECT_EQ(r.sample, "k/a&b/c.wav");
    EXPECT_EQ(r.key, 62);
    EXPECT_EQ(r.offset, 5);
    EXPECT_EQ(r.end, 80);
    EXPECT_NEAR(r.volumeDb, -3 + 20 * std::log10(0.5) - 6, 1e-9);
    EXPECT_DOUBLE_EQ(r.pitchSemitones, 2 + 0.5 - 1 + 0.25);
    EXPECT_EQ(kit.uncarried, (std::vector<std::string>{"pan", "enabled"}));
}

TEST(KitImport, RegionsGoOntoRowsByKeyThenFreeRowsInFileOrder) {
    KitContents kit;
    auto add = [&](const std::string& name, int key) {
        KitRegion r;
        r.sample = "/nonexistent-kit/" + name;
        r.shown = name;
        r.key = key;
        kit.regions.push_back(r);
    };
    add("free1", -1);
    add("b61", 61);
    add("a60", 60);
    add("c76", 76);  // row 1 as well: left out
    add("d59", 59);  // row 16
    for (int i = 2; i <= 15; ++i) add("free" + std::to_string(i), -1);
    const KitImportPlan plan = PlanKitRows(kit, false);
    std::vector<std::string> rows;
    for (const KitRowPlan& row : plan.rows) rows.push_back(row.shown);
    EXPECT_EQ(rows, (std::vector<std::string>{"a60", "b61", "free1", "free2", "free3", "free4",
                                              "free5", "free6", "free7", "free8", "free9", "free10",
                                              "free11", "free12", "free13", "d59"}));
    ASSERT_EQ(plan.words.size(), 2u);
    EXPECT_EQ(plan.words[0], "c76 (key 76) is left out: row 01 plays a60 (key 60)");
    EXPECT_EQ(
        plan.words[1],
        "2 samples without a key did not fit in the 16 rows and are left out, from free14 on");
    ASSERT_EQ(plan.problems.size(), 16u);
    EXPECT_EQ(plan.problems[15], "row 16: d59: no such file");
}

TEST_F(Kits, ExportedKitsImportBackByteForByteAndNothingIsReplaced) {
    Put("a.wav", MakeWav(Tone(2, 30000, 20000, 50)));
    Put("b.wav", MakeWav(Tone(1, 70000, 12000, 80)));
    ToolRun run =
        Run({"build",   "DRUMS.glw", "--pitch", "2=+3",     "--start", "3=0.05",  "--normalize",
             "5=-6",    "--reverse", "7",       "--length", "9=0.25",  "--start", "9=1.2",
             "1=a.wav", "2=b.wav",   "3=a.wav", "5=b.wav",  "7=a.wav", "9=b.wav"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Bytes bank = ReadFile(dir.file("DRUMS.glw"));
    for (const std::string format : {"sfz", "dspreset"}) {
        run = Run({"export", "--format", format, "DRUMS.glw", "out-" + format});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string kit = "out-" + format + "/DRUMS." + format;
        run = Run({"import", kit, "back-" + format + "/DRUMS.glw"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");  // nothing of our own kit is left uncarried
        EXPECT_EQ(ReadFile(dir.file("back-" + format + "/DRUMS.glw")), bank) << format;
    }
    // The kit file gone, the rows' WAVs still there: refused before anything
    // is written, so the kit does not come back either.
    fs::remove(dir.file("out-sfz/DRUMS.sfz"));
    run = Run({"export", "DRUMS.glw", "out-sfz"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("out-sfz/DRUMS 09.wav exists"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.file("out-sfz/DRUMS.sfz")));
    EXPECT_EQ(Run({"export", "--replace", "DRUMS.glw", "out-sfz"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(dir.file("out-sfz/DRUMS.sfz")));
}

TEST_F(Kits, ImportedRowTakesOffsetEndAndVolume) {
    Put("kits/s/ramp.wav", MakeWav(Tone(1, 5000, 30000, 400)));
    PutText("kits/k.sfz",
            "<control> default_path=s/\n<region> sample=ramp.wav offset=100 "
            "end=1099 volume=-6.0205999\n");
    ToolRun run = Run({"import", "kits/k.sfz", "K.glw"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(Run({"extract", "K.glw", "ex"}).exitCode, 0);
    const Bytes wav = ReadFile(dir.file("ex/01.wav"));
    const Pcm source = Tone(1, 5000, 30000, 400);
    // Frames 100 ... 1099 at half their level, rounded up to 1008 frames.
    const size_t data = wav.size() - 1008 * 2;
    auto sample = [&](size_t i) {
        return static_cast<int16_t>(wav[data + 2 * i] | (wav[data + 2 * i + 1] << 8));
    };
    for (const size_t i : {0u, 1u, 57u, 300u}) {
        const double half = source.samples[100 + i] / 2.0;
        EXPECT_NEAR(sample(i), half, 1.0) << i;
    }
    EXPECT_EQ(sample(1000), 0);
}

TEST_F(Kits, MissingOrFifoSampleIsNamedWithItsRowAndNothingIsWritten) {
    Put("ok.wav", MakeWav(Tone(1, 3000, 9000, 60)));
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    PutText("k.dspreset",
            "<DecentSampler><groups><group>"
            "<sample path=\"ok.wav\" loNote=\"60\" hiNote=\"60\"/>"
            "<sample path=\"gone.wav\" loNote=\"62\" hiNote=\"62\"/>"
            "<sample path=\"pipe.wav\" loNote=\"63\" hiNote=\"63\"/>"
            "</group></groups></DecentSampler>");
    ToolRun run = Run({"import", "k.dspreset", "OUT.glw"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("row 03: gone.wav: no such file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("row 04: pipe.wav: not a regular file"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.file("OUT.glw")));
    // A kit that is itself a pipe is never opened for reading.
    ASSERT_EQ(::mkfifo(dir.file("pipe.sfz").c_str(), 0600), 0);
    run = Run({"import", "pipe.sfz", "OUT.glw"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
}

TEST_F(Kits, RandomRowsFollowTheSeedAndNeverRepeatAFile) {
    for (int i = 0; i < 24; ++i)
        Put((i % 3 == 0 ? "pool/sub/s" : "pool/s") + std::to_string(i) + ".wav",
            MakeWav(Tone(1, 1600 + 16 * static_cast<size_t>(i), 8000, 20 + i)));
    Put("pool/.hidden/h.wav", MakeWav(Tone(1, 1600, 8000, 20)));
    ASSERT_EQ(::mkfifo(dir.file("pool/fifo.wav").c_str(), 0600), 0);
    auto roll = [&](const std::string& out, const std::string& seed) {
        ToolRun run = Run({"build", out, "--random", "pool", "--seed", seed, "2=pool/s1.wav"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run.out;
    };
    const std::string first = roll("a/R.glw", "1");
    roll("b/R.glw", "1");
    roll("c/R.glw", "2");
    EXPECT_EQ(ReadFile(dir.file("a/R.glw")), ReadFile(dir.file("b/R.glw")));
    EXPECT_NE(ReadFile(dir.file("a/R.glw")), ReadFile(dir.file("c/R.glw")));
    std::istringstream lines(first);
    std::set<std::string> files;
    int rows = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("row ", 0) != 0) continue;
        ++rows;
        const std::string file = line.substr(8, line.find("  ", 8) - 8);
        EXPECT_EQ(file.rfind("pool/", 0), 0u) << line;
        EXPECT_EQ(file.find(".hidden"), std::string::npos) << line;
        EXPECT_TRUE(files.insert(file).second) << "drawn twice: " << line;
    }
    EXPECT_EQ(rows, 16);
    EXPECT_NE(first.find("15 rows drawn from pool with --seed 1"), std::string::npos) << first;
}

}  // namespace
