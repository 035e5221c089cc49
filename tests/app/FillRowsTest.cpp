// Filling rows from several files: natural order upward from a row, one
// question before filled rows go, a word for files that find no row, the
// browser's drops, and the target row that clicks, keys and pads move.

#include <QKeyEvent>
#include <QMouseEvent>

#include "AppTestSupport.h"
#include "controls/FileDropTarget.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankImage.h"

using namespace apptest;

namespace {

using FillTest = WindowTest;

TEST_F(FillTest, TwentyFilesFromRow10FillTheRowsAboveInNaturalOrder) {
    Open();
    ASSERT_TRUE(Load(11, Wav("kept.wav")));
    QStringList files;
    for (int i = 20; i >= 1; --i) files << Wav("s" + std::to_string(i) + ".wav", 1, 64);

    answer = QMessageBox::Cancel;
    EXPECT_FALSE(window->PutFilesOnRows(files, 9));
    Settle();
    EXPECT_EQ(window->Model().CountLoadedSlots(), 1);
    EXPECT_EQ(window->TargetRow(), 0);

    answer = QMessageBox::Ok;
    requests.clear();
    EXPECT_TRUE(window->PutFilesOnRows(files, 9));
    Settle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].stringId, IdsReplaceFillRows);
    EXPECT_EQ(requests[0].informativeText,
              "Filled rows replaced: 12. 13 files did not fit: rows 10 to 16 were filled.");
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(Label(9 + i)->text(), QStringLiteral("s%1").arg(i + 1)) << i;
    EXPECT_EQ(window->Model().CountLoadedSlots(), 7);
    EXPECT_EQ(window->TargetRow(), 15);

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
    EXPECT_EQ(window->TargetRow(), 4);
}

TEST_F(FillTest, TargetRowFollowsClicksKeysAndPadsAndIsAnnounced) {
    Open();
    EXPECT_EQ(window->TargetRow(), 0);
    EXPECT_TRUE(Label(0)->HasTargetMark());
    EXPECT_TRUE(Label(0)->accessibleDescription().contains("Target row"));

    QTest::mouseClick(Label(6), Qt::LeftButton);
    EXPECT_EQ(window->TargetRow(), 6);
    EXPECT_FALSE(Label(0)->HasTargetMark());
    EXPECT_FALSE(Label(0)->accessibleDescription().contains("Target row"));
    EXPECT_TRUE(Label(6)->HasTargetMark());

    PlayButton(5)->setFocus();
    QTest::keyClick(PlayButton(5), Qt::Key_Up);
    EXPECT_EQ(window->TargetRow(), 7);
    QTest::keyClick(PlayButton(5), Qt::Key_Down);
    QTest::keyClick(PlayButton(5), Qt::Key_Down);
    EXPECT_EQ(window->TargetRow(), 5);

    // Z plays row 1 as a pad and makes it the target.
    QTest::keyClick(window.get(), Qt::Key_Z);
    EXPECT_EQ(window->TargetRow(), 0);

    // A single file takes the target row and moves the target up one.
    EXPECT_TRUE(window->PutFilesOnRows({Wav("one.wav")}));
    Settle();
    EXPECT_EQ(Label(0)->text(), "one");
    EXPECT_EQ(window->TargetRow(), 1);
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
    EXPECT_TRUE(window->PutFilesOnRows({Wav("a good.wav", 1, 441), deep, junk}, 4));
    Settle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].stringId, IdsLoadError);
    const QStringList lines = requests[0].informativeText.split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Row 6: b deep.wav: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Row 7: c junk.wav: ")) << lines[1].toStdString();
    EXPECT_TRUE(requests[0].buttons.testFlag(QMessageBox::Apply));
    EXPECT_TRUE(requests[0].informativeText.contains("1 of these files"));
    EXPECT_TRUE(window->Model().IsSlotLoaded(4));
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
    const QString out = window->RowFileForDrag(2);
    ASSERT_TRUE(out.endsWith("/kick.wav")) << out.toStdString();
    ASSERT_TRUE(Load(7, out));
    const auto image = window->Model().CopyBankImage();
    ASSERT_TRUE(image);
    const AudioData& a = image->voices[2];
    const AudioData& b = image->voices[7];
    ASSERT_EQ(a.frames, b.frames);
    ASSERT_EQ(a.channels, b.channels);
    EXPECT_TRUE(std::equal(a.left, a.left + a.frames, b.left));
    EXPECT_TRUE(std::equal(a.right, a.right + a.frames, b.right));
}

}  // namespace
