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
#include "convert/VoiceLoad.h"

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

TEST_F(GlwtoolPlay, TheDeviceReceivesEachSlotsSamplesInOrder) {
    const std::string capturePath = dir.file("capture.wav");
    const std::string conf = dir.file("alsoft.conf");
    const std::string text = wavecapture::Config(capturePath);
    ASSERT_TRUE(WriteFile(conf, Bytes(text.begin(), text.end())));
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);

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

}  // namespace
