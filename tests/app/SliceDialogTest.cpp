// "Slice across rows..." from the window: the markers of a generated loop,
// editing them by hand, and Apply filling the rows glwtool build --slice
// fills from the same slices.

#include <QProcess>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>
#include <filesystem>

#include "AppTestSupport.h"
#include "FakeSoundDevice.h"
#include "app/SliceDialog.h"
#include "app/SliceView.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankBuilder.h"

namespace {

constexpr size_t kFrames = 88200;  // 2 s
const std::vector<size_t> kHits = {4410, 26000, 48000, 70000};

class SliceDialogTest : public apptest::WindowTest {
protected:
    // Mono bursts of decaying noise at kHits, silence between.
    QString Loop() {
        const testsupport::Pcm pcm = testsupport::MakeNoiseBursts(1, kFrames, kHits, 9000);
        const std::string path = dir.file("loop.wav");
        EXPECT_TRUE(testsupport::WriteFile(path, testsupport::MakeWav(pcm)));
        return QString::fromStdString(path);
    }

    // Opens the dialog on slot and runs act once its markers are shown;
    // act ends it. Returns what SliceAcrossRows returned.
    bool Slice(int slot, const std::function<void(SliceDialog*)>& act) {
        apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
            auto* dialog = qobject_cast<SliceDialog*>(modal);
            if (dialog == nullptr) return;
            WaitForMarkers(dialog);
            act(dialog);
        });
        const bool applied = window->Slices().SliceAcrossRows(slot);
        Settle();  // the rows load in the background
        return applied;
    }

    static void WaitForMarkers(SliceDialog* dialog) {
        const QDeadlineTimer deadline(apptest::WaitMs);
        while ((!dialog->IsAnalysed() || dialog->View()->Markers().empty()) &&
               !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    // The bank glwtool builds with args, beside the one the window saves,
    // both named name: equal byte for byte.
    void ExpectToolBankEqual(const std::string& name, QStringList args) {
#ifdef GLW_TOOL_EXE
        std::filesystem::create_directories(dir.file("tool"));
        const std::string saved = dir.file(name + ".glw");
        const std::string built = dir.file("tool/" + name + ".glw");
        ASSERT_EQ(ExportImageToFile(*model->CopyBankImage(), saved.c_str()), 1);
        args.prepend(QString::fromStdString(built));
        args.prepend(QStringLiteral("build"));
        QProcess tool;
        tool.start(GLW_TOOL_EXE, args);
        ASSERT_TRUE(tool.waitForFinished(30000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
        EXPECT_TRUE(testsupport::ReadFile(saved) == testsupport::ReadFile(built)) << name;
#else
        (void)name;
        (void)args;
#endif
    }
};

TEST_F(SliceDialogTest, MarkersFollowEditsAndApplyFillsTheRowsGlwtoolBuilds) {
    const QString loop = Loop();
    Open();
    ASSERT_TRUE(Load(0, loop));

    // A marker added by double-click makes a fifth slice; a click on it and
    // Delete take it away again; a double-click on a found marker removes it
    // and Cancel leaves every row as it was.
    ASSERT_FALSE(Slice(0, [this](SliceDialog* dialog) {
        SliceView* view = dialog->View();
        ASSERT_EQ(view->Markers().size(), kHits.size());
        for (size_t i = 0; i < kHits.size(); ++i) {
            const auto hit = static_cast<int64_t>(kHits[i]);
            EXPECT_LE(view->Markers()[i], hit);
            EXPECT_GE(view->Markers()[i] + 221, hit);  // 5 ms
        }
        const auto x = [view](int64_t frame) {
            return QPoint(static_cast<int>(frame * view->width() / static_cast<int64_t>(kFrames)),
                          view->height() / 2);
        };
        // A press between markers plays that slice, made on a worker.
        QTest::mousePress(view, Qt::LeftButton, {},
                          x((view->Markers()[0] + view->Markers()[1]) / 2));
        QTest::mouseRelease(view, Qt::LeftButton, {},
                            x((view->Markers()[0] + view->Markers()[1]) / 2));
        const QDeadlineTimer heard(apptest::WaitMs);
        while (enginetest::SourcesStarted() == 0 && !heard.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        EXPECT_GT(enginetest::SourcesStarted(), 0) << "the slice was not auditioned";
        QTest::mouseDClick(view, Qt::LeftButton, {}, x(37000));
        ASSERT_EQ(view->Markers().size(), kHits.size() + 1);
        EXPECT_EQ(dialog->Rows().size(), kHits.size() + 1);
        QTest::mouseClick(view, Qt::LeftButton, {}, x(view->Markers()[2]));
        QTest::keyClick(view, Qt::Key_Delete);
        EXPECT_EQ(view->Markers().size(), kHits.size());
        const int64_t second = view->Markers()[1];
        QTest::mouseDClick(view, Qt::LeftButton, {}, x(second));
        EXPECT_EQ(view->Markers().size(), kHits.size() - 1);
        EXPECT_EQ(dialog->Rows().size(), kHits.size() - 1);
        // Put back a few pixels past its hit, the marker goes to where the
        // hit's slice starts.
        QTest::mouseDClick(view, Qt::LeftButton, {}, x(static_cast<int64_t>(kHits[1]) + 300));
        ASSERT_EQ(view->Markers().size(), kHits.size());
        const QDeadlineTimer moved(apptest::WaitMs);
        while (view->Markers()[1] != second && !moved.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        EXPECT_EQ(view->Markers()[1], second);
        QTest::mouseDClick(view, Qt::LeftButton, {}, x(second));
        dialog->reject();
    }));
    for (int slot = 1; slot < 16; ++slot) EXPECT_FALSE(model->IsSlotLoaded(slot));

    // Apply with the hits as found, from row 3: rows 3 to 6, as glwtool
    // build --slice --first-row 3 makes them beside row 1's whole file.
    ASSERT_TRUE(Slice(0, [](SliceDialog* dialog) {
        for (QSpinBox* box : dialog->findChildren<QSpinBox*>()) {
            if (box->accessibleName() == QStringLiteral("First row")) box->setValue(3);
        }
        dialog->ApplyButton()->click();
    }));
    EXPECT_TRUE(messages.empty());
    for (int slot = 2; slot < 6; ++slot) {
        EXPECT_TRUE(model->IsSlotLoaded(slot)) << slot;
        EXPECT_GT(model->SlotOptions(slot).lengthNanoseconds, 0) << slot;
    }
    EXPECT_FALSE(model->IsSlotLoaded(6));
    // The slices read apart, numbered by their start; the whole file does not.
    EXPECT_EQ(Label(0)->text(), "loop");
    for (int slot = 2; slot < 6; ++slot)
        EXPECT_EQ(Label(slot)->text(), QStringLiteral("loop #%1").arg(slot - 1));
    EXPECT_TRUE(Label(3)->toolTip().contains("start 0.5"));
    ExpectToolBankEqual("SLICED", {"--slice", loop, "--first-row", "3", "1=" + loop});

    // Equal parts by tempo from row 1: 120 quarter notes a minute in
    // eighths are 0.25 s each, eight parts over the 2 s; filled rows are
    // replaced after one question.
    SliceSettings tempo;
    tempo.mode = SliceMode::Equal;
    tempo.tempo = 120.0;
    tempo.note = {1, 8};
    ASSERT_TRUE(Slice(0, [&](SliceDialog* dialog) {
        dialog->SetSettings(tempo);
        const QDeadlineTimer deadline(apptest::WaitMs);
        while (dialog->View()->Markers().size() != 8 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_EQ(dialog->View()->Markers().size(), 8u);
        EXPECT_EQ(dialog->View()->Markers()[3], 3 * 11025);
        dialog->ApplyButton()->click();
    }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back(), IdsReplaceSliceRows);
    for (int slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(model->SlotOptions(slot).lengthNanoseconds, 250000000) << slot;
    }
    ExpectToolBankEqual("TEMPO",
                        {"--slice", loop, "--tempo", "120", "--note", "1/8", "--mode", "equal"});
    EXPECT_EQ(Label(7)->text(), "loop #8");
    ASSERT_TRUE(window->Loads().ClearSlotRow(0));
    EXPECT_EQ(Label(1)->text(), "loop #1");
    EXPECT_EQ(Label(7)->text(), "loop #7");
}

}  // namespace

// Markers whose slices go to no row are ticks along the bottom: a long file
// cut into thousands of slices otherwise hid its waveform under solid marker
// colour.
TEST(SliceViewTest, MarkersPastTheLastRowAreTicks) {
    SliceView view;
    view.resize(800, 140);
    view.SetSource(80000, 44100, {});
    std::vector<int64_t> markers;
    for (int64_t i = 0; i < 40; ++i) markers.push_back(1000 + i * 1950);
    view.SetMarkers(markers);
    view.SetFirstRow(10);  // rows 11 to 16 take slices 1 to 6; marker 7 ends slice 6
    const QImage image = view.grab().toImage();
    const auto at = [&](size_t marker, int y) {
        return image.pixelColor(static_cast<int>(markers[marker] * 800 / 80000), y);
    };
    const QColor marker = at(2, 70);
    EXPECT_EQ(at(6, 70), marker);
    EXPECT_NE(at(7, 70), marker);
    EXPECT_EQ(at(7, 137), marker);
    EXPECT_NE(at(39, 70), marker);
}

// By keyboard: Right touches the first marker and picks its slice, the next
// Right the second; Shift+Left moves it a pixel, never onto the first.
TEST(SliceViewTest, KeysTouchMoveAndDeleteMarkers) {
    SliceView view;
    view.resize(800, 140);
    view.SetSource(80000, 44100, {});
    const std::vector<int64_t> markers = {1000, 2950, 4900};
    view.SetMarkers(markers);
    std::vector<int> picked;
    QObject::connect(&view, &SliceView::SliceClicked, [&](int index) { picked.push_back(index); });
    QTest::keyClick(&view, Qt::Key_Right);
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_EQ(picked, (std::vector<int>{0, 1}));
    QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view.Markers()[1], markers[1] - 100);  // 80,000 frames over 800 pixels
    for (int i = 0; i < 30; ++i) QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view.Markers()[1], markers[0] + 1);
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(view.Markers().size(), markers.size() - 1);
}
