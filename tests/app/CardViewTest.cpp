#include <QTest>

#include <QDir>
#include <QInputDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "AppTestSupport.h"
#include "BankWriter.h"
#include "app/CardActions.h"
#include "app/CardDialog.h"
#include "app/CardRowList.h"
#include "app/EarlierVersionsDialog.h"
#include "core/BankBackup.h"
#include "res/StringTable.h"

using apptest::WindowTest;
namespace fs = std::filesystem;

namespace {

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A card in a temporary folder: KIT (rows 1 and 5), DRUMS (row 2) and a
// damaged BAD, listed as the only volume.
class CardViewTest : public WindowTest {
protected:
    std::string card;

    void SetUp() override {
        card = dir.file("card/");
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(card + "gridlume")));
        ASSERT_TRUE(
            testsupport::WriteTestBank(card + "gridlume/KIT.glw", {{1, 1, 1600}, {5, 2, 3200}}));
        ASSERT_TRUE(testsupport::WriteTestBank(card + "gridlume/DRUMS.glw", {{2, 1, 800}}, 1));
        std::ofstream(card + "gridlume/BAD.glw") << std::string(3000, 'x');
        volumes.volumes = {{card, "CARD (" + dir.file("card") + ")", -1, true}};
        Open();
    }

    [[nodiscard]] CardFolders Folders() const {
        return {dir.file("backups"), dir.file("card-backups"), {}};
    }

    static void WaitListed(CardDialog& view) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.IsListed(); }, apptest::WaitMs));
    }
    static void Select(CardDialog& view, const QString& name) {
        const QList<QTreeWidgetItem*> found = view.BankList()->findItems(name, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1);
        view.BankList()->setCurrentItem(found.front());
    }
    // Deletes name as the Delete button does, the question answered OK, and
    // waits for the outcome.
    static QString Delete(CardDialog& view, const QString& name) {
        std::optional<QString> reason;
        // A context object: the connection ends with this call.
        QObject here;
        QObject::connect(&view.Actions(), &CardActions::Finished, &here,
                         [&reason](const QString& why) { reason = why; });
        if (!view.Actions().DeleteBank(view.Place(), name)) return QStringLiteral("not started");
        EXPECT_TRUE(QTest::qWaitFor([&] { return reason.has_value(); }, apptest::WaitMs));
        WaitListed(view);
        return reason.value_or(QStringLiteral("no outcome"));
    }
    // "Earlier versions..." of the view: KIT chosen, its newest copy
    // restored; the restore's outcome (empty: restored), none when it did
    // not end.
    std::optional<QString> RestoreKitThroughEarlierVersions(CardDialog& view) {
        std::optional<QString> restored;
        // The nested closures outlive the chooser's: they hold this pointer, not a reference.
        std::optional<QString>* const restoredAt = &restored;
        apptest::WhenModalAppears(window.get(), [this, restoredAt](QWidget* chooser) {
            auto* names = qobject_cast<QInputDialog*>(chooser);
            ASSERT_NE(names, nullptr);
            EXPECT_EQ(names->comboBoxItems(), QStringList{"KIT"});
            names->setTextValue("KIT");
            names->accept();
            // Once the chooser has gone: the copies of KIT.
            apptest::WhenModalAppears(window.get(), [restoredAt](QWidget* modal) {
                auto* versions = qobject_cast<EarlierVersionsDialog*>(modal);
                ASSERT_NE(versions, nullptr);
                ASSERT_TRUE(
                    QTest::qWaitFor([versions] { return versions->IsListed(); }, apptest::WaitMs));
                QObject::connect(versions, &EarlierVersionsDialog::Restored,
                                 [restoredAt](const QString& reason) { *restoredAt = reason; });
                versions->RestoreSelected();
                EXPECT_TRUE(QTest::qWaitFor([restoredAt] { return restoredAt->has_value(); },
                                            apptest::WaitMs));
                versions->reject();
            });
        });
        std::optional<QString> finished;
        QObject here;
        QObject::connect(&view.Actions(), &CardActions::Finished, &here,
                         [&finished](const QString& why) { finished = why; });
        EXPECT_TRUE(view.Actions().ShowEarlierVersions(view.Place(), {}, {}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished.has_value(); }, 20000));
        return restored;
    }
};

}  // namespace

// Ctrl+K: the card's banks with their rows and the damaged one with the
// checker's reason; a row of a bank that is not open plays without touching
// the rows, and Open opens the bank into the window as Open bank does.
TEST_F(CardViewTest, ListsTheCardPlaysARowOfAnUnopenedBankAndOpensIt) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    std::optional<int> played;
    QStringList shown;
    apptest::WhenModalAppears(window.get(), [&](QWidget* modal) {
        auto* view = qobject_cast<CardDialog*>(modal);
        ASSERT_NE(view, nullptr);
        WaitListed(*view);
        QTreeWidget* banks = view->BankList();
        for (int i = 0; i < banks->topLevelItemCount(); ++i)
            shown << banks->topLevelItem(i)->text(0) + QLatin1Char(' ') +
                         banks->topLevelItem(i)->text(1);
        EXPECT_FALSE(banks->topLevelItem(0)->text(4).isEmpty());  // BAD's reason
        Select(*view, QStringLiteral("KIT"));
        ASSERT_EQ(view->RowList()->count(), 16);
        EXPECT_EQ(view->RowList()->item(4)->text(), "Row 5, 72 ms");
        EXPECT_EQ(view->RowList()->item(5)->text(), "Row 6, empty");
        QObject::connect(view->RowList(), &CardRowList::RowPlayed,
                         [&played](int row) { played = row; });
        EXPECT_TRUE(view->RowList()->PlayRow(4));
        EXPECT_TRUE(QTest::qWaitFor([&] { return played.has_value(); }, apptest::WaitMs));
        EXPECT_FALSE(view->RowList()->PlayRow(5));
        for (QPushButton* button : view->findChildren<QPushButton*>())
            if (button->text() == "&Open") button->click();
    });
    QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(shown, QStringList({"BAD damaged", "DRUMS 1", "KIT 2"}));
    EXPECT_EQ(played, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->IsSlotLoaded(4); }, apptest::WaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Banks().IsOpeningBank(); }, apptest::WaitMs));
    EXPECT_EQ(window->Context().OpenedBank(), QString::fromStdString(card + "gridlume/KIT.glw"));
    EXPECT_EQ(model->CountLoadedSlots(), 2);
    EXPECT_TRUE(messages.empty());
}

// Delete asks first, keeps the bank's bytes as a copy, then removes it; the
// listing follows, and "Earlier versions..." of the view brings the deleted
// bank back byte for byte.
TEST_F(CardViewTest, DeleteKeepsACopyThatEarlierVersionsBringsBack) {
    const std::string bank = card + "gridlume/KIT.glw";
    const std::string before = Bytes(bank);
    CardDialog view(*model, volumes, Folders(), window.get());
    WaitListed(view);
    EXPECT_EQ(Delete(view, "KIT"), QString());
    EXPECT_EQ(messages, std::vector<int>{IdsDeleteCardBank});
    EXPECT_TRUE(
        requests.front().informativeText.contains(QString::fromStdString(Folders().backupsRoot)));
    EXPECT_FALSE(fs::exists(bank));
    const std::vector<BankBackupCopy> kept = ListBankBackups(Folders().backupsRoot, "KIT");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(Bytes(kept.front().path), before);
    EXPECT_EQ(view.BankList()->topLevelItemCount(), 2);

    EXPECT_EQ(RestoreKitThroughEarlierVersions(view), QString());
    EXPECT_EQ(Bytes(bank), before);
    WaitListed(view);
    EXPECT_EQ(view.BankList()->topLevelItemCount(), 3);
}

// A card pulled after it was listed: its mount point is a plain folder on
// another disk now, which even holds a bank of that name. Delete and a
// restore of a kept copy report why and touch nothing there; the bank is
// still on the card.
TEST_F(CardViewTest, APulledCardIsReportedAndNothingIsWritten) {
    CardDialog view(*model, volumes, Folders(), window.get());
    WaitListed(view);
    // A second view listed before the pull: the first lists the volumes
    // again after its delete.
    CardDialog second(*model, volumes, Folders(), window.get());
    WaitListed(second);
    std::string keptCopy;
    std::string why;
    ASSERT_TRUE(BackUpBank(card + "gridlume/KIT.glw", Folders().backupsRoot, 1, &keptCopy, &why));
    const std::string pulled = dir.file("pulled");
    fs::rename(dir.file("card"), pulled);
    // Where the system offers a second filesystem, the mount point stands
    // on it, as a pulled card's does; else nothing stands there.
    std::string other = "/dev/shm/glw-card-XXXXXX";
    const bool elsewhere = fs::is_directory("/dev/shm") && mkdtemp(other.data()) != nullptr;
    if (elsewhere) {
        fs::create_directory_symlink(other, dir.file("card"));
        fs::create_directory(other + "/gridlume");
        fs::copy_file(pulled + "/gridlume/DRUMS.glw", other + "/gridlume/KIT.glw");
    }

    const QString reason = Delete(view, "KIT");
    EXPECT_TRUE(reason.contains("no longer there")) << reason.toStdString();
    EXPECT_EQ(messages, (std::vector<int>{IdsDeleteCardBank, IdsCardError}));
    EXPECT_TRUE(fs::exists(pulled + "/gridlume/KIT.glw"));
    EXPECT_EQ(ListBankBackups(Folders().backupsRoot, "KIT").size(), 1u);

    // Nor does "Earlier versions..." of a view restore a copy onto it.
    const std::optional<QString> restored = RestoreKitThroughEarlierVersions(second);
    ASSERT_TRUE(restored.has_value());
    EXPECT_TRUE(restored->contains("no longer there")) << restored->toStdString();
    if (elsewhere) {
        EXPECT_EQ(Bytes(other + "/gridlume/KIT.glw"), Bytes(pulled + "/gridlume/DRUMS.glw"));
        EXPECT_EQ(std::distance(fs::directory_iterator(other + "/gridlume"), {}), 1);
        fs::remove_all(other);
    }
}
