// Plays slots through OpenAL's wave-file backend and finds the slots'
// samples, in order and unchanged, in what the device wrote. OpenAL reads its
// configuration once per process, so this program sets it up in main()
// before the first OpenAL call.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "EngineTestSupport.h"
#include "WaveCapture.h"
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"
#include "midi/NoteMap.h"
#include "voicebank/VoiceBankImage.h"

using namespace enginetest;
using namespace wavecapture;
using namespace std::chrono_literals;

namespace {

testsupport::TempDir* g_dir = nullptr;

std::string CapturePath() { return g_dir->file("capture.wav"); }

uintmax_t CaptureSize() {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(CapturePath(), ec);
    return ec ? 0 : size;
}

// Waits until the device has written at least ms more milliseconds of sound.
bool WaitForOutput(int ms) {
    const uintmax_t target = CaptureSize() + static_cast<uintmax_t>(ms) * 44100 * 4 / 1000;
    return WaitFor([&] { return CaptureSize() >= target; });
}

// Arms the slot with the file's row; the frames the device should play.
std::vector<Frame> ArmExpected(SoundEngine& engine, int slot, const std::string& path) {
    const std::unique_ptr<AudioData> row = ReadRow(path);
    if (row == nullptr || !engine.ArmSlotVoice(slot, *row)) return {};
    return wavecapture::FramesOf(*row);
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.Open(&listener, 16)); }

    // Closing the device completes the file.
    std::vector<Frame> CloseAndRead() {
        engine.Close();
        std::optional<std::vector<Frame>> capture = wavecapture::Read(CapturePath());
        EXPECT_TRUE(capture.has_value()) << "no readable capture file";
        return capture.value_or(std::vector<Frame>{});
    }

    testsupport::TempDir dir;
    RecordingListener listener;
    SoundEngine engine;
};

TEST_F(CaptureTest, MonoSlotReachesBothSidesUnchanged) {
    const std::vector<Frame> expected =
        ArmExpected(engine, 0, WriteRampWav(dir, "m.wav", 1, 44100, 4410));
    ASSERT_FALSE(expected.empty());
    ASSERT_TRUE(engine.PlaySlot(0));
    ASSERT_TRUE(WaitFor([&] { return !engine.IsSlotPlaying(0); }));
    ASSERT_TRUE(WaitForOutput(50));

    const std::vector<Frame> capture = CloseAndRead();
    const size_t start = FirstSound(capture);
    ASSERT_LT(start, capture.size()) << "nothing was heard";
    EXPECT_EQ(MatchingRun(capture, start, expected), expected.size());
    EXPECT_TRUE(SilentFrom(capture, start + expected.size()));
}

// A row at full scale on a 16-bit device: nothing between the engine and
// the device (the library's output limiter) may scale it.
TEST_F(CaptureTest, FullScaleRowReachesTheDeviceUnchanged) {
    const auto row = std::make_unique<AudioData>();
    row->channels = 2;
    row->frames = 4416;
    for (int32_t j = 0; j < row->frames; ++j) {
        row->left[j] = (j / 50) % 2 == 0 ? int16_t{32767} : int16_t{-32768};
        row->right[j] = static_cast<int16_t>(j * 13 % 65536 - 32768);
    }
    ASSERT_TRUE(engine.ArmSlotVoice(2, *row));
    const std::vector<Frame> expected = wavecapture::FramesOf(*row);
    ASSERT_TRUE(engine.PlaySlot(2));
    ASSERT_TRUE(WaitFor([&] { return !engine.IsSlotPlaying(2); }));
    ASSERT_TRUE(WaitForOutput(50));

    const std::vector<Frame> capture = CloseAndRead();
    const size_t start = FirstSound(capture);
    ASSERT_LT(start, capture.size()) << "nothing was heard";
    EXPECT_EQ(MatchingRun(capture, start, expected), expected.size());
}

TEST_F(CaptureTest, PlayingAgainRestartsFromTheFirstFrame) {
    const std::vector<Frame> expected =
        ArmExpected(engine, 3, WriteRampWav(dir, "s.wav", 2, 44100, 22050));
    ASSERT_FALSE(expected.empty());
    ASSERT_TRUE(engine.PlaySlot(3));
    ASSERT_TRUE(WaitForOutput(150));
    ASSERT_TRUE(engine.IsSlotPlaying(3));
    ASSERT_TRUE(engine.PlaySlot(3));
    ASSERT_TRUE(WaitFor([&] { return !engine.IsSlotPlaying(3); }));
    ASSERT_TRUE(WaitForOutput(50));

    const std::vector<Frame> capture = CloseAndRead();
    const size_t start = FirstSound(capture);
    const size_t firstRun = MatchingRun(capture, start, expected);
    ASSERT_GT(firstRun, 0u);
    ASSERT_LT(firstRun, expected.size()) << "the second play did not restart the sound";
    EXPECT_EQ(MatchingRun(capture, start + firstRun, expected), expected.size());
    EXPECT_TRUE(SilentFrom(capture, start + firstRun + expected.size()));
}

TEST_F(CaptureTest, FullVelocityPlaysTheRowUnchangedAndASoftNoteLeavesNoTrace) {
    const std::vector<Frame> expected =
        ArmExpected(engine, 5, WriteRampWav(dir, "v.wav", 2, 44100, 4410));
    ASSERT_FALSE(expected.empty());
    // Velocity 127, velocity 40, then the play button.
    for (const float gain : {midi::GainForVelocity(127), midi::GainForVelocity(40), 1.0f}) {
        ASSERT_TRUE(gain == 1.0f ? engine.PlaySlot(5) : engine.PlaySlot(5, gain));
        ASSERT_TRUE(WaitFor([&] { return !engine.IsSlotPlaying(5); }));
        ASSERT_TRUE(WaitForOutput(50));
    }

    const std::vector<Frame> capture = CloseAndRead();
    const size_t full = FirstSound(capture);
    ASSERT_LT(full, capture.size());
    EXPECT_EQ(MatchingRun(capture, full, expected), expected.size())
        << "velocity 127 did not play the row unchanged";
    const size_t soft = FirstSound(capture, full + expected.size());
    ASSERT_LT(soft, capture.size());
    EXPECT_LT(MatchingRun(capture, soft, expected), expected.size())
        << "velocity 40 was not softer";
    size_t button = soft + 1;
    while (button < capture.size() && MatchingRun(capture, button, expected) < expected.size())
        ++button;
    EXPECT_LT(button, capture.size()) << "the play button after a soft note did not play as made";
}

TEST_F(CaptureTest, ClearingWhilePlayingSilencesAtOnce) {
    const std::vector<Frame> expected =
        ArmExpected(engine, 9, WriteRampWav(dir, "s.wav", 2, 48000, 30000));
    ASSERT_FALSE(expected.empty());
    ASSERT_TRUE(engine.PlaySlot(9));
    ASSERT_TRUE(WaitForOutput(100));
    ASSERT_TRUE(engine.ClearSlot(9));
    ASSERT_TRUE(WaitForOutput(100));

    const std::vector<Frame> capture = CloseAndRead();
    const size_t start = FirstSound(capture);
    const size_t heard = MatchingRun(capture, start, expected);
    EXPECT_GT(heard, 0u);
    EXPECT_LT(heard, expected.size());
    EXPECT_TRUE(SilentFrom(capture, start + heard));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::TempDir dir;
    g_dir = &dir;
    const std::string conf = dir.file("alsoft.conf");
    const std::string text = wavecapture::Config(CapturePath());
    if (!testsupport::WriteFile(conf, testsupport::Bytes(text.begin(), text.end()))) return 1;
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
    return RUN_ALL_TESTS();
}
