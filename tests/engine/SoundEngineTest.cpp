// The engine on OpenAL's null device (real-time playback into nothing).

#include <AL/alc.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "EngineTestSupport.h"
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
    void SetUp() override { ASSERT_EQ(engine.Open(&view, 16, HostLittleEndian), 1); }

    // A watcher that has not yet run when its slot is cleared ends without a
    // call; this waits until the slot's watcher is seen running.
    void WaitUntilWatched(int slot) {
        view.ShowPlaying(slot);
        ASSERT_TRUE(WaitFor([&] { return view.ShowsStopped(slot); }));
    }

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
    FakePlaybackView view;
    SoundEngine engine;
};

TEST_F(EngineTest, LoadStoresTheFadedRecordAndAnInterleavedCopy) {
    const std::string path = WriteRampWav(dir, "st.wav", 2, 44100, 2000);
    const testsupport::Pcm source = testsupport::MakeRamp(2, 16, 44100, 2000);
    ASSERT_EQ(engine.LoadSlot(4, path.c_str()), 1);

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
    EXPECT_EQ(engine.IsSlotLoaded(4), 1);
    EXPECT_TRUE(engine.GetSlotEvent(4));
    EXPECT_EQ(engine.CountLoadedSlots(), 1);
}

TEST_F(EngineTest, ReplaceWithMonoThenClear) {
    ASSERT_EQ(engine.LoadSlot(0, WriteRampWav(dir, "a.wav", 2, 44100, 4000).c_str()), 1);
    view.SetStopDelay(20ms);
    view.ShowPlaying(0);  // the new watcher will call the view at once
    ASSERT_EQ(engine.LoadSlot(0, WriteRampWav(dir, "m.wav", 1, 22050, 1000).c_str()), 1);
    EXPECT_TRUE(WaitFor([&] { return view.ShowsStopped(0); }));
    EXPECT_EQ(view.MaxInside(), 1) << "the old watcher ran on beside the new one";

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

    EXPECT_EQ(engine.ClearSlot(0), 1);
    EXPECT_TRUE(IsZero(Record(0)));
    EXPECT_EQ(engine.GetSlotPlaybackCopy(0, &bytes), nullptr);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(engine.IsSlotLoaded(0), 0);
    EXPECT_FALSE(engine.GetSlotEvent(0));
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_EQ(engine.ClearSlot(0), 1) << "clearing an empty slot";
}

TEST_F(EngineTest, RejectedFileKeepsTheOldSoundPlayable) {
    ASSERT_EQ(engine.LoadSlot(7, WriteRampWav(dir, "ok.wav", 2, 48000, 9000).c_str()), 1);
    const std::vector<uint8_t> before = Bytes(Record(7));

    const std::string garbage = dir.file("bad.wav");
    testsupport::WriteFile(garbage, testsupport::Bytes(64, 0x5A));
    testsupport::Pcm threeChannels = testsupport::MakeRamp(2, 16, 44100, 100);
    threeChannels.channels = 3;
    const std::string wrong = dir.file("three.wav");
    testsupport::WriteFile(wrong, testsupport::MakeWav(threeChannels));
    for (const std::string& path : {garbage, wrong, dir.file("missing.wav")}) {
        EXPECT_EQ(engine.LoadSlot(7, path.c_str()), 0) << path;
        EXPECT_EQ(Bytes(Record(7)), before) << path;
        EXPECT_EQ(engine.IsSlotLoaded(7), 1) << path;
    }
    EXPECT_EQ(engine.LoadSlot(7, ""), 0);
    EXPECT_EQ(engine.LoadSlot(7, nullptr), 0);
    EXPECT_EQ(engine.PlaySlot(7), 1);
    EXPECT_EQ(engine.IsSlotPlaying(7), 1);
}

TEST_F(EngineTest, FadeStartsAfter882Frames) {
    auto r882 = ConstantRecord(2, 882, 10000);
    ASSERT_EQ(engine.LoadSlotRecord(1, *r882), 1);
    for (int j = 0; j < 882; ++j) {
        ASSERT_EQ(Record(1).left[j], 10000) << j;
        ASSERT_EQ(Record(1).right[j], -10000) << j;
    }

    auto r883 = ConstantRecord(2, 883, 10000);
    ASSERT_EQ(engine.LoadSlotRecord(1, *r883), 1);
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
        ASSERT_EQ(engine.LoadSlot(3, WriteRampWav(dir, "ok.wav", 1, 44100, 500).c_str()), 1);
        EXPECT_EQ(engine.LoadSlotRecord(3, *bad), 0);
        EXPECT_EQ(engine.IsSlotLoaded(3), 0);
        EXPECT_TRUE(IsZero(Record(3)));
        EXPECT_EQ(engine.GetSlotPlaybackCopy(3, nullptr), nullptr);
    }
}

TEST_F(EngineTest, SlotsOutsideTheRangeChangeNothing) {
    const std::string path = WriteRampWav(dir, "ok.wav", 1, 44100, 500);
    ASSERT_EQ(engine.LoadSlot(15, path.c_str()), 1);
    ASSERT_EQ(engine.LoadSlot(0, path.c_str()), 1);
    const std::vector<uint8_t> first = Bytes(Record(0));
    const std::vector<uint8_t> last = Bytes(Record(15));
    auto record = ConstantRecord(1, 100, 5);
    const int16_t pcm[4] = {1, 2, 3, 4};
    for (int slot : {-1, 16, 1000}) {
        EXPECT_EQ(engine.LoadSlot(slot, path.c_str()), 0);
        EXPECT_EQ(engine.LoadSlotRecord(slot, *record), 0);
        EXPECT_EQ(engine.ClearSlot(slot), 0);
        EXPECT_EQ(engine.IsSlotLoaded(slot), 0);
        EXPECT_FALSE(engine.GetSlotEvent(slot));
        EXPECT_EQ(engine.ArmSlotVoice(slot, pcm, 8), 0);
        EXPECT_EQ(engine.PlaySlot(slot), 0);
        EXPECT_EQ(engine.StopSlot(slot), 0);
        EXPECT_EQ(engine.IsSlotPlaying(slot), 0);
        EXPECT_EQ(engine.GetSlotPlaybackCopy(slot, nullptr), nullptr);
    }
    EXPECT_EQ(Bytes(Record(0)), first);
    EXPECT_EQ(Bytes(Record(15)), last);
    EXPECT_EQ(engine.CountLoadedSlots(), 2);
}

TEST_F(EngineTest, ArmingRefusesBadCopiesAndArmedSlots) {
    const int16_t pcm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(engine.ArmSlotVoice(2, nullptr, 16), 0);
    EXPECT_EQ(engine.ArmSlotVoice(2, pcm, 0), 0);
    EXPECT_EQ(engine.ArmSlotVoice(2, pcm, -4), 0);
    EXPECT_EQ(engine.ArmSlotVoice(2, pcm, 6), 0);
    EXPECT_EQ(engine.IsSlotLoaded(2), 0);
    ASSERT_EQ(engine.ArmSlotVoice(2, pcm, 16), 1);
    EXPECT_EQ(engine.IsSlotLoaded(2), 1);
    // Arming again would orphan the running watcher and the AL objects.
    EXPECT_EQ(engine.ArmSlotVoice(2, pcm, 16), 0);
    EXPECT_EQ(engine.ClearSlot(2), 1);
    EXPECT_EQ(engine.IsSlotLoaded(2), 0);
}

TEST_F(EngineTest, RefusedOpenKeepsTheEngineAsItWas) {
    ASSERT_EQ(engine.LoadSlot(2, WriteRampWav(dir, "ok.wav", 2, 44100, 3000).c_str()), 1);
    const std::vector<uint8_t> before = Bytes(Record(2));
    EXPECT_EQ(engine.Open(&view, 16, 3), 0);
    EXPECT_EQ(engine.Open(&view, 16, 0), 0);
    EXPECT_EQ(engine.Open(&view, 0, HostLittleEndian), 0);
    EXPECT_EQ(engine.Open(&view, -1, HostLittleEndian), 0);
    EXPECT_EQ(engine.Open(&view, 17, HostLittleEndian), 0);
    EXPECT_EQ(engine.Open(nullptr, 16, HostLittleEndian), 0);
    EXPECT_EQ(engine.CountLoadedSlots(), 1);
    EXPECT_EQ(Bytes(Record(2)), before);
    EXPECT_EQ(engine.PlaySlot(2), 1);

    SoundEngine closed;
    EXPECT_EQ(closed.Open(&view, 17, HostLittleEndian), 0);
    EXPECT_EQ(closed.Open(nullptr, 16, HostLittleEndian), 0);
    EXPECT_EQ(closed.GetImage(), nullptr);
    EXPECT_EQ(closed.LoadSlot(0, WriteRampWav(dir, "b.wav", 1, 44100, 100).c_str()), 0);
    EXPECT_EQ(closed.CountLoadedSlots(), 0);
    EXPECT_EQ(closed.ExportVoiceBank(dir.file("x.glw").c_str()), 0);
    EXPECT_TRUE(closed.GetDeviceName().empty());
}

TEST_F(EngineTest, OpenAgainEmptiesEverySlot) {
    ASSERT_EQ(engine.LoadSlot(5, WriteRampWav(dir, "ok.wav", 1, 44100, 800).c_str()), 1);
    EXPECT_FALSE(engine.GetDeviceName().empty());
    ASSERT_EQ(engine.Open(&view, 4, HostBigEndian), 1);
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_EQ(engine.LoadSlot(4, WriteRampWav(dir, "b.wav", 1, 44100, 100).c_str()), 0)
        << "only 4 slots now";
}

TEST_F(EngineTest, PlayStopAndStatus) {
    ASSERT_EQ(engine.LoadSlot(6, WriteRampWav(dir, "long.wav", 2, 44100, 44100).c_str()), 1);
    EXPECT_EQ(engine.IsSlotPlaying(6), 0);
    ASSERT_EQ(engine.PlaySlot(6), 1);
    view.ShowPlaying(6);
    EXPECT_EQ(engine.IsSlotPlaying(6), 1);
    ASSERT_EQ(engine.PlaySlot(6), 1) << "playing again while it plays";
    EXPECT_EQ(engine.IsSlotPlaying(6), 1);
    const int stopsBefore = view.Stops(6);
    ASSERT_EQ(engine.StopSlot(6), 1);
    EXPECT_EQ(engine.IsSlotPlaying(6), 0);
    EXPECT_TRUE(WaitFor([&] { return view.Stops(6) > stopsBefore && view.ShowsStopped(6); }));

    EXPECT_EQ(engine.PlaySlot(9), 0) << "empty slot";
    EXPECT_EQ(engine.StopSlot(9), 0);
    EXPECT_EQ(engine.IsSlotPlaying(9), 0);
}

TEST_F(EngineTest, EndOfSoundReachesTheViewWithinMilliseconds) {
    ASSERT_EQ(engine.LoadSlot(8, WriteRampWav(dir, "short.wav", 2, 44100, 4410).c_str()), 1);
    const int stopsBefore = view.Stops(8);
    ASSERT_EQ(engine.PlaySlot(8), 1);
    view.ShowPlaying(8);
    ASSERT_TRUE(WaitFor([&] { return engine.IsSlotPlaying(8) == 0; }));
    const auto ended = Clock::now();
    ASSERT_TRUE(WaitFor([&] { return view.Stops(8) > stopsBefore; }));
    EXPECT_TRUE(view.ShowsStopped(8));
    EXPECT_LT(view.LastStop(8) - ended, 30ms);
}

TEST_F(EngineTest, SoundShorterThanTheButtonSwitchEndsStopped) {
    ASSERT_EQ(engine.LoadSlot(10, WriteRampWav(dir, "tiny.wav", 1, 44100, 16).c_str()), 1);
    ASSERT_EQ(engine.PlaySlot(10), 1);
    ASSERT_TRUE(WaitFor([&] { return engine.IsSlotPlaying(10) == 0; }));
    view.ShowPlaying(10);  // the window switches only after the sound ended
    EXPECT_TRUE(WaitFor([&] { return view.ShowsStopped(10); }, 1s));
}

TEST_F(EngineTest, ClearWhilePlayingSilencesAndJoinsTheWatcher) {
    ASSERT_EQ(engine.LoadSlot(12, WriteRampWav(dir, "long.wav", 2, 44100, 44100).c_str()), 1);
    WaitUntilWatched(12);
    ASSERT_EQ(engine.PlaySlot(12), 1);
    view.ShowPlaying(12);
    view.SetStopDelay(20ms);
    const int stopsBefore = view.Stops(12);
    ASSERT_EQ(engine.ClearSlot(12), 1);
    // A watcher still running would be inside its last (slow) call.
    EXPECT_EQ(view.Inside(), 0);
    EXPECT_GT(view.Stops(12), stopsBefore);
    EXPECT_TRUE(view.ShowsStopped(12));
    EXPECT_EQ(engine.IsSlotPlaying(12), 0);
    EXPECT_EQ(engine.IsSlotLoaded(12), 0);
    EXPECT_EQ(engine.PlaySlot(12), 0);
}

TEST_F(EngineTest, CloseClearsEverySlotFirst) {
    const std::string path = WriteRampWav(dir, "ok.wav", 2, 44100, 20000);
    for (int slot : {0, 5, 11, 15}) ASSERT_EQ(engine.LoadSlot(slot, path.c_str()), 1);
    WaitUntilWatched(11);
    ASSERT_EQ(engine.PlaySlot(5), 1);
    view.ShowPlaying(5);
    view.SetStopDelay(10ms);
    const int stopsBefore = view.Stops(11);
    EXPECT_EQ(engine.Close(), 1);
    EXPECT_EQ(view.Inside(), 0);
    EXPECT_EQ(view.Stops(11), stopsBefore + 1);
    EXPECT_TRUE(view.ShowsStopped(5));
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_EQ(engine.GetImage(), nullptr);
    EXPECT_EQ(engine.PlaySlot(5), 0);
    EXPECT_EQ(alcGetCurrentContext(), nullptr) << "a context was left current";
    EXPECT_EQ(engine.Close(), 1) << "closing twice";
}

TEST_F(EngineTest, TwoEnginesPlayIndependently) {
    FakePlaybackView otherView;
    SoundEngine other;
    ASSERT_EQ(other.Open(&otherView, 16, HostLittleEndian), 1);
    const std::string path = WriteRampWav(dir, "ok.wav", 2, 44100, 44100);
    ASSERT_EQ(engine.LoadSlot(0, path.c_str()), 1);
    ASSERT_EQ(other.LoadSlot(0, path.c_str()), 1);
    ASSERT_EQ(engine.PlaySlot(0), 1);
    ASSERT_EQ(other.PlaySlot(0), 1);
    EXPECT_EQ(engine.IsSlotPlaying(0), 1);
    EXPECT_EQ(other.IsSlotPlaying(0), 1);
    ASSERT_EQ(other.StopSlot(0), 1);
    EXPECT_EQ(engine.IsSlotPlaying(0), 1);
    other.Close();
    EXPECT_EQ(engine.IsSlotPlaying(0), 1);
    EXPECT_EQ(engine.StopSlot(0), 1);
}

TEST_F(EngineTest, ExportWritesTheBuildersBytesAndKeepsTheImage) {
    ASSERT_EQ(engine.LoadSlot(0, WriteRampWav(dir, "a.wav", 1, 44100, 1008).c_str()), 1);
    ASSERT_EQ(engine.LoadSlot(2, WriteRampWav(dir, "b.wav", 2, 24000, 1000).c_str()), 1);
    const auto before = std::make_unique<VoiceBankImage>(*engine.GetImage());

    const std::string exported = dir.file("BANK-1.glw");
    const std::string direct = dir.file("direct/BANK-1.glw");
    ASSERT_EQ(engine.ExportVoiceBank(exported.c_str()), 1);
    std::filesystem::create_directory(dir.file("direct"));
    ASSERT_EQ(ExportImageToFile(*before, direct.c_str()), 1);
    const testsupport::Bytes file = testsupport::ReadFile(exported);
    EXPECT_EQ(file.size(), 2144u + 1008u * 2u + static_cast<size_t>(Record(2).frames) * 4u);
    EXPECT_EQ(file, testsupport::ReadFile(direct));
    EXPECT_EQ(std::memcmp(before.get(), engine.GetImage(), sizeof(VoiceBankImage)), 0);

    EXPECT_EQ(engine.ExportVoiceBank(""), 0);
    EXPECT_EQ(engine.ExportVoiceBank(nullptr), 0);
    EXPECT_EQ(engine.ExportVoiceBank(dir.file("no/such/folder/X.glw").c_str()), 0);
}

}  // namespace
