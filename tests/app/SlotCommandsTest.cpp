#include <QListWidget>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "controls/FileNameEdit.h"
#include "res/SkinResources.h"
#include "res/StringTable.h"
#include "savedlg/SaveBankDialog.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace {

using apptest::WindowTest;
namespace fs = std::filesystem;

TEST_F(WindowTest, FirstLoadEnablesSaveAndClearingTheLastDisablesIt) {
    Open();
    SkinButton* save = SaveButton();
    ASSERT_EQ(save->GetNormalBitmap(), Bmp(BmpSaveDisabled));
    const QString path = Wav("kick drum.wav");
    ASSERT_TRUE(Load(0, path));
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(save->GetNormalBitmap(), Bmp(BmpSaveNormal));
    EXPECT_EQ(Label(0)->text(), "kick drum");
    EXPECT_EQ(window->Context().SlotPath(0), path);
    EXPECT_TRUE(ClearButton(0)->isEnabled());
    EXPECT_EQ(ClearButton(0)->GetNormalBitmap(), Bmp(BmpClearNormal));
    EXPECT_EQ(PlayButton(0)->GetNormalBitmap(), Bmp(BmpPlayNormal));
    EXPECT_EQ(PlayButton(0)->GetHoverBitmap(), Bmp(BmpPlayHover));

    ASSERT_TRUE(Load(9, Wav("snare.wav")));
    ASSERT_TRUE(window->Loads().ClearSlotRow(0));
    EXPECT_TRUE(save->isEnabled());  // slot 9 still loaded
    ASSERT_TRUE(window->Loads().ClearSlotRow(9));
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(save->GetNormalBitmap(), Bmp(BmpSaveDisabled));
    EXPECT_EQ(window->Context().SlotPath(9), "");
    EXPECT_TRUE(messages.empty());
}

// Loads that fail while the box of another is up: their boxes come one
// after another, never one inside the other.
TEST_F(WindowTest, BoxesOfFailedLoadsComeOneAfterAnother) {
    Open();
    const std::string bad = dir.file("bad.wav");
    ASSERT_TRUE(testsupport::WriteFile(bad, testsupport::Bytes(100, 0x41)));
    std::vector<int> failed;
    QObject::connect(&window->Loads(), &LoadController::RowLoadFinished, window.get(),
                     [&failed](int slot, bool loaded) {
                         if (!loaded) failed.push_back(slot);
                     });
    // The first box stays up until both loads have been delivered.
    holdBoxes = [this] { return window->Context().jobs.IsBusy(); };
    ASSERT_TRUE(window->Loads().LoadSlot(0, QString::fromStdString(bad), true));
    ASSERT_TRUE(window->Loads().LoadSlot(1, QString::fromStdString(bad), true));
    ASSERT_TRUE(QTest::qWaitFor([&failed] { return failed.size() == 2; }, apptest::WaitMs));
    EXPECT_EQ(messages, (std::vector<int>{IdsLoadError, IdsLoadError}));
    EXPECT_EQ(openBoxes, (std::vector<int>{1, 1}));
    // The two rows' loads run side by side: either may finish first.
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, (std::vector<int>{0, 1}));
}

TEST_F(WindowTest, LoadingIntoAFilledSlotReplacesIt) {
    Open();
    ASSERT_TRUE(Load(4, Wav("one.wav")));
    const QString two = Wav("two.wav", 1);
    ASSERT_TRUE(Load(4, two));
    EXPECT_EQ(Label(4)->text(), "two");
    EXPECT_EQ(window->Context().SlotPath(4), two);
    EXPECT_TRUE(PlayButton(4)->isEnabled());
    EXPECT_EQ(window->Context().model.CountLoadedSlots(), 1);
}

TEST_F(WindowTest, FailedLoadLeavesTheRowAsItWasAndShows106) {
    Open();
    const QString good = Wav("good.wav");
    ASSERT_TRUE(Load(2, good));
    const std::string bad = dir.file("bad.wav");
    ASSERT_TRUE(testsupport::WriteFile(bad, testsupport::Bytes(100, 0x41)));
    EXPECT_FALSE(Load(2, QString::fromStdString(bad)));
    EXPECT_EQ(messages, std::vector<int>{IdsLoadError});
    EXPECT_EQ(Label(2)->text(), "good");
    EXPECT_EQ(window->Context().SlotPath(2), good);
    EXPECT_TRUE(PlayButton(2)->isEnabled());
    EXPECT_TRUE(window->Context().model.IsSlotLoaded(2));
    // The load button is marked until the pointer moves elsewhere.
    EXPECT_TRUE(LoadButton(2)->IsHoverSet());
    QTest::mouseMove(Label(9), QPoint(3, 3));
    EXPECT_FALSE(LoadButton(2)->IsHoverSet());

    // Into an empty row, without messages: stays empty, nothing remembered.
    messages.clear();
    EXPECT_FALSE(Load(5, QString::fromStdString(bad), false));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->Context().SlotPath(5), "");
    EXPECT_FALSE(PlayButton(5)->isEnabled());
}

TEST_F(WindowTest, RefusedFileShows106WithItsReasonAndConvertTurnsConversionOn) {
    Open();
    const std::string path = dir.file("take 32k.wav");
    ASSERT_TRUE(testsupport::WriteFile(
        path, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 32000, 16000))));
    const QString file = QString::fromStdString(path);
    EXPECT_FALSE(Load(3, file));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].stringId, IdsLoadError);
    EXPECT_TRUE(requests[0].informativeText.startsWith("unsupported sample rate 32000 Hz"));
    EXPECT_TRUE(requests[0].buttons.testFlag(QMessageBox::Apply));
    EXPECT_FALSE(window->Loads().ConvertFormats());

    answer = QMessageBox::Apply;  // Convert
    EXPECT_TRUE(Load(3, file));
    EXPECT_TRUE(window->Loads().ConvertFormats());
    EXPECT_TRUE(window->Context().model.IsSlotLoaded(3));

    // With conversion on, a file neither reader takes gives both reasons and
    // no Convert.
    const std::string text = dir.file("notes.wav");
    ASSERT_TRUE(testsupport::WriteFile(text, testsupport::Bytes(100, 0x41)));
    requests.clear();
    EXPECT_FALSE(Load(4, QString::fromStdString(text)));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].informativeText.contains("the converter cannot read it either"));
    EXPECT_FALSE(requests[0].buttons.testFlag(QMessageBox::Apply));

    // The option is kept, and restored rows convert again.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(ReadIni().contains("[Options]\nConvertFormats=1"));
    Open();
    EXPECT_TRUE(window->Loads().ConvertFormats());
    EXPECT_TRUE(window->Context().model.IsSlotLoaded(3));
    window->Loads().SetConvertFormats(false);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(ReadIni().contains("ConvertFormats=0"));
}

TEST_F(WindowTest, OverLongPathIsAFailedLoad) {
    Open();
    QString path = QString::fromStdString(dir.path());
    while (path.size() < PATH_MAX + 20) path += "/abcdefghij";
    path += ".wav";
    EXPECT_FALSE(Load(1, path));
    EXPECT_EQ(messages, std::vector<int>{IdsLoadError});
    EXPECT_EQ(window->Context().SlotPath(1), "");
    // An empty path is no load at all.
    messages.clear();
    EXPECT_TRUE(Load(1, QString()));
    EXPECT_FALSE(Load(16, Wav("x.wav")));
    EXPECT_FALSE(Load(-1, Wav("x.wav")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, DroppingOneFileLoadsItAndTwoFilesShow109) {
    Open();
    const QString one = Wav("dropped.wav");
    Drop(Label(5), {one});
    Settle();
    EXPECT_EQ(Label(5)->text(), "dropped");
    EXPECT_EQ(window->Context().SlotPath(5), one);
    EXPECT_FALSE(LoadButton(5)->IsHoverSet());  // hover only while dragging

    // The drag over the label lights the row's load button.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(one)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(Label(8), &enter);
    EXPECT_TRUE(LoadButton(8)->IsHoverSet());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(Label(8), &leave);
    EXPECT_FALSE(LoadButton(8)->IsHoverSet());

    Drop(LoadButton(6), {Wav("a.wav"), Wav("b.wav")});
    EXPECT_EQ(messages, std::vector<int>{IdsMultipleFiles});
    EXPECT_EQ(Label(6)->text(), "");
    EXPECT_EQ(window->Context().model.CountLoadedSlots(), 1);

    // A bad file dropped onto a loaded row: 106, row kept.
    messages.clear();
    const std::string bad = dir.file("text.wav");
    ASSERT_TRUE(testsupport::WriteFile(bad, testsupport::Bytes(64, 0x20)));
    Drop(Label(5), {QString::fromStdString(bad)});
    Settle();
    EXPECT_EQ(messages, std::vector<int>{IdsLoadError});
    EXPECT_EQ(Label(5)->text(), "dropped");
}

TEST_F(WindowTest, OnlyOneSlotSoundsAtATime) {
    Open();
    ASSERT_TRUE(Load(3, Wav("three.wav", 2, 44100)));
    ASSERT_TRUE(Load(7, Wav("seven.wav", 2, 44100)));
    QTest::mouseClick(PlayButton(7), Qt::LeftButton);
    ASSERT_TRUE(window->Context().model.IsSlotPlaying(7));
    EXPECT_EQ(PlayButton(7)->GetNormalBitmap(), Bmp(BmpPlayPlaying));
    EXPECT_EQ(PlayButton(7)->GetHoverBitmap(), Bmp(BmpPlayPlaying));

    ASSERT_TRUE(window->Loads().PlaySlotRow(3));
    EXPECT_FALSE(window->Context().model.IsSlotPlaying(7));
    EXPECT_TRUE(window->Context().model.IsSlotPlaying(3));
    EXPECT_EQ(PlayButton(3)->GetNormalBitmap(), Bmp(BmpPlayPlaying));
    // Slot 7's watcher notices the stop and restores the stopped look.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return PlayButton(7)->GetNormalBitmap() == Bmp(BmpPlayNormal); }, 5000));
    EXPECT_EQ(PlayButton(7)->GetPressedBitmap(), Bmp(BmpPlayPressed));

    // Playing the sounding slot again starts it over; it still sounds.
    ASSERT_TRUE(window->Loads().PlaySlotRow(3));
    EXPECT_TRUE(window->Context().model.IsSlotPlaying(3));
    // An empty slot cannot play; nothing else is disturbed by the refusal
    // beyond the stop.
    EXPECT_FALSE(window->Loads().PlaySlotRow(0));
    EXPECT_FALSE(window->Loads().PlaySlotRow(16));

    // At the end of the sound the look returns by itself.
    ASSERT_TRUE(window->Loads().PlaySlotRow(7));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return PlayButton(7)->GetNormalBitmap() == Bmp(BmpPlayNormal); }, 5000));
    // A row set loaded while it plays keeps the playing look.
    ASSERT_TRUE(window->Loads().PlaySlotRow(3));
    ASSERT_TRUE(window->Context().rows->SetRowState(3, true));
    EXPECT_EQ(PlayButton(3)->GetNormalBitmap(), Bmp(BmpPlayPlaying));
}

// Until the save dialog's volumes are listed or its look at the card is
// done.
void SettleSaveDialog(QWidget* modal) {
    auto* dialog = qobject_cast<SaveBankDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([dialog] { return !dialog->IsBusy(); }, apptest::WaitMs));
}

class SaveTest : public WindowTest {
protected:
    testsupport::TempDir card;
    testsupport::TempDir otherCard;
    QString cardRoot;
    QString otherRoot;

    void SetUp() override {
        cardRoot = QString::fromStdString(card.path() + "/");
        otherRoot = QString::fromStdString(otherCard.path() + "/");
        volumes.volumes.push_back({card.path() + "/", "CARD (" + card.path() + ")"});
        volumes.volumes.push_back({otherCard.path() + "/", "OTHER (" + otherCard.path() + ")"});
        WriteIni("[LoadVolumeInfo]\nVolume=" + otherRoot.toUtf8() + "\n");
        Open();
        ASSERT_TRUE(Load(0, Wav("voice.wav")));
    }

    // Presses Save; in the save dialog picks row volumeRow, names the bank
    // and presses its Save. Returns the name the dialog was opened with.
    QString SaveAs(int volumeRow, const QString& name) {
        QString offered;
        apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
            SettleSaveDialog(modal);
            auto* list = modal->findChild<QListWidget*>("volumes");
            auto* edit = modal->findChild<FileNameEdit*>("fileName");
            offered = edit->text();
            list->setCurrentRow(volumeRow);
            edit->setText(name);
            QTest::mouseClick(modal->findChild<QPushButton*>("save"), Qt::LeftButton);
            SettleSaveDialog(modal);
            if (modal->isVisible()) qobject_cast<QDialog*>(modal)->reject();
        });
        QTest::mouseClick(SaveButton(), Qt::LeftButton);
        EXPECT_TRUE(
            QTest::qWaitFor([this] { return !window->Saves().IsSaving(); }, apptest::WaitMs));
        return offered;
    }
};

TEST_F(SaveTest, SuccessfulSaveWritesTheBankAndRemembersTheVolume) {
    EXPECT_EQ(window->Context().lastVolume, otherRoot);
    const QString offered = SaveAs(0, "MYBANK");
    EXPECT_EQ(offered.size(), 15);
    EXPECT_TRUE(offered.endsWith("-VOICE"));
    EXPECT_TRUE(messages.empty());
    const fs::path bank = fs::path(card.path()) / "gridlume" / "MYBANK.glw";
    ASSERT_TRUE(fs::exists(bank));
    EXPECT_GT(fs::file_size(bank), 2144u);
    EXPECT_EQ(window->Context().lastVolume, cardRoot);
    window->reject();
    EXPECT_TRUE(ReadIni().contains("Volume=" + cardRoot.toUtf8() + "\n"));
}

#ifdef GLW_TOOL_EXE
TEST_F(SaveTest, SavedBankEqualsTheCommandLineToolsBank) {
    const QString kick = Wav("kick.wav", 1, 30000);
    const std::string aiff = dir.file("pad.aiff");
    ASSERT_TRUE(testsupport::WriteFile(
        aiff, testsupport::MakeAiff(testsupport::MakeRamp(2, 8, 22050, 40000))));
    ASSERT_TRUE(Load(4, kick));
    ASSERT_TRUE(Load(15, QString::fromStdString(aiff)));
    SaveAs(0, "CMP-1");
    ASSERT_TRUE(messages.empty());
    const std::string saved = card.path() + "/gridlume/CMP-1.glw";
    const std::string model = dir.file("CMP-1.glw");
    QProcess tool;
    tool.start(GLW_TOOL_EXE, {"build", QString::fromStdString(model),
                              "1=" + QString::fromStdString(dir.file("voice.wav")), "5=" + kick,
                              "16=" + QString::fromStdString(aiff)});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    const testsupport::Bytes ours = testsupport::ReadFile(saved);
    ASSERT_FALSE(ours.empty());
    EXPECT_TRUE(ours == testsupport::ReadFile(model));
}
#endif

TEST_F(SaveTest, FailedExportShows104AndComesBackToTheDialogWithTheNameKept) {
    // A folder standing where the bank should go: the dialog asks before
    // replacing (answered yes), the write fails.
    fs::create_directories(fs::path(card.path()) / "gridlume" / "MYBANK.glw" / "inside");
    answer = QMessageBox::Ok;
    QString again;
    int againRow = -1;
    apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
        SettleSaveDialog(modal);
        modal->findChild<QListWidget*>("volumes")->setCurrentRow(0);
        modal->findChild<FileNameEdit*>("fileName")->setText("MYBANK");
        QTest::mouseClick(modal->findChild<QPushButton*>("save"), Qt::LeftButton);
        // Closed, so that the dialog looked for next is the one that comes back.
        SettleSaveDialog(modal);
        ASSERT_FALSE(modal->isVisible());
        // After the failure the dialog is back, as the musician left it.
        apptest::WhenModalAppears(window.get(), [&](QWidget* back) {
            SettleSaveDialog(back);
            again = back->findChild<FileNameEdit*>("fileName")->text();
            againRow = back->findChild<QListWidget*>("volumes")->currentRow();
            qobject_cast<QDialog*>(back)->reject();
        });
    });
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !again.isEmpty(); }, apptest::WaitMs));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), IdsSaveError);
    EXPECT_EQ(again, "MYBANK");
    EXPECT_EQ(againRow, 0);
    EXPECT_EQ(window->Context().lastVolume, otherRoot);
    window->reject();
    EXPECT_TRUE(ReadIni().contains("Volume=" + otherRoot.toUtf8() + "\n"));
}

TEST_F(SaveTest, ASecondSaveProposesTheFirstsNameAndItsEarlierVersionsAreListed) {
    EXPECT_FALSE(window->History().ShowEarlierVersions());  // no bank yet
    EXPECT_TRUE(SaveAs(1, "SAVEDTWICE").endsWith("-VOICE"));
    ASSERT_TRUE(Load(1, Wav("other.wav")));
    // The replace question is answered yes; the bank replaced is kept.
    EXPECT_EQ(SaveAs(1, "SAVEDTWICE"), "SAVEDTWICE");
    ASSERT_EQ(messages, std::vector<int>{IdsReplaceFile});
    QString title;
    int versions = -1;
    apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
        title = modal->windowTitle();
        auto* list = modal->findChild<QListWidget*>();
        (void)QTest::qWaitFor([list] { return list != nullptr && list->count() > 0; }, 5000);
        versions = list != nullptr ? list->count() : -1;
        qobject_cast<QDialog*>(modal)->reject();
    });
    (void)window->History().ShowEarlierVersions();
    EXPECT_EQ(title, "Earlier versions of SAVEDTWICE");
    EXPECT_GE(versions, 1);
}

TEST_F(SaveTest, ABankFromOutsideACardIsProposedOnTheRememberedVolumeUnderItsStoredName) {
    // A backup copy: its file name breaks the rule, its name field keeps it.
    auto image = std::make_unique<VoiceBankImage>();
    ASSERT_TRUE(InitVoiceBankImage(image.get()));
    image->voices[3] = AudioData{1, 44100, 16, 64, {}, {}};
    ASSERT_TRUE(FillVoiceAddresses(image.get(), "DRUMS-1"));
    std::vector<uint8_t> file;
    ASSERT_TRUE(BuildVoiceBankFile(image.get(), &file));
    const std::string backup = dir.file("DRUMS-1-20261209-114734.glw");
    ASSERT_TRUE(testsupport::WriteFile(backup, file));
    ASSERT_TRUE(window->Banks().OpenBankFile(QString::fromStdString(backup)));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return !window->Banks().IsOpeningBank(); }, apptest::WaitMs));
    messages.clear();  // the question before the rows were replaced
    QString offered;
    int row = -1;
    apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
        SettleSaveDialog(modal);
        offered = modal->findChild<FileNameEdit*>("fileName")->text();
        row = modal->findChild<QListWidget*>("volumes")->currentRow();
        QTest::mouseClick(modal->findChild<QPushButton*>("save"), Qt::LeftButton);
    });
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    // The rows wait, with Save, until the worker reports.
    EXPECT_TRUE(window->Saves().IsSaving() && !SaveButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->Saves().IsSaving(); }, apptest::WaitMs));
    EXPECT_TRUE(SaveButton()->isEnabled());
    EXPECT_EQ(offered, "DRUMS-1");
    EXPECT_EQ(row, 1);  // the remembered volume
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(fs::exists(fs::path(otherCard.path()) / "gridlume" / "DRUMS-1.glw"));
}

TEST_F(SaveTest, CancelledSaveChangesNothing) {
    apptest::WhenModalAppears(window.get(), [](QWidget* modal) {
        QTest::mouseClick(modal->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    });
    QTest::mouseClick(SaveButton(), Qt::LeftButton);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->Context().lastVolume, otherRoot);
    EXPECT_FALSE(fs::exists(fs::path(card.path()) / "gridlume"));
}

}  // namespace
