// Filling rows from several files: natural order upward from a row, one
// question before filled rows go, a word for files that find no row, the
// browser's drops, and the target row that clicks, keys and pads move.

#include <QKeyEvent>
#include <QMouseEvent>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "controls/FileDropTarget.h"
#include "core/RowFilesFolder.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankImage.h"

using namespace apptest;

namespace {

using FillTest = WindowTest;

// Files placed on rows take the rows' places, as glwtool's builds do: a
// row set to a level keeps it with the new sound; its start does not stay.
TEST_F(FillTest, AFilledRowKeepsItsLevelAndLosesItsStart) {
    Open();
    VoiceOptions level;
    level.normalize = true;
    level.normalizeDbfs = -6.0;
    level.start = VoiceOptions::Start::FirstSound;
    ASSERT_TRUE(Load(3, Wav("old.wav"), true, level));
    answer = QMessageBox::Ok;
    EXPECT_TRUE(window->Fill().PutFilesOnRows({Wav("a.wav"), Wav("b.wav")}, 3));
    Settle();
    const VoiceOptions& kept = window->Context().model.SlotOptions(3);
    EXPECT_TRUE(kept.normalize);
    EXPECT_EQ(kept.normalizeDbfs, -6.0);
    EXPECT_EQ(kept.start, VoiceOptions::Start::Beginning);
    EXPECT_TRUE(window->Context().model.SlotOptions(4).IsDefault());
}

TEST_F(FillTest, TwentyFilesFromRow10FillTheRowsAboveInNaturalOrder) {
    Open();
    ASSERT_TRUE(Load(11, Wav("kept.wav")));
    QStringList files;
    for (int i = 20; i >= 1; --i) files << Wav("s" + std::to_string(i) + ".wav", 1, 64);

    answer = QMessageBox::Cancel;
    EXPECT_FALSE(window->Fill().PutFilesOnRows(files, 9));
    Settle();
    EXPECT_EQ(window->Context().model.CountLoadedSlots(), 1);
    EXPECT_EQ(window->Fill().TargetRow(), 0);

    answer = QMessageBox::Ok;
    requests.clear();
    EXPECT_TRUE(window->Fill().PutFilesOnRows(files, 9));
    Settle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].stringId, IdsReplaceFillRows);
    EXPECT_EQ(requests[0].informativeText,
              "Filled rows replaced: 12. 13 files did not fit: rows 10 to 16 were filled.");
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(Label(9 + i)->text(), QStringLiteral("s%1").arg(i + 1)) << i;
    EXPECT_EQ(window->Context().model.CountLoadedSlots(), 7);
    EXPECT_EQ(window->Fill().TargetRow(), 15);

    // The browser's files dropped on a row fill from it without a question;
    // the target moves past them.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[19])});
    data.setData(QString::fromLatin1(FileDropTarget::BrowserFilesFormat), {});
    requests.clear();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(Label(2), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(Label(2), &drop);
    Settle();
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(Label(2)->text(), "s1");
    EXPECT_EQ(Label(3)->text(), "s20");
    EXPECT_EQ(window->Fill().TargetRow(), 4);
}

TEST_F(FillTest, TargetRowFollowsClicksKeysAndPadsAndIsAnnounced) {
    Open();
    EXPECT_EQ(window->Fill().TargetRow(), 0);
    EXPECT_TRUE(Label(0)->HasTargetMark());
    EXPECT_TRUE(Label(0)->accessibleDescription().contains("Target row"));

    QTest::mouseClick(Label(6), Qt::LeftButton);
    EXPECT_EQ(window->Fill().TargetRow(), 6);
    EXPECT_FALSE(Label(0)->HasTargetMark());
    EXPECT_FALSE(Label(0)->accessibleDescription().contains("Target row"));
    EXPECT_TRUE(Label(6)->HasTargetMark());

    PlayButton(5)->setFocus();
    QTest::keyClick(PlayButton(5), Qt::Key_Up);
    EXPECT_EQ(window->Fill().TargetRow(), 7);
    QTest::keyClick(PlayButton(5), Qt::Key_Down);
    QTest::keyClick(PlayButton(5), Qt::Key_Down);
    EXPECT_EQ(window->Fill().TargetRow(), 5);

    // Z plays row 1 as a pad and makes it the target.
    QTest::keyClick(window.get(), Qt::Key_Z);
    EXPECT_EQ(window->Fill().TargetRow(), 0);

    // A single file takes the target row and moves the target up one.
    EXPECT_TRUE(window->Fill().PutFilesOnRows({Wav("one.wav")}));
    Settle();
    EXPECT_EQ(Label(0)->text(), "one");
    EXPECT_EQ(window->Fill().TargetRow(), 1);
}

// A fill tells what the rows refused once, file by file and row by row,
// and offers the converter for the files it reads.
TEST_F(FillTest, RefusedFilesOfAFillAreToldOnceByRowAndFile) {
    Open();
    const QString deep = QString::fromStdString(dir.file("b deep.wav"));
    ASSERT_TRUE(testsupport::WriteFile(
        deep.toStdString(), testsupport::MakeWav(testsupport::MakeRamp(1, 24, 44100, 441))));
    const QString junk = QString::fromStdString(dir.file("c junk.wav"));
    ASSERT_TRUE(testsupport::WriteFile(junk.toStdString(), testsupport::Bytes(64, 7)));
    answer = QMessageBox::Ok;
    requests.clear();
    EXPECT_TRUE(window->Fill().PutFilesOnRows({Wav("a good.wav", 1, 441), deep, junk}, 4));
    Settle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].stringId, IdsLoadError);
    const QStringList lines = requests[0].informativeText.split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Row 6: b deep.wav: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Row 7: c junk.wav: ")) << lines[1].toStdString();
    EXPECT_TRUE(requests[0].buttons.testFlag(QMessageBox::Apply));
    EXPECT_TRUE(requests[0].informativeText.contains("1 of these files"));
    EXPECT_TRUE(window->Context().model.IsSlotLoaded(4));
}

}  // namespace

namespace {

// A pressed label writes its row as a marked WAV for the drag; that file
// loads back as exactly the same row.
TEST_F(FillTest, RowTakenOutLoadsBackAsTheSameRow) {
    Open();
    ASSERT_TRUE(Load(2, Wav("kick.wav", 2, 30000)));
    QTest::mousePress(Label(2), Qt::LeftButton);
    QTest::mouseRelease(Label(2), Qt::LeftButton);
    Settle();
    const QString out = window->Fill().RowFileForDrag(2);
    ASSERT_TRUE(out.endsWith("/kick.wav")) << out.toStdString();
    ASSERT_TRUE(Load(7, out));
    const auto image = window->Context().model.CopyBankImage();
    ASSERT_TRUE(image);
    const AudioData& a = image->voices[2];
    const AudioData& b = image->voices[7];
    ASSERT_EQ(a.frames, b.frames);
    ASSERT_EQ(a.channels, b.channels);
    EXPECT_TRUE(std::equal(a.left, a.left + a.frames, b.left));
    EXPECT_TRUE(std::equal(a.right, a.right + a.frames, b.right));
}

TEST_F(FillTest, RowDroppedOnARowIsKeptInTheDataFolderAndItsTemporaryFolderGoesWithTheWindow) {
    Open();
    ASSERT_TRUE(Load(2, Wav("Kick 3.wav", 2, 30000)));
    QTest::mousePress(Label(2), Qt::LeftButton);
    QTest::mouseRelease(Label(2), Qt::LeftButton);
    Settle();
    const std::string out = window->Fill().RowFileForDrag(2).toStdString();
    ASSERT_FALSE(out.empty());
    Drop(Label(7), {QString::fromStdString(out)});
    Settle();
    // The row refers to an exact copy kept beside the opened banks' rows.
    const std::string kept = window->Context().SlotPath(7).toStdString();
    EXPECT_EQ(kept.rfind((UserDataPath() + "/banks/rows/").toStdString(), 0), 0u) << kept;
    EXPECT_TRUE(kept.ends_with("/Kick 3.wav"));
    EXPECT_TRUE(testsupport::ReadFile(kept) == testsupport::ReadFile(out));
    EXPECT_TRUE(window->Context().model.IsSlotLoaded(7));
    const std::filesystem::path temporary = std::filesystem::path(out).parent_path().parent_path();
    window->reject();
    window.reset();
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_TRUE(ReadIni().contains("File08=" + QByteArray::fromStdString(kept)));
    EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST(RowFilesFolders, OnlyFoldersNoRunningWindowHoldsAreRemoved) {
    namespace fs = std::filesystem;
    testsupport::TempDir root;
    const std::string prefix = root.path() + "/" + RowFilesFolderPrefix;
    const auto made = [](const std::string& folder, bool lockFile, bool old) {
        fs::create_directories(folder + "/1");
        testsupport::WriteFile(folder + "/1/a.wav", {1, 2, 3});
        if (lockFile) testsupport::WriteFile(folder + "/.lock", {});
        if (old)
            fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::hours(1));
    };
    made(prefix + "DIEDAA", true, false);             // its window died: no lock held
    made(prefix + "OLDVER", false, true);             // an earlier version's, no lock file
    made(prefix + "YOUNGA", false, false);            // a window about to lock it
    made(prefix + "KEPTAA", true, true);              // a row of the profile refers to it
    made(prefix + "HELDAA", true, true);              // a running window holds it
    made(root.path() + "/other-DIEDAA", true, true);  // not ours
    const int held = ::open((prefix + "HELDAA/.lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    {
        auto live = std::make_unique<RowFilesFolder>(root.path());
        const std::string folder = live->Get();
        ASSERT_FALSE(folder.empty());
        EXPECT_TRUE(live->Holds(folder + "/3/b.wav"));
        EXPECT_FALSE(live->Holds(folder + "x/3/b.wav"));
        EXPECT_EQ(RemoveStaleRowFolders(root.path(), {prefix + "KEPTAA/1/a.wav"}), 2);
        EXPECT_TRUE(fs::exists(folder));
        for (const char* stays : {"YOUNGA", "KEPTAA", "HELDAA"})
            EXPECT_TRUE(fs::exists(prefix + stays));
        for (const char* gone : {"DIEDAA", "OLDVER"}) EXPECT_FALSE(fs::exists(prefix + gone));
        EXPECT_TRUE(fs::exists(root.path() + "/other-DIEDAA"));
        testsupport::WriteFile(folder + "/3/b.wav", {4});
        // The folder goes with its window.
        live.reset();
        EXPECT_FALSE(fs::exists(folder));
    }
    ::close(held);
}

}  // namespace
