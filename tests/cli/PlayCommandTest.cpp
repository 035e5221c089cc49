// glwtool play end to end: the built program on OpenAL's null, missing and
// wave-file devices. The child gets this process's environment, which each
// test sets before it runs the program.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "FakeSoundDevice.h"
#include "SoundFileWriter.h"
#include "ToolRunner.h"
#include "WaveCapture.h"
#include "audio/AudioData.h"
#include "cli/PlayCommand.h"
#include "cli/RowChoices.h"
#include "convert/RowOptionText.h"
#include "convert/VoiceLoad.h"
#include "voicebank/BankFile.h"
#include "voicebank/VoiceBankImage.h"

using namespace testsupport;

namespace {

class GlwtoolPlay : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("ALSOFT_CONF");
        setenv("ALSOFT_DRIVERS", "null", 1);
    }
    void TearDown() override { unsetenv("ALSOFT_CONF"); }

    ToolRun Run(const std::vector<std::string>& args) { return RunGlwtool(args, scratch.path()); }
    std::string Sound(const std::string& name, int channels, uint32_t rate, size_t frames) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(WriteFile(path, MakeWav(MakeRamp(channels, 16, rate, frames))));
        return path;
    }

    // The child's sound goes to a WAV file at capturePath (WaveCapture.h).
    bool CaptureTo(const std::string& capturePath) {
        const std::string conf = dir.file("alsoft.conf");
        const std::string text = wavecapture::Config(capturePath);
        if (!WriteFile(conf, Bytes(text.begin(), text.end()))) return false;
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        setenv("ALSOFT_DRIVERS", "wave", 1);
        return true;
    }

    TempDir dir;
    TempDir scratch;
};

TEST_F(GlwtoolPlay, NoDeviceIsExitThree) {
    setenv("ALSOFT_DRIVERS", "none", 1);
    const ToolRun r = Run({"play", Sound("a.wav", 1, 44100, 441)});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "no sound device\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(GlwtoolPlay, WithoutASoundCardOnlyItsOwnWordsAppear) {
    // On a machine with a card this plays; without one, neither OpenAL's
    // nor the ALSA library's log may reach the user.
    setenv("ALSOFT_DRIVERS", "alsa", 1);
    unsetenv("ALSOFT_LOGLEVEL");
    const ToolRun r = Run({"play", Sound("a.wav", 1, 44100, 441)});
    if (r.exitCode == 3) {
        EXPECT_EQ(r.err, "no sound device\n");
    } else {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(GlwtoolPlay, LostDeviceIsExitThreeAndClaimsNoLaterFile) {
    const std::string a = Sound("a.wav", 2, 44100, 44100);
    const std::string b = Sound("b.wav", 2, 44100, 4410);
    std::ostringstream out;
    std::ostringstream err;
    // In this process: the device is unplugged at the watcher's first look
    // at the first file's sound.
    std::atomic<bool> unplugged{false};
    enginetest::SetWatcherLookHook([&](bool) {
        if (!unplugged.exchange(true)) enginetest::UnplugOpenDevices();
    });
    const int code = glwtool::RunPlay({a, b}, out, err);
    enginetest::SetWatcherLookHook({});
    EXPECT_EQ(code, 3);
    EXPECT_EQ(err.str(), "sound device lost\n");
    EXPECT_NE(out.str().find("playing " + a), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("playing " + b), std::string::npos) << out.str();
}

TEST_F(GlwtoolPlay, PlaysEveryFileAfterNamingTheDevice) {
    const std::string a = Sound("a.wav", 2, 48000, 2400);
    const std::string b = Sound("b.wav", 1, 22050, 1100);
    const ToolRun r = Run({"play", a, b});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.rfind("device: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find('\n'), std::string("device: ").size()) << "empty device name";
    const size_t atA = r.out.find("playing " + a);
    const size_t atB = r.out.find("playing " + b);
    EXPECT_NE(atA, std::string::npos);
    EXPECT_NE(atB, std::string::npos);
    EXPECT_LT(atA, atB);
}

TEST_F(GlwtoolPlay, LoadFailuresReadAsInBuild) {
    const std::string good = Sound("good.wav", 1, 44100, 441);
    const std::string garbage = dir.file("garbage.wav");
    ASSERT_TRUE(WriteFile(garbage, Bytes(100, 0x33)));
    Pcm wide = MakeRamp(2, 16, 44100, 100);
    wide.bitsPerSample = 24;
    const std::string unsupported = dir.file("wide.wav");
    ASSERT_TRUE(WriteFile(unsupported, MakeWav(wide)));
    const std::vector<std::string> bad = {garbage, dir.file("missing.wav"), unsupported};

    std::vector<std::string> playArgs = {"play", good};
    std::vector<std::string> buildArgs = {"build", dir.file("OUT.glw"), good};
    playArgs.insert(playArgs.end(), bad.begin(), bad.end());
    buildArgs.insert(buildArgs.end(), bad.begin(), bad.end());
    const ToolRun play = Run(playArgs);
    const ToolRun build = Run(buildArgs);
    EXPECT_EQ(build.exitCode, 1);
    EXPECT_EQ(play.exitCode, build.exitCode);
    EXPECT_EQ(play.err, build.err);
    EXPECT_NE(play.out.find("playing " + good), std::string::npos) << "the good file still plays";
}

TEST_F(GlwtoolPlay, WithoutFilesIsAUsageError) {
    const ToolRun r = Run({"play"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("play"), std::string::npos);
}

// play --midi knows a bank by the one rule (any letter case) and takes every
// row option play takes: each case is refused for what it is, before anything
// listens.
TEST_F(GlwtoolPlay, MidiTakesWhatPlayTakes) {
    const std::string file = Sound("a.wav", 1, 44100, 4410);
    const std::string bank = dir.file("K2.GLW");
    ASSERT_TRUE(WriteFile(bank, Bytes(16, 0)));
    ToolRun r = Run({"play", "--midi", "--loudness", "1=-16", bank});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("a bank plays as it stands: no --convert, --start, --length, "
                         "--normalize, --loudness"),
              std::string::npos)
        << r.err;
    r = Run({"play", "--midi", bank});
    EXPECT_EQ(r.exitCode, 1) << "read as a bank, a damaged one";
    EXPECT_NE(r.err.find("K2.GLW is damaged; nothing plays"), std::string::npos) << r.err;
    for (const std::string option : {"--loudness", "--length"}) {
        const std::string bad = option == "--loudness" ? "1=-41" : "1=x";
        r = Run({"play", "--midi", option, bad, file});
        EXPECT_EQ(r.exitCode, 2) << option;
        EXPECT_NE(r.err.find(option + " " + bad + ": "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << r.err;
    }
}

// What any command prints of a bank's or a sound's name cannot reach the
// terminal as a control or forge a line.
TEST_F(GlwtoolPlay, EveryCommandPrintsNamesSafely) {
    const std::string bank = dir.file("K\n\x1b]0;t\x07.glw");
    ASSERT_TRUE(WriteFile(bank, Bytes(16, 0)));
    const std::vector<std::vector<std::string>> runs = {
        {"info", bank},
        {"extract", bank, dir.file("rows")},
        {"play", "--midi", bank},
        {"slices", bank},
        {"build", "--slice", bank, dir.file("O.glw")}};
    for (const std::vector<std::string>& args : runs) {
        const ToolRun r = Run(args);
        EXPECT_NE(r.exitCode, 0) << args[0];
        EXPECT_NE(r.err.find("K\\x0A\\x1B]0;t\\x07.glw"), std::string::npos) << r.err;
        EXPECT_EQ((r.out + r.err).find_first_of("\x1b\x07"), std::string::npos) << args[0];
    }
}

TEST_F(GlwtoolPlay, TheDeviceReceivesEachSlotsSamplesInOrder) {
    const std::string capturePath = dir.file("capture.wav");
    ASSERT_TRUE(CaptureTo(capturePath));

    const std::string stereo = Sound("s.wav", 2, 48000, 12000);
    const std::string mono = Sound("m.wav", 1, 22050, 3000);
    const ToolRun r = Run({"play", stereo, mono});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    // The expected sounds come from the slot load the other commands use.
    std::vector<std::vector<wavecapture::Frame>> expected;
    for (const std::string& file : {stereo, mono}) {
        auto record = std::make_unique<AudioData>();
        ASSERT_TRUE(LoadVoice(file.c_str(), {}, false, record.get(), nullptr)) << file;
        expected.push_back(wavecapture::FramesOf(*record));
    }
    const auto capture = wavecapture::Read(capturePath);
    ASSERT_TRUE(capture.has_value());
    size_t at = 0;
    for (const auto& sound : expected) {
        at = wavecapture::FirstSound(*capture, at);
        ASSERT_EQ(wavecapture::MatchingRun(*capture, at, sound), sound.size());
        at += sound.size();
    }
    EXPECT_TRUE(wavecapture::SilentFrom(*capture, at));
}

// The same files with the same row options make the same rows through every
// command that makes rows and through the profile's texts: build's bank,
// play's sound at the device, the options stored as the profile stores them
// and read back, and build --slice against build given each slice's --start
// and --length (a level given to a slice's row stays). play --midi loads its
// files through play's own reader and options (LoadRowFile).
TEST_F(GlwtoolPlay, EveryCommandMakesTheSameRowsFromTheSameOptions) {
    const std::string a = Sound("a.wav", 1, 44100, 30000);
    const std::string b = Sound("b.wav", 2, 48000, 20000);
    // Each shape keeps the row's first frame sounding, for the capture to find it.
    const std::vector<std::string> options = {
        "--start",    "1=0.125", "--normalize", "1=-3",   "--length",   "2=0.25",
        "--loudness", "2=-20",   "--pitch",     "1=-0.5", "--reverse",  "1",
        "--end",      "2=auto",  "--snap",      "2",      "--fade-out", "2=50"};
    const auto with = [&options](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), options.begin(), options.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const std::string bankPath = dir.file("K.glw");
    ToolRun r = Run(with({"build"}, {bankPath, "1=" + a, "2=" + b}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    BankFile bank;
    std::string why;
    ASSERT_TRUE(ReadBankFile(bankPath, &bank, &why)) << why;
    ASSERT_TRUE(bank.report.valid);
    const auto& rows = bank.report.bank.image->voices;

    // The profile's texts: each option as stored (Start01=0.125) and read back.
    std::vector<glwtool::OptionValue> values;
    for (size_t i = 0; i < options.size(); i += 2) values.push_back({options[i], options[i + 1]});
    std::vector<glwtool::RowChoice> choices;
    std::ostringstream err;
    ASSERT_TRUE(glwtool::ParseRowOptions("build", values, 2, "row", &choices, err)) << err.str();
    for (size_t k = 0; k < 2; ++k) {
        VoiceOptions stored;
        for (const RowOptionText& option : RowOptionTexts()) {
            const std::string text = option.format(choices[k].options);
            if (!text.empty()) {
                EXPECT_TRUE(option.parse(text, &stored, &why)) << why;
            }
        }
        EXPECT_EQ(stored, choices[k].options) << "row " << k + 1;
        auto record = std::make_unique<AudioData>();
        ASSERT_TRUE(LoadVoice((k == 0 ? a : b).c_str(), stored, false, record.get(), nullptr));
        EXPECT_EQ(wavecapture::FramesOf(*record), wavecapture::FramesOf(rows[k])) << k + 1;
    }

    // play: the device receives the bank's rows, sample for sample.
    const std::string capturePath = dir.file("capture.wav");
    ASSERT_TRUE(CaptureTo(capturePath));
    r = Run(with({"play"}, {a, b}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto capture = wavecapture::Read(capturePath);
    ASSERT_TRUE(capture.has_value());
    size_t at = 0;
    for (size_t k = 0; k < 2; ++k) {
        const auto sound = wavecapture::FramesOf(rows[k]);
        at = wavecapture::FirstSound(*capture, at);
        ASSERT_EQ(wavecapture::MatchingRun(*capture, at, sound), sound.size()) << "row " << k + 1;
        at += sound.size();
    }

    // Slicing: the same bytes as the slices' own --start and --length.
    const std::string loop = Sound("loop.wav", 1, 44100, 44100);
    r = Run({"slices", "--mode", "equal", "--count", "2", loop});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> byHand = {"build", "--normalize", "2=-3"};
    for (std::string number, start, length, rest;
         lines >> number >> start >> length >> rest >> rest;) {
        byHand.insert(byHand.end(), {"--start", number + "=" + start, "--length",
                                     number + "=" + length, number + "=" + loop});
    }
    ASSERT_EQ(byHand.size(), 13u) << r.out;
    r = Run({"build", "--slice", loop, "--mode", "equal", "--count", "2", "--normalize", "2=-3",
             dir.file("sliced/L.glw")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    byHand.insert(byHand.begin() + 3, dir.file("byhand/L.glw"));
    r = Run(byHand);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.file("sliced/L.glw")), ReadFile(dir.file("byhand/L.glw")));
}

}  // namespace
