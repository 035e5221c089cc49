// Recording in the window, over a capture device the test feeds: Ctrl+R
// puts the take on the target row as one undo step that the profile keeps,
// and a lost input is reported without a change.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "AppTestSupport.h"
#include "FakeCaptureDevice.h"
#include "app/RecordDialog.h"
#include "record/TakeFile.h"
#include "res/StringTable.h"

using namespace recordtest;

namespace {

constexpr int Rate = 48000;

class RecordWindowTest : public apptest::WindowTest {
protected:
    void SetUp() override {
        ResetCapture();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
    }
    void TearDown() override {
        apptest::WindowTest::TearDown();
        ResetCapture();
    }

    // Ctrl+R on the window; act runs on the record dialog once it is up.
    void RecordWith(std::function<void(RecordDialog&)> act) {
        bool acted = false;
        apptest::WhenModalAppears(window.get(), [&acted, act](QWidget* modal) {
            auto* dialog = qobject_cast<RecordDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            acted = true;
            act(*dialog);
        });
        QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
        EXPECT_TRUE(acted);
    }
};

QPushButton* Button(RecordDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

// Half a second of silence, then a sine at 0.5 for two seconds.
std::vector<float> Hit() {
    std::vector<float> stream = Silence(Rate / 2);
    const std::vector<float> sound = Sine(2 * Rate, 220, 0.5f, Rate);
    stream.insert(stream.end(), sound.begin(), sound.end());
    return stream;
}

}  // namespace

TEST_F(RecordWindowTest, TakeLandsOnTheTargetRowAsOneUndoStepAndStaysInTheProfile) {
    Open();
    const QString before = Wav("before.wav");
    ASSERT_TRUE(Load(4, before));
    window->Fill().SetTargetRow(4);
    ASSERT_FALSE(model->ConvertFormats());  // a take loads all the same

    RecordWith([](RecordDialog& dialog) {
        Button(dialog, "recordButton")->click();
        FeedCapture(Hit());  // after arming: the hit is cut as set
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->SlotPath(4) != before.toStdString(); }, 10000));
    Settle();
    const std::string take = model->SlotPath(4);
    EXPECT_TRUE(record::IsKeptTake(take)) << take;
    EXPECT_TRUE(take.ends_with(" row 05.wav")) << take;
    EXPECT_TRUE(model->IsSlotLoaded(4));
    EXPECT_EQ(model->SlotOptions(4).start, VoiceOptions::Start::FirstSound);
    EXPECT_FALSE(CaptureOpen());
    EXPECT_TRUE(messages.empty());

    ASSERT_TRUE(window->History().UndoRowChange());
    Settle();
    EXPECT_EQ(model->SlotPath(4), before.toStdString());
    ASSERT_TRUE(window->History().RedoRowChange());
    Settle();
    EXPECT_EQ(model->SlotPath(4), take);

    window->OnCloseButton();
    Open();
    EXPECT_EQ(model->SlotPath(4), take);
    EXPECT_TRUE(model->IsSlotLoaded(4));
    EXPECT_EQ(model->SlotOptions(4).start, VoiceOptions::Start::FirstSound);
}

// An input that goes away while the take waits is reported in the usual
// box and changes nothing; closing the dialog mid-take lets the input go.
TEST_F(RecordWindowTest, LostInputIsReportedAndClosingMidTakeEndsIt) {
    Open();
    window->Fill().SetTargetRow(2);
    RecordWith([this](RecordDialog& dialog) {
        Button(dialog, "recordButton")->click();
        UnplugCapture();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !messages.empty(); }, 10000));
        EXPECT_TRUE(dialog.isVisible());  // the musician may choose another input
        ResetCapture();
        Button(dialog, "recordButton")->click();  // opens the input again, waits
        FeedCapture(Silence(Rate / 10));
        EXPECT_TRUE(QTest::qWaitFor([] { return CaptureOpen(); }, 10000));
        dialog.reject();
    });
    EXPECT_EQ(messages, std::vector<int>{IdsRecordError});
    EXPECT_FALSE(CaptureOpen());
    EXPECT_FALSE(model->IsSlotLoaded(2));
    EXPECT_FALSE(window->Context().IsBusy());
}
