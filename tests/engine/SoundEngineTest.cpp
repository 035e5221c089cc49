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
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

using namespace enginetest;
using namespace std::chrono_literals;
using testsupport::TempDir;

namespace {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.Open(&listener, 16, HostLittleEndian)); }
    void TearDown() override { SetWatcherLookHook({}); }

    // The watcher stops looking at sources once no play awaits its report.
    [[nodiscard]] static bool WatcherParks() { return WatcherGoesQuiet(); }

    const AudioData& Record(int slot) const {
        return engine.GetImage()->voices[static_cast<size_t>(slot)];
    }
    static std::vector<uint8_t> Bytes(const AudioData& r) {
        const auto* p = reinterpret_cast<const uint8_t*>(&r);
        return {p, p + sizeof r};
    }
    static bool IsZero(const AudioData& r) {
        const std::vector<uint8_t> b = Bytes(r);
        for (uint8_t x : b) {
            if (x != 0) return false;
        }
        return true;
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

TEST_F(EngineTest, LoadStoresTheFadedRecordAndAnInterleavedCopy) {
    const std::string path = WriteRampWav(dir, "st.wav", 2, 44100, 2000);
    const testsupport::Pcm source = testsupport::MakeRamp(2, 16, 44100, 2000);
    ASSERT_TRUE(engine.LoadSlot(4, path.c_str()));

    const AudioData& r = Record(4);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.sampleRate, 44100);
    EXPECT_EQ(r.bitsPerSample, 16);
    ASSERT_EQ(int32_t{r.frames}, 2000);
    // Untouched before the last 882 frames, faded towards 0 after.
    for (int j = 0; j <= 2000 - 882; ++j) {
        ASSERT_EQ(r.left[j], source.samples[2 * static_cast<size_t>(j)]) << j;
        ASSERT_EQ(r.right[j], source.samples[2 * static_cast<size_t>(j) + 1]) << j;
    }
    for (int j = 2000 - 881; j < 2000; ++j) {
        ASSERT_LE(std::abs(r.left[j]), std::abs(source.samples[2 * static_cast<size_t>(j)])) << j;
    }
    EXPECT_EQ(r.left[1999], 0);
    EXPECT_EQ(r.right[1999], 0);

    uint32_t bytes = 0;
    const int16_t* copy = engine.GetSlotPlaybackCopy(4, &bytes);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(bytes, 2000u * 4u);
    for (int j = 0; j < 2000; ++j) {
        ASSERT_EQ(copy[2 * j], r.left[j]);
        ASSERT_EQ(copy[2 * j + 1], r.right[j]);
    }
    EXPECT_TRUE(engine.IsSlotLoaded(4));
    EXPECT_EQ(engine.CountLoadedSlots(), 1);
}

TEST_F(EngineTest, ReplaceWithMonoThenClear) {
    ASSERT_TRUE(engine.LoadSlot(0, WriteRampWav(dir, "a.wav", 2, 44100, 4000).c_str()));
    ASSERT_TRUE(engine.LoadSlot(0, WriteRampWav(dir, "m.wav", 1, 22050, 1000).c_str()));

    const AudioData& r = Record(0);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.sampleRate, 22050);
    uint32_t bytes = 0;
    const int16_t* copy = engine.GetSlotPlaybackCopy(0, &bytes);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(bytes, static_cast<uint32_t>(r.frames) * 4u);
    for (int32_t j = 0; j < r.frames; ++j) {
        ASSERT_EQ(copy[2 * j], r.left[j]);
        ASSERT_EQ(copy[2 * j + 1], r.left[j]);
    }
    EXPECT_EQ(engine.CountLoadedSlots(), 1);

    EXPECT_TRUE(engine.ClearSlot(0));
    EXPECT_TRUE(IsZero(Record(0)));
    EXPECT_EQ(engine.GetSlotPlaybackCopy(0, &bytes), nullptr);
    EXPECT_EQ(bytes, 0u);
    EXPECT_FALSE(engine.IsSlotLoaded(0));
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_TRUE(engine.ClearSlot(0)) << "clearing an empty slot";
}

TEST_F(EngineTest, RejectedFileKeepsTheOldSoundPlayable) {
    ASSERT_TRUE(engine.LoadSlot(7, WriteRampWav(dir, "ok.wav", 2, 48000, 9000).c_str()));
    const std::vector<uint8_t> before = Bytes(Record(7));

    const std::string garbage = dir.file("bad.wav");
    testsupport::WriteFile(garbage, testsupport::Bytes(64, 0x5A));
    testsupport::Pcm threeChannels = testsupport::MakeRamp(2, 16, 44100, 100);
    threeChannels.channels = 3;
    const std::string wrong = dir.file("three.wav");
    testsupport::WriteFile(wrong, testsupport::MakeWav(threeChannels));
    for (const std::string& path : {garbage, wrong, dir.file("missing.wav")}) {
        EXPECT_FALSE(engine.LoadSlot(7, path.c_str())) << path;
        EXPECT_EQ(Bytes(Record(7)), before) << path;
        EXPECT_TRUE(engine.IsSlotLoaded(7)) << path;
    }
    EXPECT_FALSE(engine.LoadSlot(7, ""));
    EXPECT_FALSE(engine.LoadSlot(7, nullptr));
    EXPECT_TRUE(engine.PlaySlot(7));
    EXPECT_TRUE(engine.IsSlotPlaying(7));
}

TEST_F(EngineTest, FadeStartsAfter882Frames) {
    auto r882 = ConstantRecord(2, 882, 10000);
    ASSERT_TRUE(engine.LoadSlotRecord(1, *r882));
    for (int j = 0; j < 882; ++j) {
        ASSERT_EQ(Record(1).left[j], 10000) << j;
        ASSERT_EQ(Record(1).right[j], -10000) << j;
    }

    auto r883 = ConstantRecord(2, 883, 10000);
    ASSERT_TRUE(engine.LoadSlotRecord(1, *r883));
    const AudioData& r = Record(1);
    EXPECT_EQ(r.left[0], 10000);
    EXPECT_EQ(r.left[1], 10000);
    EXPECT_LT(r.left[441], 10000);
    EXPECT_GT(r.left[441], 0);
    EXPECT_GT(r.right[441], -10000);
    EXPECT_EQ(r.left[882], 0);
    EXPECT_EQ(r.right[882], 0);
    uint32_t bytes = 0;
    const int16_t* copy = engine.GetSlotPlaybackCopy(1, &bytes);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[2 * 441], r.left[441]) << "the copy is made after the fade";
}

TEST_F(EngineTest, UnusableRecordLeavesTheSlotEmpty) {
    auto zero = ConstantRecord(1, 0, 0);
    auto tooLong = ConstantRecord(1, 100, 5);
    tooLong->frames = MaxVoiceFrames + 16;
    auto noChannels = ConstantRecord(1, 100, 5);
    noChannels->channels = 0;
    for (const AudioData* bad : {zero.get(), tooLong.get(), noChannels.get()}) {
        ASSERT_TRUE(engine.LoadSlot(3, WriteRampWav(dir, "ok.wav", 1, 44100, 500).c_str()));
        EXPECT_FALSE(engine.LoadSlotRecord(3, *bad));
        EXPECT_FALSE(engine.IsSlotLoaded(3));
        EXPECT_TRUE(IsZero(Record(3)));
        EXPECT_EQ(engine.GetSlotPlaybackCopy(3, nullptr), nullptr);
    }
}

TEST_F(EngineTest, SlotsOutsideTheRangeChangeNothing) {
    const std::string path = WriteRampWav(dir, "ok.wav", 1, 44100, 500);
    ASSERT_TRUE(engine.LoadSlot(15, path.c_str()));
    ASSERT_TRUE(engine.LoadSlot(0, path.c_str()));
    const std::vector<uint8_t> first = Bytes(Record(0));
    const std::vector<uint8_t> last = Bytes(Record(15));
    auto record = ConstantRecord(1, 100, 5);
    const int16_t pcm[4] = {1, 2, 3, 4};
    for (int slot : {-1, 16, 1000}) {
        EXPECT_FALSE(engine.LoadSlot(slot, path.c_str()));
        EXPECT_FALSE(engine.LoadSlotRecord(slot, *record));
        EXPECT_FALSE(engine.ClearSlot(slot));
        EXPECT_FALSE(engine.IsSlotLoaded(slot));
        EXPECT_FALSE(engine.ArmSlotVoice(slot, pcm, 8));
        EXPECT_FALSE(engine.PlaySlot(slot));
        EXPECT_FALSE(engine.StopSlot(slot));
        EXPECT_FALSE(engine.IsSlotPlaying(slot));
        EXPECT_EQ(engine.GetSlotPlaybackCopy(slot, nullptr), nullptr);
    }
    EXPECT_EQ(Bytes(Record(0)), first);
    EXPECT_EQ(Bytes(Record(15)), last);
    EXPECT_EQ(engine.CountLoadedSlots(), 2);
}

TEST_F(EngineTest, ArmingRefusesBadCopiesAndArmedSlots) {
    const int16_t pcm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(engine.ArmSlotVoice(2, nullptr, 16));
    EXPECT_FALSE(engine.ArmSlotVoice(2, pcm, 0));
    EXPECT_FALSE(engine.ArmSlotVoice(2, pcm, -4));
    EXPECT_FALSE(engine.ArmSlotVoice(2, pcm, 6));
    EXPECT_FALSE(engine.IsSlotLoaded(2));
    ASSERT_TRUE(engine.ArmSlotVoice(2, pcm, 16));
    EXPECT_TRUE(engine.IsSlotLoaded(2));
    // Arming again would orphan the running watcher and the AL objects.
    EXPECT_FALSE(engine.ArmSlotVoice(2, pcm, 16));
    EXPECT_TRUE(engine.ClearSlot(2));
    EXPECT_FALSE(engine.IsSlotLoaded(2));
}

TEST_F(EngineTest, RefusedOpenKeepsTheEngineAsItWas) {
    ASSERT_TRUE(engine.LoadSlot(2, WriteRampWav(dir, "ok.wav", 2, 44100, 3000).c_str()));
    const std::vector<uint8_t> before = Bytes(Record(2));
    EXPECT_FALSE(engine.Open(&listener, 16, 3));
    EXPECT_FALSE(engine.Open(&listener, 16, 0));
    EXPECT_FALSE(engine.Open(&listener, 0, HostLittleEndian));
    EXPECT_FALSE(engine.Open(&listener, -1, HostLittleEndian));
    EXPECT_FALSE(engine.Open(&listener, 17, HostLittleEndian));
    EXPECT_FALSE(engine.Open(nullptr, 16, HostLittleEndian));
    EXPECT_EQ(engine.CountLoadedSlots(), 1);
    EXPECT_EQ(Bytes(Record(2)), before);
    EXPECT_TRUE(engine.PlaySlot(2));

    SoundEngine closed;
    EXPECT_FALSE(closed.Open(&listener, 17, HostLittleEndian));
    EXPECT_FALSE(closed.Open(nullptr, 16, HostLittleEndian));
    EXPECT_EQ(closed.GetImage(), nullptr);
    EXPECT_FALSE(closed.LoadSlot(0, WriteRampWav(dir, "b.wav", 1, 44100, 100).c_str()));
    EXPECT_EQ(closed.CountLoadedSlots(), 0);
    EXPECT_FALSE(closed.ExportVoiceBank(dir.file("x.glw").c_str()));
    EXPECT_TRUE(closed.GetDeviceName().empty());
}

TEST_F(EngineTest, OpenAgainEmptiesEverySlot) {
    ASSERT_TRUE(engine.LoadSlot(5, WriteRampWav(dir, "ok.wav", 1, 44100, 800).c_str()));
    EXPECT_FALSE(engine.GetDeviceName().empty());
    ASSERT_TRUE(engine.Open(&listener, 4, HostBigEndian));
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_FALSE(engine.LoadSlot(4, WriteRampWav(dir, "b.wav", 1, 44100, 100).c_str()))
        << "only 4 slots now";
}

TEST_F(EngineTest, PlayStopAndStatus) {
    ASSERT_TRUE(engine.LoadSlot(6, WriteRampWav(dir, "long.wav", 2, 44100, 44100).c_str()));
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
    for (int slot = 0; slot < 16; ++slot) ASSERT_TRUE(engine.LoadSlot(slot, path.c_str()));
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
    ASSERT_TRUE(engine.LoadSlot(10, WriteRampWav(dir, "tiny.wav", 1, 44100, 16).c_str()));
    ASSERT_TRUE(engine.PlaySlot(10));
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(10) == 1; }, 1s));
}

TEST_F(EngineTest, PlayRacingTheWatchersLookIsStillReported) {
    ASSERT_TRUE(engine.LoadSlot(3, WriteRampWav(dir, "tiny.wav", 1, 44100, 16).c_str()));
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
    ASSERT_TRUE(engine.LoadSlot(12, WriteRampWav(dir, "long.wav", 2, 44100, 44100).c_str()));
    ASSERT_TRUE(engine.LoadSlot(4, WriteRampWav(dir, "short.wav", 2, 44100, 441).c_str()));
    listener.SetStopDelay(20ms);
    ASSERT_TRUE(engine.PlaySlot(12));
    ASSERT_TRUE(engine.PlaySlot(4));
    ASSERT_TRUE(WaitFor([&] { return listener.Inside() > 0; }));  // slot 4's report runs
    ASSERT_TRUE(engine.ClearSlot(12));
    EXPECT_EQ(listener.Inside(), 0) << "the watcher's pass still ran";
    EXPECT_FALSE(engine.IsSlotPlaying(12));
    EXPECT_FALSE(engine.IsSlotLoaded(12));
    EXPECT_FALSE(engine.PlaySlot(12));
    EXPECT_TRUE(WatcherParks()) << "a cleared slot is still watched";
    EXPECT_EQ(listener.Stops(12), 0);
    EXPECT_EQ(listener.Stops(4), 1);
}

TEST_F(EngineTest, LostDeviceIsOpenedAgainByPlayWithEverySlotArmedAgain) {
    ASSERT_TRUE(engine.LoadSlot(2, WriteRampWav(dir, "a.wav", 2, 44100, 44100).c_str()));
    ASSERT_TRUE(engine.LoadSlot(9, WriteRampWav(dir, "b.wav", 1, 22050, 11025).c_str()));
    const std::vector<uint8_t> before = Bytes(Record(9));
    ASSERT_TRUE(engine.PlaySlot(2));
    EXPECT_FALSE(engine.IsDeviceLost());

    UnplugOpenDevices();
    EXPECT_TRUE(engine.IsDeviceLost());
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(2) == 1; })) << "the loss ends the play";
    EXPECT_FALSE(engine.IsSlotPlaying(2));

    ASSERT_TRUE(engine.PlaySlot(9));
    EXPECT_FALSE(engine.IsDeviceLost());
    EXPECT_TRUE(engine.IsSlotPlaying(9));
    EXPECT_EQ(engine.CountLoadedSlots(), 2);
    EXPECT_EQ(Bytes(Record(9)), before);
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
        for (int slot = 0; slot < 4; ++slot)
            changed = changed && engine.LoadSlot(slot, path.c_str());
        changed = changed && engine.PlaySlot(round % 4) && engine.StopSlot(round % 4);
        for (int slot = 0; slot < 4; ++slot) changed = changed && engine.ClearSlot(slot);
    }
    done = true;
    input.join();
    EXPECT_TRUE(changed);
    EXPECT_GT(sounded.load(), 0) << "no stroke met a loaded slot";

    EXPECT_FALSE(engine.StrikeSlot(0)) << "an empty slot";
    ASSERT_TRUE(engine.LoadSlot(5, path.c_str()));
    EXPECT_FALSE(engine.StrikeSlot(5, 1.5f)) << "a gain above 1";
    const int before = listener.Stops(5);
    std::thread([&] { EXPECT_TRUE(engine.StrikeSlot(5)); }).join();
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(5) == before + 1; })) << "its stop is told";

    UnplugOpenDevices();
    std::thread([&] { EXPECT_FALSE(engine.StrikeSlot(5)) << "a lost device"; }).join();
    EXPECT_TRUE(engine.PlaySlot(5)) << "the engine's own thread opens it again";
}

TEST_F(EngineTest, AuditionPlaysOutsideTheSlotsAndIsNeverReported) {
    ASSERT_TRUE(engine.LoadSlot(15, WriteRampWav(dir, "a.wav", 2, 44100, 4410).c_str()));
    const std::vector<uint8_t> before = Bytes(Record(15));
    const std::unique_ptr<AudioData> row = ConstantRecord(1, 441, 1000);
    ASSERT_TRUE(engine.AuditionRecord(*row));
    ASSERT_TRUE(engine.PlaySlot(15)) << "a slot plays beside it";
    // A replaced audition and its own end are never told as a stop.
    ASSERT_TRUE(engine.AuditionRecord(*row));
    EXPECT_TRUE(WaitFor([&] { return !engine.IsAuditionPlaying(); }));
    EXPECT_TRUE(WaitFor([&] { return listener.Stops(15) == 1; }));
    EXPECT_TRUE(WatcherParks());
    EXPECT_EQ(listener.StrayStops(), 0);
    EXPECT_EQ(engine.CountLoadedSlots(), 1);
    EXPECT_EQ(Bytes(Record(15)), before);
    for (int slot = 0; slot < 15; ++slot) EXPECT_TRUE(IsZero(Record(slot)));

    const std::unique_ptr<AudioData> longRow = ConstantRecord(2, MaxVoiceFrames, 1000);
    ASSERT_TRUE(engine.AuditionRecord(*longRow));
    EXPECT_TRUE(engine.IsAuditionPlaying());
    engine.StopAudition();
    EXPECT_FALSE(engine.IsAuditionPlaying());
    EXPECT_FALSE(engine.AuditionRecord(*ConstantRecord(1, 0, 0)));
    EXPECT_TRUE(engine.IsSlotLoaded(15));
}

TEST_F(EngineTest, CloseClearsEverySlotFirst) {
    const std::string path = WriteRampWav(dir, "ok.wav", 2, 44100, 20000);
    for (int slot : {0, 5, 11, 15}) ASSERT_TRUE(engine.LoadSlot(slot, path.c_str()));
    ASSERT_TRUE(engine.PlaySlot(5));
    listener.SetStopDelay(10ms);
    engine.Close();
    EXPECT_EQ(listener.Inside(), 0);
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_EQ(engine.GetImage(), nullptr);
    EXPECT_FALSE(engine.PlaySlot(5));
    EXPECT_FALSE(engine.IsDeviceLost());
    EXPECT_EQ(alcGetCurrentContext(), nullptr) << "a context was left current";
    engine.Close();  // closing twice
}

TEST_F(EngineTest, TwoEnginesPlayIndependently) {
    RecordingListener otherListener;
    SoundEngine other;
    ASSERT_TRUE(other.Open(&otherListener, 16, HostLittleEndian));
    const std::string path = WriteRampWav(dir, "ok.wav", 2, 44100, 44100);
    ASSERT_TRUE(engine.LoadSlot(0, path.c_str()));
    ASSERT_TRUE(other.LoadSlot(0, path.c_str()));
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

TEST_F(EngineTest, ExportWritesTheBuildersBytesAndKeepsTheImage) {
    ASSERT_TRUE(engine.LoadSlot(0, WriteRampWav(dir, "a.wav", 1, 44100, 1008).c_str()));
    ASSERT_TRUE(engine.LoadSlot(2, WriteRampWav(dir, "b.wav", 2, 24000, 1000).c_str()));
    const auto before = std::make_unique<VoiceBankImage>(*engine.GetImage());

    const std::string exported = dir.file("BANK-1.glw");
    const std::string direct = dir.file("direct/BANK-1.glw");
    ASSERT_TRUE(engine.ExportVoiceBank(exported.c_str()));
    std::filesystem::create_directory(dir.file("direct"));
    ASSERT_EQ(ExportImageToFile(*before, direct.c_str()), 1);
    const testsupport::Bytes file = testsupport::ReadFile(exported);
    EXPECT_EQ(file.size(), 2144u + 1008u * 2u + static_cast<size_t>(Record(2).frames) * 4u);
    EXPECT_EQ(file, testsupport::ReadFile(direct));
    EXPECT_EQ(std::memcmp(before.get(), engine.GetImage(), sizeof(VoiceBankImage)), 0);

    EXPECT_FALSE(engine.ExportVoiceBank(""));
    EXPECT_FALSE(engine.ExportVoiceBank(nullptr));
    EXPECT_FALSE(engine.ExportVoiceBank(dir.file("no/such/folder/X.glw").c_str()));
}

}  // namespace
