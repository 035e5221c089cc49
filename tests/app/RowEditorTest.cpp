// The row editor from the window: OK gives the row its options and says so
// in its tooltip, Cancel leaves the row as it was, and the options live in
// the profile only for rows that have them.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

#include "AppTestSupport.h"
#include "app/RowEditorDialog.h"
#include "app/RowShapeBox.h"
#include "app/RowWaveformPane.h"
#include "app/WaveformView.h"

namespace {

using apptest::WindowTest;

class RowEditorTest : public WindowTest {
protected:
    // Mono, 44,100 Hz: 0.3 s of silence, then a 1 kHz tone for a second.
    QString SilenceThenTone(const std::string& name) {
        testsupport::Pcm pcm = testsupport::MakeRamp(1, 16, 44100, 0);
        for (int i = 0; i < 44100 * 13 / 10; ++i) {
            const double t = i < 13230 ? 0.0 : std::sin(i * 2 * M_PI * 1000 / 44100);
            pcm.samples.push_back(static_cast<int16_t>(std::lround(t * 16000)));
        }
        const std::string path = dir.file(name);
        EXPECT_TRUE(testsupport::WriteFile(path, testsupport::MakeWav(pcm)));
        return QString::fromStdString(path);
    }

    // Opens the row's editor by double-clicking its label and runs act on
    // it once its waveform is shown; act ends it. True when it was shown.
    bool Edit(int slot, const std::function<void(RowEditorDialog*)>& act) {
        bool shown = false;
        apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
            auto* editor = qobject_cast<RowEditorDialog*>(modal);
            if (editor == nullptr) return;
            shown = true;
            const QDeadlineTimer deadline(apptest::WaitMs);
            while (!editor->IsWaveformReady() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            EXPECT_TRUE(editor->IsWaveformReady());
            act(editor);
        });
        QTest::mouseDClick(Label(slot), Qt::LeftButton);
        Settle();  // the row loads again after OK
        return shown;
    }
};

TEST_F(RowEditorTest, OkLoadsTheRowWithTheChosenStartAndLevelCancelChangesNothing) {
    const QString path = SilenceThenTone("hit.wav");
    Open();
    ASSERT_TRUE(Load(0, path));
    const QString plainTip = Label(0)->toolTip();

    // Cancel after moving the start and asking for a level: the row stays.
    ASSERT_TRUE(Edit(0, [](RowEditorDialog* editor) {
        // The start can never leave less than 1 ms of the file to the row.
        editor->MoveStart(int64_t{1} << 40);
        EXPECT_EQ(editor->StartFrame(), 44100 * 13 / 10 - 44);
        editor->MoveStart(20000);
        editor->NormalizeBox()->setChecked(true);
        editor->reject();
    }));
    EXPECT_TRUE(model->SlotOptions(0).IsDefault());
    EXPECT_EQ(Label(0)->toolTip(), plainTip);

    ASSERT_TRUE(Edit(0, [](RowEditorDialog* editor) {
        editor->FirstSoundButton()->click();
        EXPECT_FALSE(editor->FirstSoundButton()->isEnabled());  // while it looks
        const QDeadlineTimer deadline(apptest::WaitMs);
        while (editor->IsBusy() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        editor->NormalizeBox()->setChecked(true);
        editor->accept();
    }));
    const VoiceOptions& options = model->SlotOptions(0);
    EXPECT_EQ(options.start, VoiceOptions::Start::FirstSound);
    EXPECT_TRUE(options.normalize);
    EXPECT_DOUBLE_EQ(options.normalizeDbfs, -1.0);
    SlotFormat format;
    ASSERT_TRUE(model->ReadSlotFormat(0, &format));
    // 1 ms before the tone's first sample of -40 dBFS or more.
    EXPECT_NEAR(format.startFrame, 13231 - 44, 1);
    EXPECT_TRUE(Label(0)->toolTip().startsWith(plainTip.section('\n', 0, 1)));
    EXPECT_TRUE(
        Label(0)->toolTip().endsWith("\nstart 0.299 s (first sound), normalized to "
                                     "-1.0 dBFS"))
        << Label(0)->toolTip().toStdString();

    // The editor opens on the row's choice; a Cancel keeps it.
    ASSERT_TRUE(Edit(0, [](RowEditorDialog* editor) {
        EXPECT_NEAR(editor->StartFrame(), 13231 - 44, 1);
        EXPECT_TRUE(editor->NormalizeBox()->isChecked());
        editor->MoveStart(0);
        editor->reject();
    }));
    EXPECT_EQ(model->SlotOptions(0), options);
}

// The detail zooms to single samples; a typed start (Enter keeps the editor
// open), reverse and pitch reach the row and its tooltip, and undo takes
// them back in one step.
TEST_F(RowEditorTest, TypedTimesAndShapesAreOneUndoStep) {
    Open();
    ASSERT_TRUE(Load(0, SilenceThenTone("hit.wav")));
    ASSERT_TRUE(Edit(0, [](RowEditorDialog* editor) {
        WaveformView* detail = editor->findChild<RowWaveformPane*>()->Detail();
        detail->setFocus();
        for (int i = 0; i < 20; ++i) QTest::keyClick(detail, Qt::Key_Plus);
        EXPECT_EQ(detail->VisibleCount(), 16);
        QLineEdit* start = editor->ShapeBox()->StartEdit();
        start->setFocus();
        start->selectAll();
        QTest::keyClicks(start, "0:00.5");
        QTest::keyClick(start, Qt::Key_Return);
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(editor->StartFrame(), 22050);
        EXPECT_EQ(start->text(), "0:00.500");
        editor->ShapeBox()->ReverseBox()->setChecked(true);
        editor->ShapeBox()->PitchBox()->setValue(-12);
        editor->accept();
    }));
    const VoiceOptions& options = model->SlotOptions(0);
    EXPECT_EQ(options.startNanoseconds, 500'000'000);
    EXPECT_TRUE(options.reverse);
    EXPECT_EQ(options.pitchCents, -1200);
    EXPECT_TRUE(Label(0)->toolTip().endsWith("\nstart 0.500 s, pitch -12 semitones, reversed"))
        << Label(0)->toolTip().toStdString();
    ASSERT_TRUE(window->History().UndoRowChange());
    Settle();
    EXPECT_TRUE(model->SlotOptions(0).IsDefault());
}

TEST_F(RowEditorTest, TheWindowsCloseAskedOverTheEditorCancelsItThenClosesTheWindow) {
    Open();
    ASSERT_TRUE(Load(0, SilenceThenTone("hit.wav")));
    ASSERT_TRUE(Edit(0, [this](RowEditorDialog* editor) {
        QTest::keyClick(editor, Qt::Key_Right);  // a change Cancel drops
        // What the window manager's close button reaches while the editor
        // blocks the window.
        window->Edits().OnBlockedCloseRequest();
        EXPECT_FALSE(editor->isVisible());
    }));
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->Context().closing; }, 5000));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_TRUE(model->SlotOptions(0).IsDefault());
    EXPECT_TRUE(ReadIni().contains("File01="));
}

TEST_F(RowEditorTest, ClosingTheEditorMidScanDropsTheFirstSoundAndFreesTheRow) {
    // A minute of silence, then a tone: the scan reads the whole minute.
    testsupport::Pcm pcm = testsupport::MakeRamp(1, 16, 44100, 0);
    pcm.samples.assign(44100 * 60, 0);
    for (int i = 0; i < 4410; ++i) pcm.samples.push_back(i % 2 == 0 ? 16000 : -16000);
    const std::string path = dir.file("late.wav");
    ASSERT_TRUE(testsupport::WriteFile(path, testsupport::MakeWav(pcm)));
    Open();
    ASSERT_TRUE(Load(0, QString::fromStdString(path)));

    ASSERT_TRUE(Edit(0, [](RowEditorDialog* editor) {
        editor->FirstSoundButton()->click();
        EXPECT_TRUE(editor->IsBusy());
        editor->reject();
    }));
    // The scan's answer never lands: the row stays as it was and is free.
    EXPECT_TRUE(model->SlotOptions(0).IsDefault());
    EXPECT_FALSE(window->Context().IsRowBusy(0));
    EXPECT_TRUE(LoadButton(0)->isEnabled());
    EXPECT_TRUE(Label(0)->isEnabled());
}

TEST_F(RowEditorTest, TheEditorsScanRunsOnItsOwnRunnerAndLeavesTheWindowsRowFree) {
    // A minute of silence: the scan for the first sound is still running
    // when the window is asked about the row.
    testsupport::Pcm pcm = testsupport::MakeRamp(1, 16, 44100, 0);
    pcm.samples.assign(44100 * 60, 0);
    const std::string path = dir.file("quiet.wav");
    ASSERT_TRUE(testsupport::WriteFile(path, testsupport::MakeWav(pcm)));
    Open();
    ASSERT_TRUE(Load(0, QString::fromStdString(path)));
    ASSERT_TRUE(Edit(0, [this](RowEditorDialog* editor) {
        editor->FirstSoundButton()->click();
        EXPECT_TRUE(editor->IsBusy());
        EXPECT_FALSE(window->Context().IsRowBusy(0));
        editor->reject();
    }));
}

TEST_F(RowEditorTest, OptionsLiveInTheirOwnSectionAndComeBackAtStart) {
    const QString a = Wav("a.wav", 2, 88200);
    const QString b = Wav("b.wav");
    WriteIni("[FilePathInfo]\nFile01=" + a.toUtf8() + "\nFile02=" + b.toUtf8() + "\n");
    // Without options the profile comes back byte for byte.
    Open();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    const QByteArray plain = ReadIni();
    EXPECT_FALSE(plain.contains("RowOptions"));
    Open();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(ReadIni(), plain);

    // Frame 33,075 at 44,100 Hz (0.75 s) is stored as seconds that give
    // the same frame back.
    Open();
    VoiceOptions start;
    start.start = VoiceOptions::Start::At;
    start.startNanoseconds = NanosecondsOfFrame(33075, 44100);
    ASSERT_TRUE(Load(0, a, true, start));
    VoiceOptions level;
    level.normalize = true;
    level.normalizeDbfs = -6.5;
    ASSERT_TRUE(Load(1, b, true, level));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    const QByteArray withOptions = ReadIni();
    EXPECT_TRUE(withOptions.contains("[RowOptions]\nNormalize02=-6.5\nStart01=0.75\n"))
        << withOptions.constData();

    Open();
    SlotFormat format;
    ASSERT_TRUE(model->ReadSlotFormat(0, &format));
    EXPECT_EQ(format.options, start);
    EXPECT_EQ(format.startFrame, 33075);
    EXPECT_EQ(model->SlotOptions(1), level);
    // Loading another file and clearing drop them, and their keys go.
    ASSERT_TRUE(Load(0, a));
    ASSERT_TRUE(window->Loads().ClearSlotRow(1));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(ReadIni().contains("RowOptions")) << ReadIni().constData();

    // A row whose file is missing keeps its options with its path.
    const QByteArray gone = QByteArray::fromStdString(dir.file("gone.wav"));
    WriteIni("[FilePathInfo]\nFile03=" + gone + "\n[RowOptions]\nStart03=auto\n");
    Open();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(ReadIni().contains("[RowOptions]\nStart03=auto\n")) << ReadIni().constData();
}

}  // namespace
