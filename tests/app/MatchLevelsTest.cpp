// "Match levels..." from the window: the rows measured off the GUI thread,
// Apply loads them at the loudness that matches them in one step, the
// tooltip and the profile say so, and the bank is the one glwtool builds
// with --match-loudness from the same files.

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QProcess>
#include <QPushButton>

#include <cmath>
#include <filesystem>

#include "AppTestSupport.h"
#include "app/MatchLevelsDialog.h"
#include "voicebank/VoiceBankBuilder.h"

namespace {

using apptest::WindowTest;

class MatchLevelsTest : public WindowTest {
protected:
    // Mono 1 kHz: half a second at amplitude a, then half at b.
    QString TwoLevels(const std::string& name, double a, double b) {
        testsupport::Pcm pcm = testsupport::MakeRamp(1, 16, 44100, 0);
        for (int i = 0; i < 44100; ++i) {
            const double v = (i < 22050 ? a : b) * std::sin(i * 2 * M_PI * 1000 / 44100);
            pcm.samples.push_back(static_cast<int16_t>(std::lround(v * 32767)));
        }
        const std::string path = dir.file(name);
        EXPECT_TRUE(testsupport::WriteFile(path, testsupport::MakeWav(pcm)));
        return QString::fromStdString(path);
    }
};

TEST_F(MatchLevelsTest, ApplySetsEveryRowsLoudnessAsGlwtoolDoes) {
    const QString loop = TwoLevels("loop.wav", 0.3, 0.095);  // 10 dB down half way
    const QString soft = TwoLevels("soft.wav", 0.05, 0.05);
    Open();
    VoiceOptions later;
    later.start = VoiceOptions::Start::At;
    later.startNanoseconds = 500000000;
    ASSERT_TRUE(Load(0, loop));
    ASSERT_TRUE(Load(1, loop, true, later));
    ASSERT_TRUE(Load(2, soft));

    bool shown = false;
    apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
        auto* dialog = qobject_cast<MatchLevelsDialog*>(modal);
        if (dialog == nullptr) return;
        shown = true;
        const QDeadlineTimer deadline(apptest::WaitMs);
        while (!dialog->IsMeasured() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(dialog->IsMeasured());
        // The median of -10.5, -20.5 and -26.0 LUFS.
        EXPECT_NEAR(dialog->Target(), -20.5, 0.15);
        EXPECT_TRUE(dialog->KeepGroupsBox()->isChecked());
        dialog->Buttons()->button(QDialogButtonBox::Apply)->click();
    });
    EXPECT_TRUE(window->Levels().MatchLevels());
    EXPECT_TRUE(shown);
    Settle();  // the rows load again in the background
    const VoiceOptions& first = model->SlotOptions(0);
    const VoiceOptions& second = model->SlotOptions(1);
    ASSERT_TRUE(first.loudness && second.loudness && model->SlotOptions(2).loudness)
        << DescribeBusy();
    EXPECT_EQ(second.start, VoiceOptions::Start::At);
    EXPECT_NEAR(first.loudnessLufs - second.loudnessLufs, 10.0, 0.15);
    EXPECT_TRUE(Label(1)->toolTip().endsWith(
        QStringLiteral("loudness %1 LUFS").arg(second.loudnessLufs, 0, 'f', 1)))
        << Label(1)->toolTip().toStdString();

#ifdef GLW_TOOL_EXE
    // One bank name: it is part of the file.
    std::filesystem::create_directory(dir.file("tool"));
    const std::string saved = dir.file("MATCH.glw");
    const std::string built = dir.file("tool/MATCH.glw");
    ASSERT_EQ(ExportImageToFile(*model->CopyBankImage(), saved.c_str()), 1);
    QProcess tool;
    tool.start(GLW_TOOL_EXE, {"build", "--match-loudness", "--start", "2=0.5",
                              QString::fromStdString(built), loop, loop, soft});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    EXPECT_TRUE(testsupport::ReadFile(saved) == testsupport::ReadFile(built));
#endif

    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(ReadIni().contains("Loudness01=")) << ReadIni().constData();
}

}  // namespace
