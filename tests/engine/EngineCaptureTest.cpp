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
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

testsupport::TempDir* g_dir = nullptr;

std::string CapturePath() { return g_dir->file("capture.wav"); }

struct Frame {
    int16_t left;
    int16_t right;
    bool operator==(const Frame&) const = default;
};

// The frames of the device's WAV file (16-bit stereo at 44,100 Hz).
std::optional<std::vector<Frame>> ReadCapture() {
    const testsupport::Bytes file = testsupport::ReadFile(CapturePath());
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(file[at] | file[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0) return std::nullopt;
    size_t at = 12;
    bool formatOk = false;
    while (at + 8 <= file.size()) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(&file[at], "fmt ", 4) == 0 && at + 24 <= file.size()) {
            formatOk = u16(at + 10) == 2 && u32(at + 12) == 44100 && u16(at + 22) == 16;
        }
        if (std::memcmp(&file[at], "data", 4) == 0) {
            if (!formatOk) return std::nullopt;
            std::vector<Frame> frames;
            for (size_t p = at + 8; p + 4 <= file.size(); p += 4) {
                frames.push_back({static_cast<int16_t>(u16(p)), static_cast<int16_t>(u16(p + 2))});
            }
            return frames;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

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

// What a slot must sound like: its image record, both sides of a mono one
// carrying its only channel.
std::vector<Frame> Expected(const SoundEngine& engine, int slot) {
    const AudioData& r = engine.GetImage()->slots[static_cast<size_t>(slot)];
    std::vector<Frame> frames;
    for (int32_t j = 0; j < r.frames; ++j) {
        frames.push_back({r.left[j], r.channels == 2 ? r.right[j] : r.left[j]});
    }
    return frames;
}

size_t FirstSound(const std::vector<Frame>& capture) {
    size_t p = 0;
    while (p < capture.size() && capture[p] == Frame{0, 0}) ++p;
    return p;
}

// Length of the run of expected frames found at capture[from].
size_t MatchingRun(const std::vector<Frame>& capture, size_t from,
                   const std::vector<Frame>& expected) {
    size_t k = 0;
    while (k < expected.size() && from + k < capture.size() && capture[from + k] == expected[k]) {
        ++k;
    }
    return k;
}

bool SilentFrom(const std::vector<Frame>& capture, size_t from) {
    for (size_t p = from; p < capture.size(); ++p) {
        if (!(capture[p] == Frame{0, 0})) return false;
    }
    return true;
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engine.Open(&view, 16, HostLittleEndian), 1); }

    // Closing the device completes the file.
    std::vector<Frame> CloseAndRead() {
        engine.Close();
        std::optional<std::vector<Frame>> capture = ReadCapture();
        EXPECT_TRUE(capture.has_value()) << "no readable capture file";
        return capture.value_or(std::vector<Frame>{});
    }

    testsupport::TempDir dir;
    FakePlaybackView view;
    SoundEngine engine;
};

TEST_F(CaptureTest, MonoSlotReachesBothSidesUnchanged) {
    ASSERT_EQ(engine.LoadSlot(0, WriteRampWav(dir, "m.wav", 1, 44100, 4410).c_str()), 1);
    const std::vector<Frame> expected = Expected(engine, 0);
    ASSERT_EQ(engine.PlaySlot(0), 1);
    ASSERT_TRUE(WaitFor([&] { return engine.IsSlotPlaying(0) == 0; }));
    ASSERT_TRUE(WaitForOutput(50));

    const std::vector<Frame> capture = CloseAndRead();
    const size_t start = FirstSound(capture);
    ASSERT_LT(start, capture.size()) << "nothing was heard";
    EXPECT_EQ(MatchingRun(capture, start, expected), expected.size());
    EXPECT_TRUE(SilentFrom(capture, start + expected.size()));
}

TEST_F(CaptureTest, PlayingAgainRestartsFromTheFirstFrame) {
    ASSERT_EQ(engine.LoadSlot(3, WriteRampWav(dir, "s.wav", 2, 44100, 22050).c_str()), 1);
    const std::vector<Frame> expected = Expected(engine, 3);
    ASSERT_EQ(engine.PlaySlot(3), 1);
    ASSERT_TRUE(WaitForOutput(150));
    ASSERT_EQ(engine.IsSlotPlaying(3), 1);
    ASSERT_EQ(engine.PlaySlot(3), 1);
    ASSERT_TRUE(WaitFor([&] { return engine.IsSlotPlaying(3) == 0; }));
    ASSERT_TRUE(WaitForOutput(50));

    const std::vector<Frame> capture = CloseAndRead();
    const size_t start = FirstSound(capture);
    const size_t firstRun = MatchingRun(capture, start, expected);
    ASSERT_GT(firstRun, 0u);
    ASSERT_LT(firstRun, expected.size()) << "the second play did not restart the sound";
    EXPECT_EQ(MatchingRun(capture, start + firstRun, expected), expected.size());
    EXPECT_TRUE(SilentFrom(capture, start + firstRun + expected.size()));
}

TEST_F(CaptureTest, ClearingWhilePlayingSilencesAtOnce) {
    ASSERT_EQ(engine.LoadSlot(9, WriteRampWav(dir, "s.wav", 2, 48000, 30000).c_str()), 1);
    const std::vector<Frame> expected = Expected(engine, 9);
    ASSERT_EQ(engine.PlaySlot(9), 1);
    ASSERT_TRUE(WaitForOutput(100));
    ASSERT_EQ(engine.ClearSlot(9), 1);
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
    const std::string text = "[general]\n"
                             "drivers = wave\n"
                             "channels = stereo\n"
                             "sample-type = int16\n"
                             "frequency = 44100\n"
                             "dither = false\n"
                             "output-limiter = false\n"
                             "hrtf = false\n"
                             "[wave]\n"
                             "file = " +
                             CapturePath() + "\n";
    if (!testsupport::WriteFile(conf, testsupport::Bytes(text.begin(), text.end()))) return 1;
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
    return RUN_ALL_TESTS();
}
