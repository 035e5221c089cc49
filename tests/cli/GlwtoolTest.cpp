// glwtool end to end: the built program, its exit codes, what it prints and
// the files it writes.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "ToolRunner.h"
#include "audio/AudioReader.h"
#include "convert/VoiceLoad.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class Glwtool : public ::testing::Test {
protected:
    TempDir dir;
    TempDir scratch;

    ToolRun Run(const std::vector<std::string>& args, const std::string& cwd = {}) {
        return RunGlwtool(args, scratch.path(), cwd);
    }
    std::string Put(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    bool Exists(const std::string& name) { return fs::exists(dir.file(name)); }
};

Pcm Constant(int channels, uint32_t rate, std::vector<int16_t> samples) {
    Pcm p;
    p.channels = channels;
    p.sampleRate = rate;
    p.samples = std::move(samples);
    return p;
}

// A bank image with one short mono row, told apart from others by its row.
std::unique_ptr<VoiceBankImage> BankWithRow(int row) {
    auto image = std::make_unique<VoiceBankImage>();
    EXPECT_TRUE(InitVoiceBankImage(image.get()));
    image->voices[size_t(row)] = AudioData{1, 44100, 16, 32, {}, {}};
    return image;
}

// The record a slot load makes of a file: reader, then the tail fade.
std::unique_ptr<AudioData> SlotLoad(const std::string& path) {
    auto rec = std::make_unique<AudioData>();
    VoiceLoadOutcome outcome;
    EXPECT_TRUE(LoadVoice(path.c_str(), {}, false, rec.get(), &outcome))
        << path << " code " << outcome.code;
    return rec;
}

// The 16-bit samples of an extracted row file (fmt, row mark, data), read by
// hand.
std::vector<int16_t> PlainWavSamples(const Bytes& wav) {
    std::vector<int16_t> s;
    for (size_t i = 98; i + 1 < wav.size(); i += 2)
        s.push_back(static_cast<int16_t>(wav[i] | (wav[i + 1] << 8)));
    return s;
}

size_t Count(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(Glwtool, VersionHelpAndUsageErrors) {
    ToolRun r = Run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "glwtool 1.0.0\n");

    r = Run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* c : {"build", "info", "extract"}) EXPECT_NE(r.out.find(c), std::string::npos);
    for (const char* c : {"build", "info", "extract"}) {
        r = Run({c, "--help"});
        EXPECT_EQ(r.exitCode, 0) << c;
        EXPECT_EQ(r.out.rfind(std::string("usage: glwtool ") + c, 0), 0u) << r.out;
        EXPECT_TRUE(r.err.empty());
    }

    const std::vector<std::vector<std::string>> usage = {
        {},
        {"frobnicate"},
        {"build"},
        {"build", dir.file("A.glw")},
        {"build", "--loud", dir.file("A.glw"), "x.wav"},
        {"info"},
        {"info", "a.glw", "b.glw"},
        {"extract", "a.glw"},
        {"extract", "--all", "a.glw", "d"},
    };
    for (const auto& args : usage) {
        r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(Glwtool, BuildRefusesBadNamesAndRowsWithoutWriting) {
    const std::string wav = Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 100)));
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{dir.file("SEVENTEEN-LETTERS.glw"), wav}, "at most 16"},
        {{dir.file("MY_BANK.glw"), wav}, "only ASCII letters, digits and hyphens"},
        {{dir.file("MY BANK.glw"), wav}, "only ASCII letters, digits and hyphens"},
        {{dir.file("B\xC3\x84NK.glw"), wav}, "only ASCII letters"},
        {{dir.file(".glw"), wav}, "ending in .glw"},
        {{dir.file("BANK.wav"), wav}, "ending in .glw"},
        {{dir.file("BANK.glw"), "0=" + wav}, "not between 1 and 16"},
        {{dir.file("BANK.glw"), "17=" + wav}, "not between 1 and 16"},
        {{dir.file("BANK.glw"), "3="}, "no file after"},
        {{dir.file("BANK.glw"), "3=" + wav, "3=" + wav}, "row 3 is given twice"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"build"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    std::vector<std::string> tooMany = {"build", dir.file("BANK.glw"), "1=" + wav};
    for (int i = 0; i < 16; ++i) tooMany.push_back(wav);
    const ToolRun r = Run(tooMany);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("more files than the 16 rows"), std::string::npos);
    // Nothing but the sound file was ever written.
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename(), "a.wav");
}

// build then extract gives back exactly the records slot loads make, in the
// rows asked for; info accepts the bank.
TEST_F(Glwtool, BuildExtractRoundTripAndInfo) {
    const std::string a = Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 30000)));
    const std::string b = Put("b.wav", MakeWav(MakeRamp(2, 16, 48000, 20000)));
    const std::string c = Put("c.aif", MakeAiff(MakeRamp(1, 8, 22050, 5000)));
    const std::string d = Put("d.aiff", MakeAiff(MakeRamp(2, 16, 24000, 9000)));
    WavLayout extensible;
    extensible.fmtSize = 40;
    extensible.formatTag = 0xFFFE;
    extensible.afterFmt = {Chunk{"LIST", Bytes(7, 0x20)}};
    const std::string e = Put("e.wav", MakeWav(MakeRamp(2, 16, 44100, 88200), extensible));
    const std::string bank = dir.file("MIX-1.glw");

    ToolRun r = Run({"build", bank, "3=" + c, a, "16=" + d, b, e});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_NE(r.out.find("row 01  " + a + "  mono, 44100 Hz 16-bit, 30000 frames, 680 ms\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("row 03  " + c + "  mono, 22050 Hz 8-bit, "), std::string::npos);
    EXPECT_NE(r.out.find("row 04  " + e + "  stereo, 44100 Hz 16-bit, 42768 frames, 970 ms\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("row 16  " + d + "  stereo, 24000 Hz 16-bit, "), std::string::npos);
    EXPECT_NE(
        r.out.find("wrote " + bank + " (" + std::to_string(fs::file_size(bank)) + " bytes)\n"),
        std::string::npos)
        << r.out;

    r = Run({"info", bank});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("bank \"MIX-1\""), std::string::npos);
    EXPECT_NE(r.out.find("row 02  stereo"), std::string::npos);
    EXPECT_NE(r.out.find("row 05  empty"), std::string::npos);
    EXPECT_NE(r.out.find("\nvalid\n"), std::string::npos) << r.out;

    const std::string out = dir.file("rows/extracted");  // two missing folders
    r = Run({"extract", bank, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"01", a}, {"02", b}, {"03", c}, {"04", e}, {"16", d}};
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(out)) (void)entry, ++files;
    EXPECT_EQ(files, rows.size());
    for (const auto& [row, source] : rows) {
        const std::string wav = out + "/" + row + ".wav";
        const auto want = SlotLoad(source);
        const auto got = std::make_unique<AudioData>();
        ASSERT_EQ(ReadAudioFile(wav.c_str(), got.get(), HostLittleEndian), ReadOk) << wav;
        EXPECT_EQ(fs::file_size(wav), 98u + static_cast<size_t>(want->frames * want->channels * 2));
        ASSERT_EQ(got->channels, want->channels) << row;
        ASSERT_EQ(got->frames, want->frames) << row;
        EXPECT_EQ(int32_t{got->sampleRate}, 44100);  // a copy: the field is unaligned
        for (int32_t i = 0; i < want->frames; ++i) {
            ASSERT_EQ(got->left[i], want->left[i]) << row << " frame " << i;
            ASSERT_EQ(got->right[i], want->right[i]) << row << " frame " << i;
        }
    }
}

// The bytes of a small bank, worked out by hand rather than by the builder.
TEST_F(Glwtool, BuildWritesTheExpectedBytes) {
    std::vector<int16_t> samples(16, 0x0040);
    Put("flat.wav", MakeWav(Constant(1, 44100, samples)));
    samples.back() = 0x1234;
    Put("last.wav", MakeWav(Constant(1, 44100, samples)));

    // A relative OUT in the working folder; its base name is the bank name.
    ToolRun r = Run({"build", "TEST.glw", "flat.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Bytes file = ReadFile(dir.file("TEST.glw"));
    ASSERT_EQ(file.size(), 2176u);
    const Bytes head = {0x54, 0x53, 0x36, 0x30, 0x53, 0x20, 0x4D, 0x41, 0x4C, 0x50, 0x2D, 0x45,
                        0x43, 0x56, 0x20, 0x45, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x08,
                        0x01, 0x00, 0x43, 0xD0, 0x43, 0xD0, 0x43, 0x00, 0x45, 0x54, 0x54, 0x53};
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 36), head);
    for (size_t i = 0x860; i < 0x880; i += 2) {
        EXPECT_EQ(file[i], 0x40);
        EXPECT_EQ(file[i + 1], 0x10);
    }

    r = Run({"build", "TEST.glw", "last.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Bytes second = ReadFile(dir.file("TEST.glw"));
    EXPECT_EQ(second[0x87E], 0x34);
    EXPECT_EQ(second[0x87F], 0xD2);
    // checksum32 119,033 = 0x0001D0F9, stored as its pair-exchanged halves.
    EXPECT_EQ(Bytes(second.begin() + 0x18, second.begin() + 0x1C), (Bytes{0x01, 0x00, 0xF9, 0xD0}));
}

// A stereo AIFF next to a mono WAV: 44,100 Hz and shorter than the fade, so
// the samples reach the bank unchanged and the whole sample area, the key
// records and key maps can be worked out here.
TEST_F(Glwtool, StereoLayoutMatchesTheFormatByHand) {
    const Pcm mono = MakeRamp(1, 16, 44100, 16);
    const Pcm stereo = MakeRamp(2, 16, 44100, 32);
    AiffLayout layout;
    layout.beforeComm = {Chunk{"COMT", Bytes(5, 1)}};
    layout.ssndOffset = 4;
    Put("m.wav", MakeWav(mono));
    Put("s.aif", MakeAiff(stereo, layout));
    ASSERT_EQ(Run({"build", "LAYOUT.glw", "m.wav", "3=s.aif"}, dir.path()).exitCode, 0);
    const Bytes file = ReadFile(dir.file("LAYOUT.glw"));
    ASSERT_EQ(file.size(), 2144u + 16 * 2 + 32 * 4);

    const auto encode = [](int16_t s) {
        const auto u = static_cast<uint16_t>(s);
        return static_cast<uint16_t>(u ^ ((((u >> 6) ^ u) & 0xF) << 12));
    };
    Bytes samples;  // stored little-endian: row 1, then row 3 left, then row 3 right
    const auto put = [&](int16_t s) {
        samples.push_back(static_cast<uint8_t>(encode(s)));
        samples.push_back(static_cast<uint8_t>(encode(s) >> 8));
    };
    for (int16_t s : mono.samples) put(s);
    for (size_t i = 0; i < 64; i += 2) put(stereo.samples[i]);
    for (size_t i = 1; i < 64; i += 2) put(stereo.samples[i]);
    EXPECT_EQ(Bytes(file.begin() + 0x860, file.end()), samples);

    // Key record j of element e: stored r+6 = start bits 16-23, r+8 = bits 0-7,
    // r+9 = bits 8-15; sampleEnd little-endian at r+12.
    const auto record = [](size_t element, size_t j) {
        return bank::KeyRecordOffset(element, static_cast<int>(j));
    };
    for (const auto& [element, start] : std::vector<std::pair<size_t, uint8_t>>{
             {bank::Element1Offset, 1}, {bank::Element2Offset, 3}}) {
        const size_t r = record(element, 2);
        EXPECT_EQ(file[r + 6], 0);
        EXPECT_EQ(file[r + 8], start);
        EXPECT_EQ(file[r + 12], 1);  // 32 frames: last block 1
        EXPECT_EQ(file[record(element, 0) + 8], 0);
        EXPECT_EQ(file[record(element, 0) + 12], 0);
        for (size_t n = 0; n < 128; ++n) {
            const size_t slot = (n + 4) % 16;
            const uint8_t want = slot == 0 || slot == 2 ? static_cast<uint8_t>(slot) : 255;
            EXPECT_EQ(file[(element + bank::KeyMapOffset + n) ^ 1u], want) << "note " << n;
        }
    }
    uint32_t sum = 0;
    for (size_t i = 32; i < file.size(); ++i) sum += file[i];
    EXPECT_EQ(file[0x18], static_cast<uint8_t>(sum >> 16));
    EXPECT_EQ(file[0x1A], static_cast<uint8_t>(sum));
    EXPECT_EQ(file[0x1B], static_cast<uint8_t>(sum >> 8));
}

// Rate conversion and the tail fade as they come out of extract, against
// values worked out by hand.
TEST_F(Glwtool, ExtractGivesConvertedAndFadedSamples) {
    Put("up.wav", MakeWav(Constant(1, 22050, {0, 1000, 2000, 3000})));
    Put("long.wav", MakeWav(Constant(1, 44100, std::vector<int16_t>(1000, 10000))));
    ToolRun r = Run({"build", "FADE.glw", "up.wav", "long.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"extract", "FADE.glw", "x"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const std::vector<int16_t> up = PlainWavSamples(ReadFile(dir.file("x/01.wav")));
    std::vector<int16_t> want = {0, 500, 1000, 1500, 2000, 2500};
    want.resize(16, 0);
    EXPECT_EQ(up, want);

    const std::vector<int16_t> faded = PlainWavSamples(ReadFile(dir.file("x/02.wav")));
    ASSERT_EQ(faded.size(), 1008u);  // rounded up to 16 frames; the fade starts at 126
    EXPECT_EQ(faded[126], 10000);
    // Sample k is scaled by (1007 - k) / 882 and truncated.
    EXPECT_EQ(faded[127], 9977);
    EXPECT_EQ(faded[1007 - 441], 5000);
    EXPECT_EQ(faded[999], 90);
    EXPECT_EQ(faded[1007], 0);
}

TEST_F(Glwtool, RefusedFilesAreNamedWithReasonAndCode) {
    Pcm four = MakeRamp(1, 16, 44100, 100);
    four.channels = 4;
    Pcm deep = MakeRamp(1, 16, 44100, 100);
    deep.bitsPerSample = 24;
    WavLayout junkFirst;
    junkFirst.beforeFmt = {Chunk{"JUNK", Bytes(28, 0)}};
    WavLayout cut;
    cut.dataSizeOverride = 100000;
    AiffLayout aifc;
    aifc.aifc = true;
    AiffLayout ssndFirst;
    ssndFirst.ssndBeforeComm = true;

    Put("text.wav", Bytes{'h', 'e', 'l', 'l', 'o'});
    Put("empty.wav", Bytes{});
    Put("cut.wav", MakeWav(MakeRamp(1, 16, 44100, 100), cut));
    Put("junk.wav", MakeWav(MakeRamp(1, 16, 44100, 100), junkFirst));
    Put("comp.aifc", MakeAiff(MakeRamp(1, 16, 44100, 100), aifc));
    Put("order.aif", MakeAiff(MakeRamp(1, 16, 44100, 100), ssndFirst));
    Put("quad.wav", MakeWav(four));
    Put("deep.wav", MakeWav(deep));
    Put("snare.wav", MakeWav(MakeRamp(1, 16, 32000, 100)));
    Put("three.wav", MakeWav(MakeRamp(1, 16, 22050, 3)));
    Put("half.wav",
        Bytes{'R', 'I', 'F', 'F', 37, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
              ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x44, 0xAC, 0,   0,   0x88, 0x58,
              1,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  1,    0,   0,   0,    9});
    fs::create_directory(dir.file("folder.wav"));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"text.wav",
         "text.wav: not a WAV or AIFF file (it does not begin with RIFF or FORM) (code 1)"},
        {"empty.wav",
         "empty.wav: not a WAV or AIFF file (it does not begin with RIFF or FORM) (code 1)"},
        {"folder.wav", "folder.wav: is a folder, not a file (code 1)"},
        {"gone.wav", "gone.wav: no such file (code 2)"},
        {"cut.wav",
         "cut.wav: the file ends before its chunk sizes say (cut short or damaged) (code 2)"},
        {"junk.wav",
         "junk.wav: damaged or unusual WAV file: \"RIFF\", \"WAVE\" and \"fmt \" must open the "
         "file, in that order (code 3)"},
        {"comp.aifc",
         "comp.aifc: damaged or unsupported AIFF file: it must be FORM AIFF (not compressed AIFC) "
         "with a COMM chunk before its SSND chunk (code 4)"},
        {"order.aif", "order.aif: damaged or unsupported AIFF file"},
        {"quad.wav", "quad.wav: unsupported channel count 4; use 1 (mono) or 2 (stereo) (code 5)"},
        {"deep.wav", "deep.wav: unsupported sample size 24 bits; use 8 or 16 (code 6)"},
        {"snare.wav",
         "snare.wav: unsupported sample rate 32000 Hz; use 22050, 24000, 44100 or 48000 (code 7)"},
        {"three.wav",
         "three.wav: too little sound data to convert (less than one frame, or fewer than 4 frames "
         "at a rate other than 44100 Hz) (code -1)"},
        {"half.wav", "half.wav: too little sound data to convert"},
    };
    Put("good.wav", MakeWav(MakeRamp(1, 16, 44100, 100)));
    for (const auto& [file, line] : cases) {
        const ToolRun r = Run({"build", "OUT.glw", "good.wav", file}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << file;
        EXPECT_EQ(r.err.rfind(line, 0), 0u) << r.err;
        EXPECT_EQ(Count(r.err, "\n"), 1u) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(Exists("OUT.glw")) << file;
    }

    // Every file that fails is named, one line each; nothing is written.
    const ToolRun r =
        Run({"build", "new/OUT.glw", "3=snare.wav", "good.wav", "quad.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "quad.wav: unsupported channel count 4; use 1 (mono) or 2 (stereo) (code 5)\n"
              "snare.wav: unsupported sample rate 32000 Hz; use 22050, 24000, 44100 or "
              "48000 (code 7)\n");
    EXPECT_FALSE(Exists("new"));
}

// --convert: a refused file becomes a row that says so; a file the strict
// rules take gives the same bank bytes; one neither reads keeps its code.
TEST_F(Glwtool, BuildConvertTakesRefusedFilesOnly) {
    std::vector<int> ramp;
    for (int i = 0; i < 4800; ++i) ramp.push_back(i * 65536);
    ASSERT_TRUE(
        WriteSoundFileInt(dir.file("deep.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 1, ramp));
    Put("good.wav", MakeWav(MakeRamp(2, 16, 22050, 3000)));
    Put("text.wav", Bytes{'h', 'e', 'l', 'l', 'o'});

    ToolRun r = Run({"build", "--convert", "A.glw", "deep.wav", "good.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(
        r.out.find("row 01  deep.wav  mono, 48000 Hz 24-bit, converted, 4416 frames, 100 ms\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("row 02  good.wav  stereo, 22050 Hz 16-bit, 6016 frames"),
              std::string::npos)
        << r.out;

    ASSERT_EQ(Run({"build", "b/B.glw", "good.wav"}, dir.path()).exitCode, 0);
    ASSERT_EQ(Run({"build", "--convert", "c/B.glw", "good.wav"}, dir.path()).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.file("b/B.glw")), ReadFile(dir.file("c/B.glw")));

    r = Run({"build", "--convert", "D.glw", "text.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("text.wav: not a WAV or AIFF file (it does not begin with RIFF or FORM) "
                          "(code 1); the converter cannot read it either: ",
                          0),
              0u)
        << r.err;
}

TEST_F(Glwtool, BuildMakesOneMissingFolderOnly) {
    Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 100)));
    ToolRun r = Run({"build", "card/gridlume/A.glw", "a.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("folder card does not exist"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists("card"));

    fs::create_directory(dir.file("card"));
    r = Run({"build", "card/gridlume/A.glw", "a.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Exists("card/gridlume/A.glw"));

    // A folder where the bank should go: nothing is written, the folder stays.
    fs::create_directory(dir.file("card/gridlume/B.glw"));
    r = Run({"build", "card/gridlume/B.glw", "a.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write card/gridlume/B.glw: a folder of that name is in the way"),
              std::string::npos)
        << r.err;
}

// info names the damage of a bank with one byte changed, wherever it is.
TEST_F(Glwtool, InfoNamesDamageInEveryRegion) {
    Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 2000)));
    Put("b.wav", MakeWav(MakeRamp(2, 16, 48000, 2000)));
    ASSERT_EQ(Run({"build", "GOOD.glw", "a.wav", "4=b.wav"}, dir.path()).exitCode, 0);
    const Bytes good = ReadFile(dir.file("GOOD.glw"));

    struct Case {
        size_t storedOffset;
        const char* names;
    };
    // Stored offsets: the stored file exchanges every aligned byte pair.
    const Case cases[] = {
        {0x0002, "magic is \"ST"},
        {0x0014, "bodyLength is"},
        {0x0018, "checksum32 is"},
        {(bank::Element1Offset + bank::KeyMapOffset + 60) ^ 1u,
         "element 1 key map entry for note 60 is 16, expected 0 (row 01 is filled)"},
        {(bank::KeyRecordOffset(bank::Element2Offset, 3) + bank::KeyRootKey) ^ 1u,
         "element 2 key record 3 (row 04) rootKey is 47, expected 63"},
        {(bank::KeyRecordOffset(bank::Element2Offset, 3) + bank::KeySampleStart + 2) ^ 1u,
         "element 2 key record 3 (row 04) sampleStart"},
        {0x0900, "a sample byte or the checksum itself"},
        {good.size() - 1, "a sample byte or the checksum itself"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        bad[c.storedOffset] ^= 0x10;
        Put("BAD.glw", bad);
        const ToolRun r = Run({"info", "BAD.glw"}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << c.names;
        EXPECT_NE(r.out.find("damaged: "), std::string::npos);
        EXPECT_NE(r.out.find(c.names), std::string::npos) << c.names << "\n" << r.out;
        EXPECT_NE(r.err.find("BAD.glw is damaged"), std::string::npos);
    }

    Put("short.glw", Bytes(good.begin(), good.begin() + 1000));
    ToolRun r = Run({"info", "short.glw"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("1000 bytes long"), std::string::npos);

    r = Run({"info", "none.glw"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "glwtool info: cannot read none.glw: no such file\n");
    r = Run({"info", "."}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
}

// A name the save dialog would never write is still shown, but never as
// raw control bytes on the terminal.
TEST_F(Glwtool, InfoShowsStrangeBankNamesEscaped) {
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_TRUE(InitVoiceBankImage(image.get()));
    ASSERT_TRUE(FillVoiceAddresses(image.get(), "\x1b[2J\\"));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(BuildVoiceBankFile(image.get(), &bytes));
    Put("odd.glw", bytes);
    const ToolRun r = Run({"info", "odd.glw"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("bank \"\\x1B[2J\\x5C\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

TEST_F(Glwtool, ExtractRefusesDamagedBanksUnlessForced) {
    Put("a.wav", MakeWav(MakeRamp(2, 16, 44100, 2000)));
    ASSERT_EQ(Run({"build", "B.glw", "2=a.wav"}, dir.path()).exitCode, 0);
    Bytes bad = ReadFile(dir.file("B.glw"));
    bad[0x0900] ^= 0xFF;
    Put("B.glw", bad);

    ToolRun r = Run({"extract", "B.glw", "out"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("B.glw: checksum32 is"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing extracted (--force"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists("out"));

    r = Run({"extract", "--force", "B.glw", "out"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Exists("out/02.wav"));
    EXPECT_FALSE(Exists("out/01.wav"));

    r = Run({"extract", "missing.glw", "out"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
}

// Extracted rows are marked as made: built again, even from copies in
// another folder, they give the bank byte for byte; an edited one is a new
// sound and is faded like any other file.
TEST_F(Glwtool, ExtractedRowsBuildTheSameBank) {
    Put("mono.wav", MakeWav(MakeRamp(1, 16, 44100, 30000)));
    Put("stereo.wav", MakeWav(MakeRamp(2, 16, 48000, 20000)));
    Put("short.wav", MakeWav(MakeRamp(1, 16, 44100, 16)));
    Put("long.wav", MakeWav(MakeRamp(2, 16, 44100, 100000)));
    ASSERT_EQ(Run({"build", "MIX.glw", "mono.wav", "stereo.wav", "9=short.wav", "16=long.wav"},
                  dir.path())
                  .exitCode,
              0);
    ASSERT_EQ(Run({"extract", "MIX.glw", "rows"}, dir.path()).exitCode, 0);
    fs::create_directory(dir.file("copy"));
    for (const char* row : {"01", "02", "09", "16"})
        fs::copy_file(dir.file(std::string("rows/") + row + ".wav"),
                      dir.file(std::string("copy/") + row + ".wav"));

    ToolRun r = Run({"build", "again/MIX.glw", "1=copy/01.wav", "2=copy/02.wav", "9=copy/09.wav",
                     "16=copy/16.wav"},
                    dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.file("again/MIX.glw")), ReadFile(dir.file("MIX.glw")));
    EXPECT_NE(r.out.find("row 16  copy/16.wav  stereo, 44100 Hz 16-bit, from bank MIX row 16, "
                         "42768 frames, 970 ms\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("row 09  copy/09.wav  mono, 44100 Hz 16-bit, from bank MIX row 09, 16 "
                         "frames, 0 ms\n"),
              std::string::npos)
        << r.out;

    Bytes edited = ReadFile(dir.file("copy/01.wav"));
    edited[edited.size() / 2] ^= 0x40;
    Put("copy/01.wav", edited);
    r = Run({"build", "edit/MIX.glw", "copy/01.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("from bank"), std::string::npos) << r.out;
    const std::vector<int16_t> refaded = PlainWavSamples(edited);
    ASSERT_EQ(Run({"extract", "edit/MIX.glw", "edit/rows"}, dir.path()).exitCode, 0);
    const std::vector<int16_t> twice = PlainWavSamples(ReadFile(dir.file("edit/rows/01.wav")));
    ASSERT_EQ(twice.size(), refaded.size());
    EXPECT_NE(twice[twice.size() - 2], refaded[refaded.size() - 2]);  // faded a second time
}

// --from against the same rows built from their files: named rows replaced,
// ROW= emptied, a bare file in the lowest row empty in the bank and not
// named, the others kept; the bank may be its own output.
TEST_F(Glwtool, BuildFromReplacesAndEmptiesRows) {
    Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 30000)));
    Put("b.wav", MakeWav(MakeRamp(2, 16, 22050, 9000)));
    Put("c.wav", MakeWav(MakeRamp(2, 8, 48000, 4000)));
    Put("d.aif", MakeAiff(MakeRamp(1, 16, 24000, 50000)));
    Put("e.wav", MakeWav(MakeRamp(1, 8, 44100, 700)));
    Put("f.wav", MakeWav(MakeRamp(2, 16, 44100, 64)));
    ASSERT_EQ(Run({"build", "OLD.glw", "a.wav", "b.wav", "c.wav", "6=d.aif"}, dir.path()).exitCode,
              0);
    ASSERT_EQ(Run({"build", "ref/OLD.glw", "1=a.wav", "3=e.wav", "4=f.wav", "6=d.aif"}, dir.path())
                  .exitCode,
              0);

    const ToolRun r =
        Run({"build", "--from", "OLD.glw", "OLD.glw", "2=", "3=e.wav", "f.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.file("OLD.glw")), ReadFile(dir.file("ref/OLD.glw")));
    EXPECT_EQ(r.out,
              "row 01  kept from OLD.glw  mono, 30000 frames, 680 ms\n"
              "row 02  emptied\n"
              "row 03  e.wav  mono, 44100 Hz 8-bit, 704 frames, 16 ms\n"
              "row 04  f.wav  stereo, 44100 Hz 16-bit, 64 frames, 1 ms\n"
              "row 06  kept from OLD.glw  mono, 42768 frames, 970 ms\n"
              "wrote OLD.glw (" +
                  std::to_string(fs::file_size(dir.file("OLD.glw"))) + " bytes)\n");
}

// A damaged bank is refused by name with the checker's first reason and
// nothing is written, over itself or elsewhere; an unreadable one is a
// usage error as in info.
TEST_F(Glwtool, BuildFromRefusesADamagedBank) {
    Put("a.wav", MakeWav(MakeRamp(2, 16, 44100, 5000)));
    ASSERT_EQ(Run({"build", "CUT.glw", "a.wav", "a.wav"}, dir.path()).exitCode, 0);
    const Bytes whole = ReadFile(dir.file("CUT.glw"));
    const Bytes cut(whole.begin(), whole.end() - 100);
    Put("CUT.glw", cut);

    for (const std::string out : {"NEW.glw", "CUT.glw"}) {
        const ToolRun r = Run({"build", "--from", "CUT.glw", out, "2=a.wav"}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << out;
        EXPECT_EQ(r.err.rfind("glwtool build: CUT.glw is damaged: bodyLength is ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("; nothing written\n"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(Exists("NEW.glw"));
    EXPECT_EQ(ReadFile(dir.file("CUT.glw")), cut);

    const ToolRun r = Run({"build", "--from", "none.glw", "NEW.glw"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "glwtool build: cannot read none.glw: no such file\n");
}

// A start half a second into a 44.1 kHz file gives the bank of the same
// file cut at frame 22,050.
TEST_F(Glwtool, StartGivesTheFileCutAtThatFrame) {
    const Pcm whole = MakeRamp(2, 16, 44100, 70000);
    Pcm cut = whole;
    cut.samples.erase(cut.samples.begin(), cut.samples.begin() + 2 * 22050);
    Put("whole.wav", MakeWav(whole));
    Put("cut.wav", MakeWav(cut));
    const ToolRun r = Run({"build", "--start", "1=0.5", "a/S.glw", "whole.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("row 01  whole.wav  stereo, 44100 Hz 16-bit, start 0.500 s, 42768 frames"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(Run({"build", "b/S.glw", "cut.wav"}, dir.path()).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.file("a/S.glw")), ReadFile(dir.file("b/S.glw")));
}

// Bad row options and ROW= without --from: usage errors naming what was
// wrong, nothing written, nothing played.
TEST_F(Glwtool, RowOptionUsageErrors) {
    Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 44100)));  // 1 s long
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"build", "--start", "2=1", "O.glw", "a.wav"}, "--start 2=1: row 2 has no file"},
        {{"build", "--start", "1=2", "O.glw", "a.wav"}, "--start 1=2: a.wav ends before"},
        {{"build", "--start", "1=1.2.3", "O.glw", "a.wav"}, "--start 1=1.2.3: '1.2.3' is not a"},
        {{"build", "--start", "1=-1", "O.glw", "a.wav"}, "--start 1=-1: '-1' is not a"},
        {{"build", "--start", "17=auto", "O.glw", "a.wav"}, "row 17 is not between 1 and 16"},
        {{"build", "--normalize", "1=-20.5", "O.glw", "a.wav"},
         "--normalize 1=-20.5: the level must lie between -20 and 0 dBFS"},
        {{"build", "--normalize", "1=1", "O.glw", "a.wav"}, "--normalize 1=1: the level must"},
        {{"build", "--normalize", "1=loud", "O.glw", "a.wav"}, "'loud' is not a level in dBFS"},
        {{"build", "O.glw", "a.wav", "2="}, "no file after '2=' (ROW= empties a row only with"},
        {{"build", "O.glw", "a.wav", "--from"}, "option '--from' needs a value"},
        {{"build", "--loudness", "1=-41", "O.glw", "a.wav"}, "between -40 and 0 LUFS"},
        {{"build", "--loudness", "1=-16", "--normalize", "1=-1", "O.glw", "a.wav"},
         "--normalize or --loudness, not both"},
        {{"build", "--match-loudness", "--normalize", "1=-1", "O.glw", "a.wav"},
         "--match-loudness sets every row's level; drop --normalize 1=-1"},
        {{"build", "--match-loudness=x", "O.glw", "a.wav"}, "'x' is not a loudness in LUFS"},
        {{"build", "--snap", "1=yes", "O.glw", "a.wav"}, "--snap 1=yes: give ROW"},
        {{"build", "--pitch", "1=-24.5", "O.glw", "a.wav"}, "between -24 and +24 semitones"},
        {{"build", "--fade-in", "1=501", "O.glw", "a.wav"}, "from 0 to 500"},
        {{"build", "--slice", "a.wav", "--mode", "equal", "--count", "2", "--end", "1=auto",
          "O.glw"},
         "--end 1=auto: row 1 takes slice 1"},
        {{"play", "--start", "2=0", "a.wav"}, "--start 2=0: file 2 is not between 1 and 1"},
        {{"play", "--start", "1=1.5", "a.wav"}, "--start 1=1.5: a.wav ends before"},
    };
    for (const auto& [args, says] : cases) {
        const ToolRun r = Run(args, dir.path());
        EXPECT_EQ(r.exitCode, 2) << says;
        EXPECT_NE(r.err.find("glwtool " + args[0] + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << says << "\n" << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(Exists("O.glw"));
}

// Matched rows meet at the target, and two rows cut from one file stay 10 LU
// apart, as info measures the bank.
TEST_F(Glwtool, MatchLoudnessKeepsRowsOfOneFileApart) {
    Pcm loop = Constant(1, 44100, {});
    for (int i = 0; i < 44100; ++i) {
        const double amplitude = i < 22050 ? 10000.0 : 3162.3;  // 10 dB down half way
        loop.samples.push_back(static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * 3.14159265358979 * 1000.0 * i / 44100.0))));
    }
    Put("loop.wav", MakeWav(loop));
    Put("ramp.wav", MakeWav(MakeRamp(2, 16, 44100, 30000)));
    ToolRun r = Run({"build", "--match-loudness", "-20", "--start", "2=0.5", "M.glw", "1=loop.wav",
                     "2=loop.wav", "ramp.wav"},
                    dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("rows matched to -20.0 LUFS\n"), std::string::npos) << r.out;
    r = Run({"info", "M.glw"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<double> levels;
    for (size_t at = r.out.find("loudness "); at != std::string::npos;
         at = r.out.find("loudness ", at + 1))
        levels.push_back(std::stod(r.out.substr(at + 9)));
    ASSERT_EQ(levels.size(), 3u) << r.out;
    EXPECT_NEAR(levels[0], -20.0, 0.1);
    EXPECT_NEAR(levels[1], -30.0, 0.15);
    EXPECT_NEAR(levels[2], -20.0, 0.1);
}

// What glwtool prints of a file name cannot forge a line or reach the
// terminal as a control; a tiny level reads as a decimal; a row number has
// one rule wherever it is given.
TEST_F(Glwtool, OutputIsSafeAndReadsAsGiven) {
    Put("a\nrow 09  x.wav\x1b]0;t\x07", MakeWav(MakeRamp(1, 16, 44100, 4410)));
    const ToolRun r =
        Run({"build", "--normalize", "016=-0.00001", "O.glw", "016=a\nrow 09  x.wav\x1b]0;t\x07"},
            dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("\nrow 09"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("row 16  a\\x0Arow 09  x.wav\\x1B]0;t\\x07  mono, 44100 Hz 16-bit, "
                         "normalized to -0.00001 dBFS, "),
              std::string::npos)
        << r.out;
}

// A kept copy goes back to the card byte for byte, and the bank it replaced
// is kept in its turn, listed first from then on.
TEST_F(Glwtool, RestoreWritesACopyBackAndKeepsTheBankItReplaces) {
    const std::string data = dir.file("data");
    const std::string folder = data + "/Vantor/gridlume-voice-manager/backups/KIT";
    fs::create_directories(folder);
    fs::create_directories(dir.file("card/gridlume"));
    const std::string old = folder + "/KIT-20260101-000000.glw";
    const std::string bank = dir.file("card/gridlume/KIT.glw");
    // Written under the bank's own name, as a backup copy is.
    ASSERT_TRUE(ExportImageToFile(*BankWithRow(2), dir.file("KIT.glw").c_str()));
    fs::rename(dir.file("KIT.glw"), old);
    ASSERT_TRUE(ExportImageToFile(*BankWithRow(5), bank.c_str()));
    const std::string oldBytes = Slurp(old);
    const std::string replaced = Slurp(bank);
    ASSERT_EQ(setenv("XDG_DATA_HOME", data.c_str(), 1), 0);

    ToolRun run = Run({"versions", "KIT"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string listed = "1\t";
    listed += old;
    listed += "\t2026-01-01 00:00:00 UTC\t1\t";
    listed += std::to_string(oldBytes.size());
    EXPECT_EQ(run.out, listed + '\n');
    EXPECT_EQ(Run({"restore", "KIT", "2", dir.file("card")}).exitCode, 2);
    EXPECT_EQ(Slurp(bank), replaced);

    run = Run({"restore", "KIT", "20260101-000000", dir.file("card")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Slurp(bank), oldBytes);
    run = Run({"versions", "KIT"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string newest = run.out.substr(2, run.out.find('\t', 2) - 2);
    EXPECT_NE(newest, old);
    EXPECT_EQ(Slurp(newest), replaced);
    EXPECT_NE(run.out.find(old + "\t2026-01-01"), std::string::npos);
}

// restore takes only names the save dialog would (anything else could write
// a file the instrument never shows, or print a terminal control) and only
// copies that are this bank's own regular files, never a link nor another
// bank's file put in its folder.
TEST_F(Glwtool, RestoreTakesOnlyBankNamesAndTheirOwnCopies) {
    const std::string data = dir.file("data");
    const std::string backups = data + "/Vantor/gridlume-voice-manager/backups/";
    fs::create_directories(dir.file("card/gridlume"));
    ASSERT_TRUE(ExportImageToFile(*BankWithRow(3), dir.file("card/gridlume/DRUMS.glw").c_str()));
    ASSERT_TRUE(ExportImageToFile(*BankWithRow(7), dir.file("KIT.glw").c_str()));
    const std::string drums = Slurp(dir.file("card/gridlume/DRUMS.glw"));
    ASSERT_EQ(setenv("XDG_DATA_HOME", data.c_str(), 1), 0);

    for (const std::string name :
         {"a\nb", "\x1b[31mRED", "....", "*", "DRUMS.glw", "ABCDEFGHIJKLMNOPQ"}) {
        fs::create_directories(backups + name);
        fs::copy_file(dir.file("KIT.glw"), backups + name + "/" + name + "-20260101-000000.glw");
        for (const std::string command : {"versions", "restore"}) {
            std::vector<std::string> args = {command, "--", name};
            if (command == "restore") args.push_back(dir.file("card"));
            const ToolRun run = Run(args);
            EXPECT_EQ(run.exitCode, 2) << name;
            EXPECT_NE(run.err.find("NAME is a bank's file name"), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
            EXPECT_EQ(Count(run.err, "\n"), 2u) << run.err;
        }
    }
    EXPECT_EQ(
        std::distance(fs::directory_iterator(dir.file("card/gridlume")), fs::directory_iterator()),
        1);
    // "--" lets a name begin with a hyphen, as the rule allows.
    ToolRun run = Run({"restore", "--", "-X", dir.file("card")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no copy 1 of -X"), std::string::npos) << run.err;

    // A link in DRUMS's folder to another bank is no copy of DRUMS.
    fs::create_directories(backups + "DRUMS");
    fs::create_symlink(dir.file("KIT.glw"), backups + "DRUMS/DRUMS-20260102-000000.glw");
    run = Run({"versions", "DRUMS"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Run({"restore", "DRUMS", dir.file("card")}).exitCode, 2);
    // Another bank's file copied there is shown as such and refused.
    fs::copy_file(dir.file("KIT.glw"), backups + "DRUMS/DRUMS-20260103-000000.glw");
    run = Run({"versions", "DRUMS"});
    EXPECT_NE(run.out.find("\tholds KIT\t"), std::string::npos) << run.out;
    run = Run({"restore", "DRUMS", dir.file("card")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("holds the bank KIT, not DRUMS"), std::string::npos) << run.err;
    EXPECT_EQ(Slurp(dir.file("card/gridlume/DRUMS.glw")), drums);
}

// Matching states only what it applied: identical quiet rows met at their own
// median stay as they were, silent rows are named and left, and a row that
// would need a level no option names is refused with nothing written.
TEST_F(Glwtool, MatchLoudnessAppliesWhatItSays) {
    const auto sine = [](double amplitude) {
        Pcm pcm = Constant(1, 44100, {});
        for (int i = 0; i < 44100; ++i)
            pcm.samples.push_back(static_cast<int16_t>(
                std::lround(amplitude * std::sin(2.0 * 3.14159265358979 * 1000.0 * i / 44100.0))));
        return MakeWav(pcm);
    };
    Put("quiet.wav", sine(9.24));  // about -71 LUFS
    Put("quiet2.wav", sine(9.24));
    Put("loud.wav", sine(3277.0));  // about -20 LUFS
    Put("silence.wav", MakeWav(Constant(1, 44100, std::vector<int16_t>(4410, 0))));

    ASSERT_EQ(
        Run({"build", "a/Q.glw", "quiet.wav", "quiet2.wav", "silence.wav"}, dir.path()).exitCode,
        0);
    ToolRun r =
        Run({"build", "--match-loudness", "b/Q.glw", "quiet.wav", "quiet2.wav", "silence.wav"},
            dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("no row changed to match -7"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" LUFS (the median of the rows)\nrows 01, 02 left as they are, already "
                         "at -7"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("row 03 is silent, left as it is\n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(dir.file("a/Q.glw")), ReadFile(dir.file("b/Q.glw")));

    r = Run({"build", "--match-loudness", "S.glw", "silence.wav", "silence.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("no row sounds: no loudness matched\nrows 01, 02 are silent, left as "
                         "they are\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("matched to"), std::string::npos) << r.out;

    r = Run({"build", "--match-loudness", "M.glw", "quiet.wav", "loud.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("row 01 would need -4"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("row 02 would need -4"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("outside -40 to 0 LUFS"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists("M.glw"));
}

// A folder fills rows like its sound files named in natural order; those
// past row 16 are left out with a word, but a named file that finds no row
// is still refused.
TEST_F(Glwtool, BuildFillsRowsFromAFolder) {
    fs::create_directory(dir.file("kit"));
    std::vector<std::string> named;
    for (int i = 1; i <= 18; ++i) {
        const std::string name = "kit/s" + std::to_string(i) + ".wav";
        Put(name, MakeWav(MakeRamp(1 + i % 2, 16, 44100, static_cast<size_t>(100 * i))));
        if (i <= 16) named.push_back(name);
    }
    Put("kit/notes.txt", Bytes{1});
    std::vector<std::string> args = {"build", "ref/KIT.glw"};
    args.insert(args.end(), named.begin(), named.end());
    ASSERT_EQ(Run(args, dir.path()).exitCode, 0);

    ToolRun r = Run({"build", "KIT.glw", "kit"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.file("KIT.glw")), ReadFile(dir.file("ref/KIT.glw")));
    EXPECT_EQ(r.err,
              "glwtool build: 2 sound files of kit did not fit in the 16 rows and are left out, "
              "from s17.wav on\n");

    r = Run({"build", "MORE.glw", "kit", "kit/s1.wav"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(Exists("MORE.glw"));
    fs::create_directory(dir.file("empty"));
    r = Run({"build", "NONE.glw", "empty"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no sound files in folder 'empty'"), std::string::npos) << r.err;
}

// A bank is a bank in any letter case: every command that takes one takes
// KIT.GLW, and restore replaces the card's KIT.GLW rather than writing a
// KIT.glw beside it (play --midi: GlwtoolPlay.MidiTakesWhatPlayTakes).
TEST_F(Glwtool, EveryCommandTakesABankInAnyLetterCase) {
    Put("a.wav", MakeWav(MakeRamp(1, 16, 44100, 3000)));
    Put("b.wav", MakeWav(MakeRamp(2, 16, 44100, 2000)));
    ToolRun r = Run({"build", "KIT.GLW", "a.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"build", "--from", "KIT.GLW", "KIT.GLW", "2=b.wav"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("row 01  kept from KIT.GLW"), std::string::npos) << r.out;
    r = Run({"info", "KIT.GLW"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("bank \"KIT\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("row 02  stereo"), std::string::npos) << r.out;
    r = Run({"extract", "KIT.GLW", "rows"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Exists("rows/02.wav"));

    const std::string data = dir.file("data");
    const std::string backups = data + "/Vantor/gridlume-voice-manager/backups/KIT";
    fs::create_directories(backups);
    fs::create_directories(dir.file("card/gridlume"));
    ASSERT_EQ(Run({"build", "old/KIT.glw", "b.wav"}, dir.path()).exitCode, 0);
    fs::copy_file(dir.file("old/KIT.glw"), backups + "/KIT-20260101-000000.glw");
    fs::copy_file(dir.file("KIT.GLW"), dir.file("card/gridlume/KIT.GLW"));
    ASSERT_EQ(setenv("XDG_DATA_HOME", data.c_str(), 1), 0);
    r = Run({"restore", "KIT", dir.file("card")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.file("card/gridlume/KIT.GLW")), ReadFile(dir.file("old/KIT.glw")));
    EXPECT_FALSE(Exists("card/gridlume/KIT.glw")) << "a second bank beside the first";
    r = Run({"versions", "KIT"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\n"), 2u) << "the replaced KIT.GLW is kept:\n" << r.out;
    unsetenv("XDG_DATA_HOME");
}
