// The engine on OpenAL's null device (real-time playback into nothing).

#include <AL/alc.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "FakeSoundDevice.h"
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

using namespace enginetest;
using namespace std::chrono_literals;
using testsupport::TempDir;

namespace {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.Open(&listener, 16)); }
    void TearDown() override { SetWatcherLookHook({}); }

    // The watcher stops looking at sources once no play awaits its report.
    [[nodiscard]] static bool WatcherParks() { return WatcherGoesQuiet(); }

    [[nodiscard]] int ArmedSlots() const {
        int count = 0;
        for (int slot = 0; slot < 16; ++slot) count += engine.IsSlotArmed(slot) ? 1 : 0;
        return count;
    }
    // A record of frames constant samples, as the reader would hand it over.
    static std::unique_ptr<AudioData> ConstantRecord(int channels, int32_t frames, int16_t value) {
        auto r = std::make_unique<AudioData>();
        r->channels = static_cast<int16_t>(channels);
        r->sampleRate = 44100;
        r->bitsPerSample = 16;
        r->frames = frames;
        for (int32_t j = 0; j < frames; ++j) {
            r->left[j] = value;
            if (channels == 2) r->right[j] = static_cast<int16_t>(-value);
        }
        return r;
    }

    TempDir dir;
    RecordingListener listener;
    // For a watcher hook; declared before the engine so that they outlive
    // its watcher.
    std::atomic<int> looks{0};
    std::atomic<bool> replayed{false};
    SoundEngine engine;
};

TEST_F(EngineTest, ArmingAgainReplacesTheVoiceThenClearEmptiesIt) {
    ASSERT_TRUE(ArmFile(engine, 0, WriteRampWav(dir, "a.wav", 2, 44100, 44100)));
    ASSERT_TRUE(engine.PlaySlot(0));
    // The playing voice goes with its watching: no report for it.
    ASSERT_TRUE(ArmFile(engine, 0, WriteRampWav(dir, "m.wav", 1, 22050, 1000)));
    EXPECT_FALSE(engine.IsSlotPlaying(0));
    EXPECT_EQ(ArmedSlots(), 1);
    ASSERT_TRUE(engine.PlaySlot(0));
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(0) == 1; }));

    EXPECT_TRUE(engine.ClearSlot(0));
    EXPECT_FALSE(engine.IsSlotArmed(0));
    EXPECT_FALSE(engine.PlaySlot(0));
    EXPECT_TRUE(engine.ClearSlot(0)) << "clearing an empty slot";
    EXPECT_TRUE(WatcherParks());
    EXPECT_EQ(listener.Stops(0), 1);
}

TEST_F(EngineTest, UnusableRecordLeavesTheSlotEmpty) {
    auto zero = ConstantRecord(1, 0, 0);
    auto tooLong = ConstantRecord(1, 100, 5);
    tooLong->frames = MaxVoiceFrames + 16;
    auto noChannels = ConstantRecord(1, 100, 5);
    noChannels->channels = 0;
    for (const AudioData* bad : {zero.get(), tooLong.get(), noChannels.get()}) {
        ASSERT_TRUE(ArmFile(engine, 3, WriteRampWav(dir, "ok.wav", 1, 44100, 500)));
        EXPECT_FALSE(engine.ArmSlotVoice(3, *bad));
        EXPECT_FALSE(engine.IsSlotArmed(3));
        EXPECT_FALSE(engine.PlaySlot(3));
    }
}

TEST_F(EngineTest, SlotsOutsideTheRangeChangeNothing) {
    const std::string path = WriteRampWav(dir, "ok.wav", 1, 44100, 500);
    ASSERT_TRUE(ArmFile(engine, 15, path));
    ASSERT_TRUE(ArmFile(engine, 0, path));
    auto record = ConstantRecord(1, 100, 5);
    for (int slot : {-1, 16, 1000}) {
        EXPECT_FALSE(engine.ArmSlotVoice(slot, *record));
        EXPECT_FALSE(engine.ClearSlot(slot));
        EXPECT_FALSE(engine.IsSlotArmed(slot));
        EXPECT_FALSE(engine.PlaySlot(slot));
        EXPECT_FALSE(engine.StopSlot(slot));
        EXPECT_FALSE(engine.IsSlotPlaying(slot));
    }
    EXPECT_EQ(ArmedSlots(), 2);
    EXPECT_TRUE(engine.PlaySlot(0));
    EXPECT_TRUE(engine.PlaySlot(15));
}

TEST_F(EngineTest, RefusedOpenKeepsTheEngineAsItWas) {
    ASSERT_TRUE(ArmFile(engine, 2, WriteRampWav(dir, "ok.wav", 2, 44100, 3000)));
    EXPECT_FALSE(engine.Open(&listener, 0));
    EXPECT_FALSE(engine.Open(&listener, -1));
    EXPECT_FALSE(engine.Open(&listener, 17));
    EXPECT_FALSE(engine.Open(nullptr, 16));
    EXPECT_EQ(ArmedSlots(), 1);
    EXPECT_TRUE(engine.PlaySlot(2));

    SoundEngine closed;
    EXPECT_FALSE(closed.Open(&listener, 17));
    EXPECT_FALSE(closed.Open(nullptr, 16));
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(ArmFile(closed, 0, WriteRampWav(dir, "b.wav", 1, 44100, 100)));
    EXPECT_FALSE(closed.IsSlotArmed(0));
    EXPECT_TRUE(closed.GetDeviceName().empty());
}

TEST_F(EngineTest, OpenAgainEmptiesEverySlot) {
    ASSERT_TRUE(ArmFile(engine, 5, WriteRampWav(dir, "ok.wav", 1, 44100, 800)));
    EXPECT_FALSE(engine.GetDeviceName().empty());
    ASSERT_TRUE(engine.Open(&listener, 4));
    EXPECT_EQ(ArmedSlots(), 0);
    EXPECT_FALSE(ArmFile(engine, 4, WriteRampWav(dir, "b.wav", 1, 44100, 100)))
        << "only 4 slots now";
}

TEST_F(EngineTest, PlayStopAndStatus) {
    ASSERT_TRUE(ArmFile(engine, 6, WriteRampWav(dir, "long.wav", 2, 44100, 44100)));
    EXPECT_FALSE(engine.IsSlotPlaying(6));
    ASSERT_TRUE(engine.PlaySlot(6));
    EXPECT_TRUE(engine.IsSlotPlaying(6));
    ASSERT_TRUE(engine.PlaySlot(6)) << "playing again while it plays";
    EXPECT_TRUE(engine.IsSlotPlaying(6));
    ASSERT_TRUE(engine.StopSlot(6));
    EXPECT_FALSE(engine.IsSlotPlaying(6));
    // The first play was superseded by the second: one report for both.
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(6) == 1; }));
    EXPECT_TRUE(WatcherParks());
    EXPECT_EQ(listener.Stops(6), 1);

    EXPECT_FALSE(engine.PlaySlot(9)) << "empty slot";
    EXPECT_FALSE(engine.StopSlot(9));
    EXPECT_FALSE(engine.IsSlotPlaying(9));
}

TEST_F(EngineTest, ParkedWatcherWakesForPlayAndReportsTheEndWithinMilliseconds) {
    const std::string path = WriteRampWav(dir, "short.wav", 2, 44100, 4410);
    for (int slot = 0; slot < 16; ++slot) ASSERT_TRUE(ArmFile(engine, slot, path));
    ASSERT_TRUE(WatcherParks()) << "loaded, silent slots are watched";
    const uint64_t before = WatcherLooks();
    ASSERT_TRUE(engine.PlaySlot(8));
    EXPECT_TRUE(WaitFor([&] { return WatcherLooks() > before; }));
    ASSERT_TRUE(WaitFor([&] { return !engine.IsSlotPlaying(8); }));
    const auto ended = Clock::now();
    ASSERT_TRUE(WaitFor([&] { return listener.Stops(8) == 1; }));
    EXPECT_LT(listener.LastStop(8) - ended, 30ms);
    EXPECT_TRUE(WatcherParks());
}

TEST_F(EngineTest, SoundShorterThanThePollIsReported) {
    ASSERT_TRUE(ArmFile(engine, 10, WriteRampWav(dir, "tiny.wav", 1, 44100, 16)));
    ASSERT_TRUE(engine.PlaySlot(10));
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(10) == 1; }, 1s));
}

TEST_F(EngineTest, PlayRacingTheWatchersLookIsStillReported) {
    ASSERT_TRUE(ArmFile(engine, 3, WriteRampWav(dir, "tiny.wav", 1, 44100, 16)));
    // The watcher sees the first play's end, then, before it decides,
    // the slot is played again: only the second play's end may be
    // reported, and it must be.
    SetWatcherLookHook([&](bool playing) {
        if (!playing && ++looks == 1) WaitFor([&] { return replayed.load(); });
    });
    ASSERT_TRUE(engine.PlaySlot(3));
    ASSERT_TRUE(WaitFor([&] { return looks.load() >= 1; }));
    ASSERT_TRUE(engine.PlaySlot(3));
    replayed = true;
    ASSERT_TRUE(WaitFor([&] { return listener.Stops(3) == 1; }, 2s)) << "a report was lost";
    EXPECT_TRUE(WaitFor([&] { return !engine.IsSlotPlaying(3); }));
    EXPECT_TRUE(WatcherParks());
    EXPECT_EQ(listener.Stops(3), 1);
    EXPECT_GE(looks.load(), 2) << "the second play was not looked at";
    SetWatcherLookHook({});
}

TEST_F(EngineTest, ClearWhilePlayingSilencesAndEndsItsWatching) {
    ASSERT_TRUE(ArmFile(engine, 12, WriteRampWav(dir, "long.wav", 2, 44100, 44100)));
    ASSERT_TRUE(ArmFile(engine, 4, WriteRampWav(dir, "short.wav", 2, 44100, 441)));
    listener.SetStopDelay(20ms);
    ASSERT_TRUE(engine.PlaySlot(12));
    ASSERT_TRUE(engine.PlaySlot(4));
    ASSERT_TRUE(WaitFor([&] { return listener.Inside() > 0; }));  // slot 4's report runs
    ASSERT_TRUE(engine.ClearSlot(12));
    EXPECT_EQ(listener.Inside(), 0) << "the watcher's pass still ran";
    EXPECT_FALSE(engine.IsSlotPlaying(12));
    EXPECT_FALSE(engine.IsSlotArmed(12));
    EXPECT_FALSE(engine.PlaySlot(12));
    EXPECT_TRUE(WatcherParks()) << "a cleared slot is still watched";
    EXPECT_EQ(listener.Stops(12), 0);
    EXPECT_EQ(listener.Stops(4), 1);
}

TEST_F(EngineTest, LostDeviceIsOpenedAgainByPlayWithEverySlotArmedAgain) {
    ASSERT_TRUE(ArmFile(engine, 2, WriteRampWav(dir, "a.wav", 2, 44100, 44100)));
    ASSERT_TRUE(ArmFile(engine, 9, WriteRampWav(dir, "b.wav", 1, 22050, 11025)));
    ASSERT_TRUE(engine.PlaySlot(2));
    EXPECT_FALSE(engine.IsDeviceLost());

    UnplugOpenDevices();
    EXPECT_TRUE(engine.IsDeviceLost());
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(2) == 1; })) << "the loss ends the play";
    EXPECT_FALSE(engine.IsSlotPlaying(2));

    ASSERT_TRUE(engine.PlaySlot(9));
    EXPECT_FALSE(engine.IsDeviceLost());
    EXPECT_TRUE(engine.IsSlotPlaying(9));
    EXPECT_EQ(ArmedSlots(), 2);
    ASSERT_TRUE(engine.StopSlot(9));
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(9) == 1; }));
    ASSERT_TRUE(engine.PlaySlot(2)) << "the other slot plays on the new device too";
    EXPECT_TRUE(engine.IsSlotPlaying(2));
    EXPECT_TRUE(engine.ClearSlot(9));
}

// A MIDI input strikes pads on its own thread while the window loads,
// clears, plays and stops the same slots on the engine's.
TEST_F(EngineTest, StrikesFromAnotherThreadMeetEveryChangeOfTheSlots) {
    const std::string path = WriteRampWav(dir, "short.wav", 2, 44100, 441);
    std::atomic<bool> done{false};
    std::atomic<int> sounded{0};
    std::thread input([&] {
        for (int i = 0; !done.load(); ++i) {
            if (engine.StrikeSlot(i % 4, 0.5f)) ++sounded;
        }
    });
    bool changed = true;
    for (int round = 0; round < 40 && changed; ++round) {
        for (int slot = 0; slot < 4; ++slot) changed = changed && ArmFile(engine, slot, path);
        changed = changed && engine.PlaySlot(round % 4) && engine.StopSlot(round % 4);
        for (int slot = 0; slot < 4; ++slot) changed = changed && engine.ClearSlot(slot);
    }
    // However the threads were scheduled, strokes go on until one met a
    // loaded slot.
    for (int slot = 0; slot < 4; ++slot) changed = changed && ArmFile(engine, slot, path);
    EXPECT_TRUE(WaitFor([&] { return sounded.load() > 0; })) << "no stroke met a loaded slot";
    done = true;
    input.join();
    EXPECT_TRUE(changed);
    for (int slot = 0; slot < 4; ++slot) EXPECT_TRUE(engine.ClearSlot(slot));

    EXPECT_FALSE(engine.StrikeSlot(0)) << "an empty slot";
    ASSERT_TRUE(ArmFile(engine, 5, path));
    EXPECT_FALSE(engine.StrikeSlot(5, 1.5f)) << "a gain above 1";
    const int before = listener.Stops(5);
    std::thread([&] { EXPECT_TRUE(engine.StrikeSlot(5)); }).join();
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(5) == before + 1; })) << "its stop is told";

    UnplugOpenDevices();
    std::thread([&] { EXPECT_FALSE(engine.StrikeSlot(5)) << "a lost device"; }).join();
    EXPECT_TRUE(engine.PlaySlot(5)) << "the engine's own thread opens it again";
}

TEST_F(EngineTest, AuditionPlaysOutsideTheSlotsAndIsNeverReported) {
    ASSERT_TRUE(ArmFile(engine, 15, WriteRampWav(dir, "a.wav", 2, 44100, 4410)));
    const std::unique_ptr<AudioData> row = ConstantRecord(1, 441, 1000);
    ASSERT_TRUE(engine.AuditionRecord(*row));
    ASSERT_TRUE(engine.PlaySlot(15)) << "a slot plays beside it";
    // A replaced audition and its own end are never told as a stop.
    ASSERT_TRUE(engine.AuditionRecord(*row));
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(15) == 1; }));
    EXPECT_TRUE(WatcherParks());
    EXPECT_EQ(listener.StrayStops(), 0);
    EXPECT_EQ(ArmedSlots(), 1);

    const std::unique_ptr<AudioData> longRow = ConstantRecord(2, MaxVoiceFrames, 1000);
    ASSERT_TRUE(engine.AuditionRecord(*longRow));
    engine.StopAudition();
    EXPECT_FALSE(engine.AuditionRecord(*ConstantRecord(1, 0, 0)));
    EXPECT_TRUE(engine.IsSlotArmed(15));
}

TEST_F(EngineTest, CloseClearsEverySlotFirst) {
    const std::string path = WriteRampWav(dir, "ok.wav", 2, 44100, 20000);
    for (int slot : {0, 5, 11, 15}) ASSERT_TRUE(ArmFile(engine, slot, path));
    ASSERT_TRUE(engine.PlaySlot(5));
    listener.SetStopDelay(10ms);
    engine.Close();
    EXPECT_EQ(listener.Inside(), 0);
    EXPECT_EQ(ArmedSlots(), 0);
    EXPECT_FALSE(engine.IsOpen());
    EXPECT_FALSE(engine.PlaySlot(5));
    EXPECT_FALSE(engine.IsDeviceLost());
    EXPECT_EQ(alcGetCurrentContext(), nullptr) << "a context was left current";
    engine.Close();  // closing twice
}

TEST_F(EngineTest, TwoEnginesPlayIndependently) {
    RecordingListener otherListener;
    SoundEngine other;
    ASSERT_TRUE(other.Open(&otherListener, 16));
    const std::string path = WriteRampWav(dir, "ok.wav", 2, 44100, 44100);
    ASSERT_TRUE(ArmFile(engine, 0, path));
    ASSERT_TRUE(ArmFile(other, 0, path));
    ASSERT_TRUE(engine.PlaySlot(0));
    ASSERT_TRUE(other.PlaySlot(0));
    EXPECT_TRUE(engine.IsSlotPlaying(0));
    EXPECT_TRUE(other.IsSlotPlaying(0));
    ASSERT_TRUE(other.StopSlot(0));
    EXPECT_TRUE(engine.IsSlotPlaying(0));
    other.Close();
    EXPECT_TRUE(engine.IsSlotPlaying(0));
    EXPECT_TRUE(engine.StopSlot(0));
}

}  // namespace
