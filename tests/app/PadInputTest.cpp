#include <QSignalSpy>

#include <thread>

#include "AppTestSupport.h"
#include "FakeSoundDevice.h"
#include "app/PadInput.h"
#include "core/SlotModel.h"
#include "res/SkinResources.h"

namespace {

using apptest::WindowTest;

TEST(PadKeys, TheGridFollowsKeyPositionsNotLetters) {
    // X11/Wayland key codes: Z V A Q R 1 4.
    EXPECT_EQ(PadInput::RowForKey(52, Qt::Key_Z), 1);
    EXPECT_EQ(PadInput::RowForKey(55, Qt::Key_V), 4);
    EXPECT_EQ(PadInput::RowForKey(38, Qt::Key_A), 5);
    EXPECT_EQ(PadInput::RowForKey(27, Qt::Key_R), 12);
    EXPECT_EQ(PadInput::RowForKey(10, Qt::Key_1), 13);
    EXPECT_EQ(PadInput::RowForKey(13, Qt::Key_4), 16);
    // AZERTY: the key where QWERTY has Q says A and plays row 9; its W at
    // QWERTY's Z plays row 1.
    EXPECT_EQ(PadInput::RowForKey(24, Qt::Key_A), 9);
    EXPECT_EQ(PadInput::RowForKey(52, Qt::Key_W), 1);
    EXPECT_EQ(PadInput::RowForKey(29, Qt::Key_Y), 0);  // beside the grid
    // No scan code from the platform: the US layout's letters.
    EXPECT_EQ(PadInput::RowForKey(0, Qt::Key_X), 2);
    EXPECT_EQ(PadInput::RowForKey(0, Qt::Key_5), 0);
}

TEST_F(WindowTest, PadKeysSoundRowsTogetherAndBackspaceStopsThemAll) {
    Open();
    ASSERT_TRUE(Load(0, Wav("a.wav", 2, 44100)));
    ASSERT_TRUE(Load(1, Wav("b.wav", 2, 44100)));
    PlayButton(0)->setFocus();
    QTest::keyClick(PlayButton(0), Qt::Key_Z);
    ASSERT_TRUE(window->Context().model.IsSlotPlaying(0));
    QTest::keyClick(PlayButton(0), Qt::Key_X);
    EXPECT_TRUE(window->Context().model.IsSlotPlaying(0)) << "a pad stopped another row";
    EXPECT_TRUE(window->Context().model.IsSlotPlaying(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(PlayButton(1)->GetNormalBitmap(), Bmp(BmpPlayPlaying));

    QTest::keyClick(PlayButton(0), Qt::Key_Backspace);
    EXPECT_FALSE(window->Context().model.IsSlotPlaying(0));
    EXPECT_FALSE(window->Context().model.IsSlotPlaying(1));
    // A held key repeats: the repeats do not strike again, X11's neither
    // (a release and a press with one timestamp, not marked as a repeat).
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"), true);
    QCoreApplication::sendEvent(PlayButton(0), &repeat);
    EXPECT_FALSE(window->Context().model.IsSlotPlaying(0));
    const auto send = [&](QEvent::Type type, ulong time) {
        QKeyEvent key(type, Qt::Key_Z, Qt::NoModifier, 52, 0, 0, QStringLiteral("z"));
        key.setTimestamp(time);
        QCoreApplication::sendEvent(PlayButton(0), &key);
    };
    send(QEvent::KeyRelease, 500);
    send(QEvent::KeyPress, 500);
    EXPECT_FALSE(window->Context().model.IsSlotPlaying(0)) << "an X11 repeat struck";
    send(QEvent::KeyRelease, 530);
    send(QEvent::KeyPress, 900);
    EXPECT_TRUE(window->Context().model.IsSlotPlaying(0)) << "a fresh press did not strike";
}

// A note sounds on the input's thread, before the window's thread runs;
// the window then shows it. On a lost device the window's thread plays it,
// opening the device again.
TEST(PadMidi, NotesSoundOnTheirThreadAndALostDeviceIsLeftToTheWindow) {
    testsupport::TempDir dir;
    const std::string wav = dir.file("a.wav");
    ASSERT_TRUE(testsupport::WriteFile(
        wav, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 44100))));
    SlotModel model;
    ASSERT_TRUE(model.Open());
    ASSERT_TRUE(model.StoreRow(15, SlotModel::MakeRow(wav, {}, false)));
    PadInput pads(model);
    QSignalSpy struck(&pads, &PadInput::Struck);

    std::thread([&] { pads.PlayNote(59, 127); }).join();
    EXPECT_TRUE(model.IsSlotPlaying(15));
    EXPECT_EQ(struck.count(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(struck.count(), 1);
    EXPECT_EQ(struck.at(0).at(0).toInt(), 15);

    ASSERT_TRUE(model.StopAllSlots());
    enginetest::UnplugOpenDevices();
    std::thread([&] { pads.PlayNote(59, 127); }).join();
    EXPECT_FALSE(model.IsSlotPlaying(15));
    QCoreApplication::processEvents();
    EXPECT_TRUE(model.IsSlotPlaying(15)) << "the window's thread did not play it";
    EXPECT_EQ(struck.count(), 2);
}

}  // namespace
