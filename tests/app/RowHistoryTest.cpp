#include <QTest>

#include <QDir>
#include <QListWidget>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "app/EarlierVersionsDialog.h"
#include "app/RowHistory.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

using apptest::WindowTest;

namespace {

std::shared_ptr<const AudioData> Sound(const SlotModel& model, int slot) {
    return model.TakeRow(slot).record;
}

}  // namespace

// The row comes back from the step, not from its file: bit for bit after
// the file was deleted, with its path and options, and the profile keeps
// it; redo clears it again.
TEST_F(WindowTest, UndoingAClearBringsTheRowBackAfterItsFileWent) {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QString kick = Wav("kick.wav");
    VoiceOptions options;
    options.normalize = true;
    options.normalizeDbfs = -6.0;
    ASSERT_TRUE(Load(0, kick, true, options));
    ASSERT_TRUE(Load(1, Wav("snare.wav", 1)));
    const std::shared_ptr<const AudioData> loaded = Sound(*model, 0);
    ASSERT_TRUE(loaded);

    QTest::mouseClick(ClearButton(0), Qt::LeftButton);
    ASSERT_FALSE(model->IsSlotLoaded(0));
    ASSERT_EQ(window->History().Stack().undoText(), "clear row 1");
    ASSERT_EQ(std::remove(kick.toStdString().c_str()), 0);

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(model->IsSlotLoaded(0));
    EXPECT_EQ(*Sound(*model, 0), *loaded);
    EXPECT_EQ(window->Context().SlotPath(0), kick);
    EXPECT_EQ(model->SlotOptions(0), options);
    EXPECT_TRUE(ClearButton(0)->isEnabled());
    EXPECT_EQ(Label(0)->text(), "kick");
    EXPECT_TRUE(window->Settings().SaveSettings());
    EXPECT_TRUE(ReadIni().contains("kick.wav"));

    QTest::keyClick(window.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_FALSE(model->IsSlotLoaded(0));
    EXPECT_TRUE(window->Context().SlotPath(0).isEmpty());
    EXPECT_TRUE(model->IsSlotLoaded(1));
}

// A bank opened over loaded rows is one step: undo brings every earlier row
// back, redo the bank's rows; a change of several rows' options is one step.
TEST_F(WindowTest, OpeningABankAndChangingSeveralRowsAreOneStepEach) {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(Load(0, Wav("a.wav")));
    ASSERT_TRUE(Load(1, Wav("b.wav")));
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_TRUE(InitVoiceBankImage(image.get()));
    image->voices[5] = AudioData{1, 44100, 16, 32, {}, {}};
    const std::string bank = dir.file("KIT.glw");
    ASSERT_TRUE(ExportImageToFile(*image, bank.c_str()));
    ASSERT_TRUE(window->Banks().OpenBankFile(QString::fromStdString(bank)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Banks().IsOpeningBank(); }, apptest::WaitMs));
    ASSERT_TRUE(model->IsSlotLoaded(5));
    EXPECT_EQ(window->History().Stack().count(), 3);

    ASSERT_TRUE(window->History().UndoRowChange());
    EXPECT_TRUE(model->IsSlotLoaded(0));
    EXPECT_TRUE(model->IsSlotLoaded(1));
    EXPECT_FALSE(model->IsSlotLoaded(5));
    EXPECT_EQ(Label(1)->text(), "b");
    // The question before the rows were replaced was a real box: the window
    // takes the keys again once it is active again.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(model->IsSlotLoaded(0));
    EXPECT_EQ(Label(5)->text(), "KIT 06");

    ASSERT_TRUE(window->History().UndoRowChange());
    VoiceOptions quieter;
    quieter.normalize = true;
    quieter.normalizeDbfs = -12.0;
    ASSERT_TRUE(window->Levels().ApplyRowOptions({{0, quieter}, {1, quieter}}));
    EXPECT_FALSE(window->History().UndoRowChange());  // not while the rows load
    Settle();
    ASSERT_EQ(model->SlotOptions(1), quieter);
    EXPECT_EQ(window->History().Stack().count(), 3);  // the bank's redo was dropped
    ASSERT_TRUE(window->History().UndoRowChange());
    EXPECT_EQ(model->SlotOptions(0), VoiceOptions{});
    EXPECT_EQ(model->SlotOptions(1), VoiceOptions{});
}

// Past the memory bound the oldest steps go first; the ones kept still undo
// to the right rows.
TEST(RowHistory, TheMemoryBoundDropsTheOldestStep) {
    SlotModel model;
    ASSERT_TRUE(model.Open());
    RowState row;
    row.path = "/x.wav";
    const size_t step = RowState{}.Bytes() + row.Bytes() + sizeof(AudioData);
    RowHistory history(model, {}, 2 * step + step / 2);
    for (int i = 0; i < 3; ++i) {
        auto sound = std::make_shared<AudioData>(AudioData{1, 44100, 16, 32, {}, {}});
        sound->left[0] = static_cast<int16_t>(i + 1);
        row.record = sound;
        ASSERT_TRUE(model.PutRow(i, row));
        ASSERT_TRUE(history.Push(QString::number(i), {{i, RowState{}, model.TakeRow(i)}}));
    }
    EXPECT_EQ(history.Stack().count(), 2);
    EXPECT_LE(history.Bytes(), 2 * step + step / 2);
    EXPECT_TRUE(history.Undo());
    EXPECT_TRUE(history.Undo());
    EXPECT_FALSE(history.Undo());
    EXPECT_TRUE(model.IsSlotLoaded(0));
    EXPECT_FALSE(model.IsSlotLoaded(1));
    EXPECT_FALSE(model.IsSlotLoaded(2));
    EXPECT_TRUE(history.Redo());
    EXPECT_EQ(model.TakeRow(1).record->left[0], 2);
}

// The copies of a bank, newest first, set against the card's bank; a copy's
// rows play without touching the slots, and Restore to card puts it back
// after the replace question, the card's bank kept as the newest copy.
TEST_F(WindowTest, EarlierVersionsListCompareAndRestore) {
    Open();
    const auto bankWith = [this](const std::string& path, int row) {
        auto image = std::make_unique<VoiceBankImage>();
        EXPECT_TRUE(InitVoiceBankImage(image.get()));
        image->voices[size_t(row)] = AudioData{1, 44100, 16, 32, {}, {}};
        // Written under the bank's own name, as a backup copy is.
        EXPECT_TRUE(ExportImageToFile(*image, dir.file("KIT.glw").c_str()));
        std::filesystem::rename(dir.file("KIT.glw"), dir.file(path));
        return dir.file(path);
    };
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("backups/KIT"))));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("card/gridlume"))));
    const std::string older = bankWith("backups/KIT/KIT-20260101-000000.glw", 2);
    const std::string newer = bankWith("backups/KIT/KIT-20260102-000000.glw", 5);
    std::filesystem::last_write_time(
        older, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    const QString card = QString::fromStdString(bankWith("card/gridlume/KIT.glw", 5));

    EarlierVersionsDialog dialog(*model, "KIT", card, dir.file("backups"), window.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.IsListed(); }, apptest::WaitMs));
    ASSERT_EQ(dialog.Versions().size(), 2u);
    EXPECT_EQ(dialog.Versions()[0].path, newer);
    EXPECT_EQ(dialog.VersionList()->item(0)->text(),
              "2026-01-02 00:00:00 UTC, 1 row, same as the card");
    EXPECT_EQ(dialog.VersionList()->item(1)->text(),
              "2026-01-01 00:00:00 UTC, 1 row, differs in rows 3, 6");
    dialog.VersionList()->setCurrentRow(1);
    EXPECT_TRUE(dialog.PlayRow(2));
    EXPECT_FALSE(dialog.PlayRow(5));
    EXPECT_EQ(model->CountLoadedSlots(), 0);

    std::optional<QString> restored;
    QObject::connect(&dialog, &EarlierVersionsDialog::Restored,
                     [&restored](const QString& reason) { restored = reason; });
    dialog.RestoreSelected();
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored && dialog.IsListed(); }, apptest::WaitMs));
    EXPECT_EQ(*restored, QString());
    EXPECT_EQ(messages, std::vector<int>{IdsReplaceFile});
    QFile a(card), b(QString::fromStdString(older));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    EXPECT_EQ(dialog.Versions().size(), 2u);  // the card's bank equalled the newest copy
}

// A row whose reload is cancelled by a clear leaves the rest of its change
// one step of its own, after the clear, and each undo puts back what it
// changed.
TEST_F(WindowTest, AChangeCutShortByAClearKeepsItsOtherRows) {
    Open();
    ASSERT_TRUE(Load(0, Wav("a.wav")));
    ASSERT_TRUE(Load(1, Wav("b.wav")));
    VoiceOptions quieter;
    quieter.normalize = true;
    quieter.normalizeDbfs = -12.0;
    ASSERT_TRUE(window->Levels().ApplyRowOptions({{0, quieter}, {1, quieter}}));
    ASSERT_TRUE(window->Loads().ClearSlotRow(1));
    Settle();
    ASSERT_EQ(model->SlotOptions(0), quieter);
    ASSERT_EQ(window->History().Stack().undoText(), "change the rows' options");

    ASSERT_TRUE(window->History().UndoRowChange());
    EXPECT_EQ(model->SlotOptions(0), VoiceOptions{});
    EXPECT_FALSE(model->IsSlotLoaded(1));
    ASSERT_TRUE(window->History().UndoRowChange());
    EXPECT_TRUE(model->IsSlotLoaded(1));
    EXPECT_EQ(model->SlotOptions(1), VoiceOptions{});
    EXPECT_EQ(window->History().Stack().undoText(), "load row 2");
}
