// The rows as the window and glwtool share them: a row is loaded while it
// holds a record, records are shared and never copied to be taken, and
// strokes from a MIDI thread are safe whenever they come.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "SoundFileWriter.h"
#include "core/SlotModel.h"
#include "voicebank/VoiceBankImage.h"

namespace {

std::string WriteWav(const testsupport::TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    testsupport::WriteFile(path, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 4410)));
    return path;
}

bool Store(SlotModel& model, int slot, const std::string& path) {
    return model.StoreRow(slot, SlotModel::MakeRow(path, {}, false));
}

TEST(SlotModel, RowsShareTheirRecordsAndARefusedFileKeepsTheRow) {
    testsupport::TempDir dir;
    SlotModel model;
    ASSERT_TRUE(model.Open());
    const std::string good = WriteWav(dir, "good.wav");
    ASSERT_TRUE(Store(model, 4, good));
    const RowState taken = model.TakeRow(4);
    EXPECT_EQ(taken.record, model.TakeRow(4).record) << "taking a row copied its sound";

    const std::string bad = dir.file("bad.wav");
    testsupport::WriteFile(bad, testsupport::Bytes(64, 0x5A));
    LoadFailure why;
    EXPECT_FALSE(model.StoreRow(4, SlotModel::MakeRow(bad, {}, false), &why));
    EXPECT_FALSE(why.reason.empty());
    EXPECT_EQ(model.SlotPath(4), good);
    EXPECT_EQ(model.TakeRow(4).record, taken.record);
    EXPECT_TRUE(model.PlaySlot(4));

    // The saved bank is built from the rows.
    const auto image = model.CopyBankImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->voices[4], *taken.record);
    EXPECT_EQ(model.CountLoadedSlots(), 1);

    model.Close();
    EXPECT_FALSE(model.IsSlotLoaded(4));
    EXPECT_EQ(model.CountLoadedSlots(), 0);
    EXPECT_EQ(model.SlotPath(4), good) << "the path stays for the next start";
}

// A MIDI input keeps striking while the window closes and opens the model
// (a sound server restart): a stroke never meets a device half gone.
TEST(SlotModel, StrokesFromAnotherThreadAreRefusedWhileClosed) {
    testsupport::TempDir dir;
    const std::string path = WriteWav(dir, "pad.wav");
    SlotModel model;
    ASSERT_TRUE(model.Open());
    std::atomic<bool> done{false};
    std::atomic<int> sounded{0};
    std::thread input([&] {
        while (!done.load())
            if (model.StrikeSlotFromInput(0, 0.5f)) ++sounded;
    });
    bool reopened = true;
    for (int round = 0; round < 20 && reopened; ++round) {
        reopened = Store(model, 0, path);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        model.Close();
        EXPECT_FALSE(model.StrikeSlotFromInput(0, 0.5f));
        reopened = reopened && model.Open();
    }
    done = true;
    input.join();
    EXPECT_TRUE(reopened);
    EXPECT_GT(sounded.load(), 0);
}

}  // namespace
