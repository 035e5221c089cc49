// The rows as the MIDI input's JACK client renders them: each note from its
// own frame of the cycle, rows swapped in by another thread while cycles
// run (under ThreadSanitizer in the test command), and a stroke there
// reported stopped once it has played out.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/DeviceBuffer.h"
#include "engine/RowSampler.h"

namespace {

constexpr uint32_t Period = 256;
constexpr float Scale = 1.0f / 32768.0f;

// Interleaved stereo: frame i is i + 1 on the left and -(i + 1) on the right.
std::vector<int16_t> Ramp(uint32_t frames) {
    std::vector<int16_t> stereo(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        stereo[2 * i] = static_cast<int16_t>(i + 1);
        stereo[2 * i + 1] = static_cast<int16_t>(-static_cast<int>(i) - 1);
    }
    return stereo;
}

struct Cycle {
    std::vector<float> left = std::vector<float>(Period);
    std::vector<float> right = std::vector<float>(Period);
};

Cycle Render(RowSampler& rows, std::vector<midi::TimedStrike> strikes = {}) {
    Cycle cycle;
    rows.Render(strikes.data(), strikes.size(), cycle.left.data(), cycle.right.data(), Period);
    return cycle;
}

TEST(JackRows, EachNoteStartsAtItsOwnFrameAndRestartsItsRowThere) {
    RowSampler rows;
    const std::vector<int16_t> ramp = Ramp(300);
    ASSERT_TRUE(rows.SetRow(0, ramp.data(), 300));
    ASSERT_TRUE(rows.SetRow(5, ramp.data(), 10));
    rows.Attach();

    // Row 1 at frame 100, again at 200 at half level (one voice per row),
    // row 6 at the cycle's last frame.
    const Cycle first = Render(rows, {{100, 0, 1.0f}, {200, 0, 0.5f}, {255, 5, 1.0f}});
    for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(first.left[i], 0.0f) << i;
    for (uint32_t i = 100; i < 200; ++i) {
        ASSERT_FLOAT_EQ(first.left[i], static_cast<float>(i - 99) * Scale) << i;
        ASSERT_FLOAT_EQ(first.right[i], -static_cast<float>(i - 99) * Scale) << i;
    }
    for (uint32_t i = 200; i < 255; ++i) {
        ASSERT_FLOAT_EQ(first.left[i], 0.5f * static_cast<float>(i - 199) * Scale) << i;
    }
    EXPECT_FLOAT_EQ(first.left[255], (0.5f * 56 + 1) * Scale);
    EXPECT_TRUE(rows.IsSounding(0));

    // Both go on where they were; row 6 ends after its 10th frame, row 1
    // after its 300th (frame 243 of this cycle).
    const Cycle second = Render(rows);
    EXPECT_FLOAT_EQ(second.left[0], (0.5f * 57 + 2) * Scale);
    EXPECT_FLOAT_EQ(second.left[9], 0.5f * 66 * Scale);
    EXPECT_FLOAT_EQ(second.left[243], 0.5f * 300 * Scale);
    EXPECT_EQ(second.left[244], 0.0f);
    EXPECT_FALSE(rows.IsSounding(0));
    EXPECT_FALSE(rows.IsSounding(5));

    // A stroke from another thread (a pad) starts at the next cycle's first
    // frame; one on an empty row is refused.
    EXPECT_TRUE(rows.Strike(0, 1.0f));
    EXPECT_FALSE(rows.Strike(1, 1.0f));
    EXPECT_TRUE(rows.IsSounding(0));
    const Cycle third = Render(rows);
    EXPECT_FLOAT_EQ(third.left[0], 1 * Scale);
    EXPECT_FLOAT_EQ(third.left[255], 256 * Scale);
    rows.Stop(-1);
    EXPECT_EQ(Render(rows).left[0], 0.0f);
    rows.Detach();
    EXPECT_FALSE(rows.Strike(0, 1.0f));
}

// The real-time thread renders a stroke of row 1 every cycle while this
// thread replaces the row again and again with rows of other levels and
// lengths, or empties it: every frame out is one whole row's level or
// silence, never freed or half-made memory.
TEST(JackRows, RowsSwappedWhileCyclesRunAreReadWhole) {
    RowSampler rows;
    const std::vector<int16_t> low(2 * 700, 1000), high(2 * 90, 3000);
    ASSERT_TRUE(rows.SetRow(0, low.data(), 700));
    rows.Attach();
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0}, cycles{0};
    std::thread realtime([&] {
        std::vector<float> left(Period), right(Period);
        while (!stop.load()) {
            const midi::TimedStrike strike{static_cast<uint32_t>(cycles.load() % Period), 0, 1.0f};
            rows.Render(&strike, 1, left.data(), right.data(), Period);
            for (uint32_t i = 0; i < Period; ++i) {
                const float v = left[i] * 32768.0f;
                if (v != 0.0f && v != 1000.0f && v != 3000.0f) ++wrong;
                if (right[i] != left[i]) ++wrong;
            }
            ++cycles;
        }
    });
    for (int i = 0; i < 3000; ++i) {
        switch (i % 3) {
        case 0: (void)rows.SetRow(0, high.data(), 90); break;
        case 1: (void)rows.SetRow(0, nullptr, 0); break;
        default: (void)rows.SetRow(0, low.data(), 700); break;
        }
        if (i % 100 == 0) {
            EXPECT_TRUE(enginetest::WaitFor([&] { return cycles.load() > i / 100; }));
        }
    }
    stop.store(true);
    realtime.join();
    rows.Detach();
    EXPECT_EQ(wrong.load(), 0);
}

// A stroke that sounds at the JACK outputs shows as playing and is
// reported stopped once its row has played out there, as one on the sound
// device is; the device stays silent.
TEST(JackRows, StrokeAtTheJackOutputsIsReportedWhenItHasPlayedOut) {
    enginetest::RecordingListener listener;
    SoundEngine engine;
    ASSERT_TRUE(engine.Open(&listener, 16));
    auto record = std::make_unique<AudioData>();
    record->channels = 1;
    record->sampleRate = 44100;
    record->bitsPerSample = 16;
    record->frames = 512;
    for (int i = 0; i < 512; ++i) record->left[i] = 8000;
    ASSERT_TRUE(engine.ArmSlotVoice(2, *record));
    const std::shared_ptr<RowSampler> rows = engine.JackRows();
    ASSERT_NE(rows, nullptr);
    rows->Attach();

    ASSERT_TRUE(engine.StrikeSlot(2, 1.0f));
    EXPECT_TRUE(engine.IsSlotPlaying(2));
    const Cycle first = Render(*rows);
    EXPECT_FLOAT_EQ(first.left[0], 8000 * Scale);
    EXPECT_FLOAT_EQ(first.right[0], 8000 * Scale);  // a mono row on both sides
    EXPECT_TRUE(engine.IsSlotPlaying(2));
    (void)Render(*rows);
    (void)Render(*rows);
    EXPECT_TRUE(enginetest::WaitFor([&] { return listener.Stops(2) == 1; }));
    EXPECT_FALSE(engine.IsSlotPlaying(2));

    // A slot cleared while its row sounds falls silent at the next cycle.
    ASSERT_TRUE(engine.StrikeSlot(2, 1.0f));
    (void)Render(*rows);
    ASSERT_TRUE(engine.ClearSlot(2));
    EXPECT_EQ(Render(*rows).left[0], 0.0f);
    rows->Detach();
    engine.Close();
}

// The program asks OpenAL Soft for the short buffer only while no
// alsoft.conf of the user's sets one: a user's choice always wins.
TEST(DeviceBuffer, ShortBufferIsAskedForUnlessTheUserChoseOne) {
    EXPECT_TRUE(SetsDeviceBuffer("[general]\nperiod_size=1024\n"));
    EXPECT_TRUE(SetsDeviceBuffer("  periods = 4\n"));
    EXPECT_FALSE(SetsDeviceBuffer("#period_size = 1024\n[jack]\nbuffer-size = 512\n"));
    EXPECT_FALSE(SetsDeviceBuffer("period_sizes = 1\n"));

    const testsupport::Bytes system = testsupport::ReadFile("/etc/openal/alsoft.conf");
    if (SetsDeviceBuffer(std::string(system.begin(), system.end()).c_str())) {
        GTEST_SKIP() << "/etc/openal/alsoft.conf sets the buffer on this machine";
    }
    testsupport::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("XDG_CONFIG_DIRS", home.file("none").c_str(), 1);
    unsetenv("ALSOFT_CONF");
    const std::string user = "[general]\nperiod_size = 512\n";
    ASSERT_TRUE(testsupport::WriteFile(home.file(".alsoftrc"),
                                       testsupport::Bytes(user.begin(), user.end())));
    AskForShortDeviceBuffer();
    EXPECT_EQ(std::getenv("ALSOFT_CONF"), nullptr);

    std::remove(home.file(".alsoftrc").c_str());
    AskForShortDeviceBuffer();
    const char* conf = std::getenv("ALSOFT_CONF");
    ASSERT_NE(conf, nullptr);
    const testsupport::Bytes asked = testsupport::ReadFile(conf);
    EXPECT_EQ(std::string(asked.begin(), asked.end()),
              "[general]\nperiod_size = 128\nperiods = 3\n");
}

}  // namespace
