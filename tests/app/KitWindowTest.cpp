// The window's kits: a kit imported onto the rows and rows rolled from a
// folder, each one undo step; the roll dialog's locks.

#include <filesystem>
#include <set>

#include "AppTestSupport.h"
#include "app/KitController.h"
#include "app/RollDialog.h"

using namespace apptest;

namespace {

using KitWindowTest = WindowTest;

TEST_F(KitWindowTest, ImportAndRollAreOneUndoStepEachAndNeverDrawAHeldFile) {
    Open();
    ASSERT_TRUE(Load(0, Wav("kept.wav")));
    KitController kits(window->Context());
    SlotModel& rows = window->Context().model;

    std::filesystem::create_directories(dir.file("kit/sub"));
    std::filesystem::create_directories(dir.file("pool"));
    (void)Wav("kit/a.wav", 1, 4000);
    (void)Wav("kit/sub/b.wav", 2, 3000);
    const std::string text = "<region> sample=a.wav key=61\n<region> sample=sub\\b.wav\n";
    ASSERT_TRUE(testsupport::WriteFile(dir.file("kit/k.sfz"),
                                       testsupport::Bytes(text.begin(), text.end())));
    answer = QMessageBox::Ok;
    ASSERT_TRUE(kits.ImportKit(QString::fromStdString(dir.file("kit/k.sfz"))));
    Settle();
    EXPECT_EQ(rows.SlotPath(1), dir.file("kit/a.wav"));      // key 61: row 2
    EXPECT_EQ(rows.SlotPath(0), dir.file("kit/sub/b.wav"));  // no key: the first free row
    EXPECT_EQ(rows.CountLoadedSlots(), 2);
    ASSERT_TRUE(window->History().UndoRowChange());
    EXPECT_EQ(rows.SlotPath(0), dir.file("kept.wav"));
    EXPECT_FALSE(rows.IsSlotLoaded(1));

    for (int i = 0; i < 5; ++i) (void)Wav("pool/s" + std::to_string(i) + ".wav", 1, 1600);
    const QString pool = QString::fromStdString(dir.file("pool"));
    ASSERT_TRUE(Load(5, QString::fromStdString(dir.file("pool/s3.wav"))));
    std::array<QString, SlotCount> folders;
    folders.fill(pool);
    ASSERT_TRUE(kits.RollSlots({1, 2, 3, 4}, folders));
    Settle();
    std::set<std::string> drawn;
    for (int slot = 1; slot <= 4; ++slot) {
        EXPECT_EQ(rows.SlotPath(slot).rfind(dir.file("pool/"), 0), 0u) << slot;
        drawn.insert(rows.SlotPath(slot));
    }
    // Four rows from the four files row 6 does not hold.
    EXPECT_EQ(drawn.size(), 4u);
    EXPECT_EQ(drawn.count(dir.file("pool/s3.wav")), 0u);
    ASSERT_TRUE(window->History().UndoRowChange());
    for (int slot = 1; slot <= 4; ++slot) EXPECT_FALSE(rows.IsSlotLoaded(slot)) << slot;
    EXPECT_TRUE(rows.IsSlotLoaded(5));

    // A kit file dropped on a row is imported as Import kit does.
    Drop(Label(7), {QString::fromStdString(dir.file("kit/k.sfz"))});
    const QDeadlineTimer deadline(apptest::WaitMs);
    while (rows.SlotPath(1) != dir.file("kit/a.wav") && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(rows.SlotPath(0), dir.file("kit/sub/b.wav"));

    RollDialog dialog;
    dialog.SetFolderForAll(pool);
    dialog.SetLocked(3, true);
    dialog.SetFolder(7, {});
    const std::vector<int> toRoll = dialog.RowsToRoll();
    EXPECT_EQ(std::count(toRoll.begin(), toRoll.end(), 3), 0);
    EXPECT_EQ(std::count(toRoll.begin(), toRoll.end(), 7), 0);
    EXPECT_EQ(toRoll.size(), 14u);
}

}  // namespace
