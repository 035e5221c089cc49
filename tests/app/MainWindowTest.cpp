#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QMenu>
#include <QSet>

#include "AppTestSupport.h"
#include "res/AboutDialog.h"
#include "res/SkinResources.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace {

using apptest::WindowTest;

int CountKeys(const QByteArray& ini) {
    int keys = 0;
    for (const QByteArray& line : ini.split('\n')) {
        if (line.contains('=') && !line.startsWith('[')) ++keys;
    }
    return keys;
}

TEST_F(WindowTest, FreshStartShowsEmptyRowsAtTheOrigin) {
    Open();
    EXPECT_TRUE(window->Context().initialised);
    EXPECT_EQ(window->windowTitle(), "GRIDLUME User Voice Manager");
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_EQ(window->size(), QSize(640, 640));  // the client area
    EXPECT_TRUE(messages.empty());
    for (int slot = 0; slot < SlotCount; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_TRUE(LoadButton(slot)->isEnabled());
        EXPECT_FALSE(ClearButton(slot)->isEnabled());
        EXPECT_FALSE(PlayButton(slot)->isEnabled());
        EXPECT_NE(LoadButton(slot)->GetNormalBitmap(), nullptr);
        EXPECT_EQ(ClearButton(slot)->GetNormalBitmap(), Bmp(BmpClearDisabled));
        EXPECT_EQ(PlayButton(slot)->GetNormalBitmap(), Bmp(BmpPlayDisabled));
        EXPECT_EQ(LoadButton(slot)->GetFrameColor(), QColor(Qt::white));
        EXPECT_EQ(Label(slot)->text(), "");
    }
    SkinButton* save = SaveButton();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(save->GetNormalBitmap(), Bmp(BmpSaveDisabled));
    EXPECT_EQ(save->GetPressedBitmap(), Bmp(BmpSavePressed));
    EXPECT_EQ(CloseButton()->GetNormalBitmap(), Bmp(BmpCloseNormal));
    EXPECT_TRUE(CloseButton()->isEnabled());
}

TEST_F(WindowTest, ControlsSitAtTheirPixelPositions) {
    Open();
    // Slot 0 is the bottom row.
    EXPECT_EQ(LoadButton(0)->geometry(), QRect(109, 506, 25, 25));
    EXPECT_EQ(ClearButton(0)->geometry(), QRect(481, 506, 25, 25));
    EXPECT_EQ(PlayButton(0)->geometry(), QRect(508, 506, 25, 25));
    EXPECT_EQ(Label(0)->geometry(), QRect(146, 509, 323, 19));
    // The top row, and the two ids of slot 1 around the gap at 1007.
    EXPECT_EQ(LoadButton(15)->geometry(), QRect(109, 101, 25, 25));
    EXPECT_EQ(Label(15)->geometry(), QRect(146, 104, 323, 19));
    EXPECT_EQ(LoadButton(1)->geometry().y(), 479);
    EXPECT_EQ(CloseButton()->geometry(), QRect(292, 46, 58, 25));
    EXPECT_EQ(SaveButton()->geometry(), QRect(438, 554, 100, 39));
    EXPECT_EQ(window->Context().panel.geometry(), QRect(0, 0, 640, 640));
    // 16 labels and 50 buttons, nothing else.
    EXPECT_EQ(window->findChildren<SkinButton*>().size(), 50);
    EXPECT_EQ(window->findChildren<SlotLabel*>().size(), 16);
    // Every button speaks to a screen reader.
    for (const SkinButton* button : window->findChildren<SkinButton*>()) {
        EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
    }
    EXPECT_EQ(PlayButton(2)->accessibleName(), "Play row 3");
    // Each load button shows its own row number's art.
    EXPECT_EQ(LoadButton(3)->GetNormalBitmap()->toImage(),
              LoadSkinBitmap(BmpLoadNormalFirst + 3).toImage());
    EXPECT_EQ(LoadButton(3)->GetHoverBitmap()->toImage(),
              LoadSkinBitmap(BmpLoadHoverFirst + 3).toImage());
}

TEST_F(WindowTest, EscapeEndsWithCancelAfterClosingTheEngineAndSaves) {
    Open();
    ASSERT_TRUE(window->Context().model.IsOpen());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_FALSE(window->Context().model.IsOpen());  // engine closed
    const QByteArray ini = ReadIni();
    EXPECT_EQ(CountKeys(ini), 19) << ini.constData();
    EXPECT_TRUE(ini.contains("File16=\n"));
    EXPECT_TRUE(ini.contains("Volume=\n"));
}

TEST_F(WindowTest, TitleBarCloseEndsWithOkAndSaves) {
    Open();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_FALSE(window->Context().model.IsOpen());
    EXPECT_EQ(CountKeys(ReadIni()), 19);
}

TEST_F(WindowTest, CloseButtonEndsWithOk) {
    Open();
    QTest::mouseClick(CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(WindowTest, EnterNeverClosesTheWindow) {
    Open();
    QTest::keyClick(window.get(), Qt::Key_Return);
    QTest::keyClick(window.get(), Qt::Key_Enter, Qt::KeypadModifier);
    window->accept();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Context().model.IsOpen());
    EXPECT_TRUE(ReadIni().isEmpty());  // nothing saved yet
}

TEST_F(WindowTest, SavedPositionIsRestoredAndOneOffEveryScreenFallsBack) {
    WriteIni("[WindowInfo]\nPosX=120\nPosY=45\n");
    Open();
    EXPECT_EQ(window->pos(), QPoint(120, 45));
    window->reject();
    EXPECT_TRUE(ReadIni().contains("PosX=120"));
    window.reset();

    WriteIni("[WindowInfo]\nPosX=30000\nPosY=-30000\n");
    Open();
    EXPECT_EQ(window->pos(), QPoint(0, 0));
}

TEST(WindowPosition, KeptAsReadWhereThePlatformCannotReportIt) {
    const QPoint shown(0, 0);
    const QPoint read(300, 200);
    EXPECT_EQ(SettingsController::PositionToStore("wayland", shown, read), read);
    EXPECT_EQ(SettingsController::PositionToStore("wayland-egl", shown, read), read);
    EXPECT_EQ(SettingsController::PositionToStore("xcb", QPoint(5, 6), read), QPoint(5, 6));
    EXPECT_EQ(SettingsController::PositionToStore("offscreen", QPoint(5, 6), read), QPoint(5, 6));
}

TEST_F(WindowTest, AboutBoxFromThePanelsContextMenu) {
    Open();
    bool aboutShown = false;
    QString entry;
    // The menu is a popup, not a modal dialog: find it by polling.
    QTimer::singleShot(20, window.get(), [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        // Undo, Redo, Earlier versions, a separator, About, Open bank, the
        // converter option, Match levels, Fill rows from folder,
        // Browse sounds, Card, Record into row, Export bank, Import kit,
        // Roll rows from folders, Stop all sounds, MIDI input, Sound output
        ASSERT_EQ(menu->actions().size(), 18);
        // Each entry's access key is its own: a shared one only moves the
        // highlight between the entries instead of choosing one.
        QSet<QChar> keys;
        for (const QAction* action : menu->actions()) {
            const QString text = action->text();
            const qsizetype amp = text.indexOf('&');
            if (amp < 0 || amp + 1 >= text.size()) continue;
            const QChar key = text.at(amp + 1).toUpper();
            EXPECT_FALSE(keys.contains(key)) << text.toStdString();
            keys.insert(key);
        }
        QAction* about = menu->actions().at(4);
        entry = about->text();
        apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
            aboutShown = qobject_cast<AboutDialog*>(modal) != nullptr;
            qobject_cast<QDialog*>(modal)->accept();
        });
        menu->setActiveAction(about);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                            window->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(window.get(), &event);
    EXPECT_EQ(entry, LoadResString(IdsAboutMenu));
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, RowsRestoredAtStartArriveAfterTheWindowIsShownAndMissingOnesSayWhy) {
    // Markers in a name stay verbatim in the label and the tooltip.
    const QString four = Wav("fourth %1 row%2.wav");
    const QString thirteen = Wav("thirteen.aif.wav", 1);
    const QString gone = QString::fromStdString(dir.file("deleted.wav"));
    WriteIni("[FilePathInfo]\nFile04=" + four.toUtf8() + "\nFile13=" + thirteen.toUtf8() +
             "\nFile07=" + gone.toUtf8() + "\n[LoadVolumeInfo]\nVolume=/media/card/\n");
    Open(false);
    // Shown before any file is read: the rows wait, marked, their controls off.
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Context().model.CountLoadedSlots(), 0);
    EXPECT_TRUE(window->Context().IsRowBusy(3));
    EXPECT_FALSE(LoadButton(3)->isEnabled());
    EXPECT_EQ(Label(3)->text(), "fourth %1 row%2 (loading...)");
    Settle();
    EXPECT_TRUE(window->Context().AreRowsRestored());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(LoadButton(3)->isEnabled());
    EXPECT_EQ(Label(3)->text(), "fourth %1 row%2");
    EXPECT_EQ(Label(12)->text(), "thirteen.aif");
    EXPECT_TRUE(PlayButton(3)->isEnabled());
    EXPECT_TRUE(ClearButton(12)->isEnabled());
    EXPECT_EQ(window->Context().model.CountLoadedSlots(), 2);
    EXPECT_EQ(window->Context().lastVolume, "/media/card/");
    // The missing file's row holds no sound but shows its name dimmed, says
    // why, and the file is tried again next time.
    EXPECT_EQ(Label(6)->text(), "deleted");
    EXPECT_NE(Label(6)->palette().color(QPalette::WindowText),
              Label(3)->palette().color(QPalette::WindowText));
    EXPECT_TRUE(Label(6)->toolTip().startsWith(gone + "\nMissing: "))
        << Label(6)->toolTip().toStdString();
    EXPECT_FALSE(PlayButton(6)->isEnabled());
    EXPECT_TRUE(SaveButton()->isEnabled());
    EXPECT_EQ(SaveButton()->GetNormalBitmap(), Bmp(BmpSaveNormal));
    // The tooltip tells the whole story of the file.
    EXPECT_TRUE(Label(3)->toolTip().startsWith(four + "\nStereo, 44100 Hz, 16-bit\n"));
    EXPECT_TRUE(Label(3)->toolTip().contains("Stereo"));
    EXPECT_TRUE(Label(12)->toolTip().contains("Mono"));
    EXPECT_TRUE(Label(3)->toolTip().contains("44100 Hz, 16-bit"));
    // A screen reader hears the same text.
    EXPECT_EQ(Label(3)->accessibleDescription(), Label(3)->toolTip());

    QTest::keyClick(window.get(), Qt::Key_Escape);
    const QByteArray ini = ReadIni();
    EXPECT_TRUE(ini.contains("File07=" + gone.toUtf8() + "\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("Volume=/media/card/\n"));
    EXPECT_TRUE(ini.contains("File01=\n"));
}

TEST_F(WindowTest, ClearedSlotEmptiesItsKeyAtExit) {
    const QString path = Wav("a.wav");
    WriteIni("[FilePathInfo]\nFile02=" + path.toUtf8() + "\n");
    Open();
    ASSERT_TRUE(PlayButton(1)->isEnabled());
    QTest::mouseClick(ClearButton(1), Qt::LeftButton);
    EXPECT_EQ(Label(1)->text(), "");
    EXPECT_FALSE(ClearButton(1)->isEnabled());
    EXPECT_TRUE(LoadButton(1)->hasFocus() || !window->isActiveWindow());
    window->close();
    EXPECT_TRUE(ReadIni().contains("File02=\n"));
}

TEST_F(WindowTest, AStopReportedFromAWatcherReachesTheButtonOnTheWindowsThread) {
    Open();
    ASSERT_TRUE(Load(5, Wav("w.wav")));
    ASSERT_TRUE(window->Context().rows->SetPlayButtonState(5, true));
    std::thread watcher([&] {
        window->Context().rows->SlotChanged(5, SlotChange::Stopped);
        window->Context().rows->SlotChanged(16, SlotChange::Stopped);  // ignored
    });
    watcher.join();
    // Posted, not applied on the watcher's thread.
    EXPECT_EQ(PlayButton(5)->GetNormalBitmap(), Bmp(BmpPlayPlaying));
    QCoreApplication::processEvents();
    EXPECT_EQ(PlayButton(5)->GetNormalBitmap(), Bmp(BmpPlayNormal));
    EXPECT_EQ(PlayButton(5)->GetPressedBitmap(), Bmp(BmpPlayPressed));
}

TEST(WindowWithoutProfile, StopsAfterOpeningTheEngine) {
    SlotModel model;
    MainWindow window(model, nullptr);
    window.show();
    EXPECT_FALSE(window.Context().initialised);
    EXPECT_EQ(window.windowTitle(), "");
    EXPECT_TRUE(window.Context().model.IsOpen());
    EXPECT_FALSE(window.Settings().SaveSettings());
}

TEST(BankName, MonthDayHourLetterMinutesSeconds) {
    auto at = [](int month, int day, int h, int m, int s) {
        return SaveController::MakeBankName(QDateTime(QDate(2026, month, day), QTime(h, m, s)));
    };
    EXPECT_EQ(at(12, 7, 14, 5, 9), "1207E0509-VOICE");
    EXPECT_EQ(at(1, 1, 0, 0, 0), "010100000-VOICE");
    EXPECT_EQ(at(3, 9, 10, 59, 1), "0309A5901-VOICE");
    EXPECT_EQ(at(3, 9, 9, 1, 2), "030990102-VOICE");
    EXPECT_EQ(at(10, 31, 23, 59, 59), "1031N5959-VOICE");
    EXPECT_EQ(SaveController::MakeDefaultBankName().size(), 15);
}

}  // namespace

namespace bankrequests {

// A bank whose only filled row is row (0-based); returns its path.
QString MakeBank(const testsupport::TempDir& dir, const std::string& name, int row) {
    auto image = std::make_unique<VoiceBankImage>();
    EXPECT_TRUE(InitVoiceBankImage(image.get()));
    image->voices[size_t(row)] = AudioData{1, 44100, 16, 32, {}, {}};
    const std::string path = dir.file(name + ".glw");
    EXPECT_TRUE(ExportImageToFile(*image, path.c_str()));
    return QString::fromStdString(path);
}

}  // namespace bankrequests

// One question at a time: requests to open a bank that come while a dialog
// is open over the window (the row editor, the save dialog, an earlier
// question) wait for it, only the last is opened, and the rows take no
// clicks while it opens. A missing file is said to be missing.
TEST_F(WindowTest, BankRequestsWaitForAnOpenDialogAndOnlyTheLastIsOpened) {
    Open();
    const QString first = bankrequests::MakeBank(dir, "FIRST", 2);
    const QString last = bankrequests::MakeBank(dir, "LAST", 5);
    QDialog editor(window.get());
    editor.open();
    for (int i = 0; i < 5000; ++i)
        window->Banks().OpenBankLater(i % 2 == 0 ? first : QString::fromStdString(dir.path()));
    window->Banks().OpenBankLater(last);
    QTest::qWait(300);
    EXPECT_TRUE(window->Banks().IsOpeningBank());
    EXPECT_EQ(model->CountLoadedSlots(), 0);
    editor.reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Banks().IsOpeningBank(); }, apptest::WaitMs));
    EXPECT_TRUE(model->IsSlotLoaded(5));
    EXPECT_FALSE(model->IsSlotLoaded(2));
    EXPECT_EQ(Label(5)->text(), "LAST 06");
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(LoadButton(0)->isEnabled());

    ASSERT_TRUE(window->Banks().OpenBankFile(QString::fromStdString(dir.file("gone.glw"))));
    EXPECT_FALSE(LoadButton(0)->isEnabled());
    EXPECT_FALSE(PlayButton(5)->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Banks().IsOpeningBank(); }, apptest::WaitMs));
    EXPECT_EQ(messages, std::vector<int>{IdsOpenBankMissing});
    EXPECT_TRUE(model->IsSlotLoaded(5));
    EXPECT_TRUE(PlayButton(5)->isEnabled());
}

// Ctrl+O held: one file dialog, starting in the folder of the bank opened
// last, and the bank chosen there opens.
TEST_F(WindowTest, OpenBankAsksOnceFromTheOpenedBanksFolder) {
    Open();
    const QString first = bankrequests::MakeBank(dir, "FIRST", 2);
    const QString second = bankrequests::MakeBank(dir, "SECOND", 7);
    ASSERT_TRUE(window->Banks().OpenBankFile(first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->IsSlotLoaded(2); }, apptest::WaitMs));
    int dialogs = 0;
    QString startedIn;
    QTimer watcher;  // answers every file dialog while the test runs
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        if (++dialogs > 1) return dialog->reject();
        startedIn = dialog->directory().absolutePath();
        dialog->selectFile(second);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, protected there
    });
    watcher.start(5);
    for (int i = 0; i < 3; ++i) window->Banks().OnOpenBank();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->IsSlotLoaded(7); }, apptest::WaitMs));
    // A second dialog would come up at once: give it the time to.
    QTest::qWait(200);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(startedIn, QFileInfo(first).absolutePath());
}
