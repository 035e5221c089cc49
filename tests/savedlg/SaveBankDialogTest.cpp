#include "savedlg/SaveBankDialog.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include "BoxWatcher.h"
#include "SoundFileWriter.h"
#include "controls/FileNameEdit.h"
#include "controls/MessageBox.h"
#include "jobs/JobRunner.h"
#include "res/StringTable.h"

namespace {

namespace fs = std::filesystem;

class FakeVolumes final : public VolumeSource {
public:
    std::vector<Volume> volumes;
    [[nodiscard]] std::vector<Volume> ListVolumes() const override { return volumes; }
};

// Lists only once opened, as a slow or stuck card keeps a listing waiting.
class GatedVolumes final : public VolumeSource {
public:
    std::vector<Volume> volumes;
    [[nodiscard]] std::vector<Volume> ListVolumes() const override {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_open; });
        return volumes;
    }
    void Open() {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_opened;
    bool m_open = false;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

QPushButton* SaveButton(SaveBankDialog& dlg) {
    return dlg.findChild<QPushButton*>(QStringLiteral("save"));
}
QPushButton* CancelButton(SaveBankDialog& dlg) {
    return dlg.findChild<QPushButton*>(QStringLiteral("cancel"));
}
QListWidget* VolumeList(SaveBankDialog& dlg) {
    return dlg.findChild<QListWidget*>(QStringLiteral("volumes"));
}
FileNameEdit* NameEdit(SaveBankDialog& dlg) {
    return dlg.findChild<FileNameEdit*>(QStringLiteral("fileName"));
}
int SelectedRow(SaveBankDialog& dlg) {
    const QList<QListWidgetItem*> selected = VolumeList(dlg)->selectedItems();
    return selected.isEmpty() ? -1 : VolumeList(dlg)->row(selected.front());
}

class SaveDialog : public ::testing::Test {
protected:
    struct Outcome {
        int result = -1;
        bool stayedOpen = false;  // still open once act was done
    };

    // Until the dialog's volumes are listed or its look at the card is done.
    static void Settle(SaveBankDialog& dlg) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsBusy(); }, 10000));
    }

    // Runs exec; once the dialog is up and its volumes listed, act plays
    // the user. A dialog that act left open is noted and cancelled, so a
    // test never hangs.
    static Outcome Run(SaveBankDialog& dlg, const std::function<void(SaveBankDialog&)>& act) {
        Outcome outcome;
        QTimer::singleShot(0, &dlg, [&] {
            Settle(dlg);
            act(dlg);
            Settle(dlg);
            outcome.stayedOpen = dlg.isVisible();
            if (outcome.stayedOpen) {
                dlg.reject();
            }
        });
        outcome.result = dlg.exec();
        return outcome;
    }

    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    void Add(const testsupport::TempDir& dir, const std::string& name) {
        source.volumes.push_back({dir.path() + "/", name});
    }

    QString Root(const testsupport::TempDir& dir) const {
        return QString::fromStdString(dir.path() + "/");
    }

    testsupport::TempDir card;
    testsupport::TempDir disk;
    FakeVolumes source;
    JobRunner jobs;  // after the volumes: its work ends before they go
    std::vector<MessageRequest> shown;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    testsupport::BoxWatcher boxes{[this](const MessageRequest& request, int) {
        shown.push_back(request);
        return answer;
    }};
};

TEST_F(SaveDialog, OpensOnTheNameSoATypedNameOrEnterSavesAtOnce) {
    Add(disk, "Zeta (disk)");
    Add(card, "Alpha (card)");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    dlg.SetVolume(Root(card));

    const Outcome outcome = Run(dlg, [](SaveBankDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("FileSave"));
        EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowSystemMenuHint));
        ASSERT_EQ(VolumeList(d)->count(), 2);  // as given, not sorted
        EXPECT_EQ(VolumeList(d)->item(0)->text(), QStringLiteral("Zeta (disk)"));
        EXPECT_EQ(VolumeList(d)->item(1)->text(), QStringLiteral("Alpha (card)"));
        EXPECT_EQ(SelectedRow(d), 1);
        // A preset is shown whole; the user's first change cuts it to 16.
        EXPECT_EQ(NameEdit(d)->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        EXPECT_EQ(NameEdit(d)->GetMaxLength(), 16);
        // The proposed name is selected: what is typed at once replaces it.
        ASSERT_EQ(d.focusWidget(), NameEdit(d));
        EXPECT_EQ(NameEdit(d)->selectedText(), NameEdit(d)->text());
        QTest::keyClicks(d.focusWidget(), QStringLiteral("ABCDEFGHIJKLMNOPQ"));
        EXPECT_EQ(NameEdit(d)->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(outcome.result, QDialog::Accepted);
    EXPECT_FALSE(outcome.stayedOpen);
    EXPECT_EQ(dlg.GetFilePath(), Root(card) + "gridlume/ABCDEFGHIJKLMNOP.glw");
    EXPECT_EQ(dlg.GetVolume(), Root(card));
    EXPECT_TRUE(fs::is_directory(card.file("gridlume")));
    EXPECT_FALSE(fs::exists(dlg.GetFilePath().toStdString()));  // the dialog writes no bank
    EXPECT_TRUE(shown.empty());
}

TEST_F(SaveDialog, OpensAndTakesKeysWhileTheVolumesAreListedAndAnEarlyEnterSavesOnceTheyAre) {
    GatedVolumes gated;
    gated.volumes.push_back({card.path() + "/", "card"});
    SaveBankDialog dlg(gated, jobs);
    dlg.SetFileName(QStringLiteral("EARLY"));
    QTimer::singleShot(0, &dlg, [&] {
        EXPECT_TRUE(dlg.IsBusy());
        EXPECT_EQ(VolumeList(dlg)->count(), 0);
        EXPECT_FALSE(SaveButton(dlg)->isEnabled());
        QTest::keyClicks(NameEdit(dlg), QStringLiteral("LATE"));
        QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(fs::exists(card.file("gridlume")));
        gated.Open();
        if (!QTest::qWaitFor([&] { return !dlg.isVisible(); }, 10000)) dlg.reject();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(dlg.GetFilePath(), Root(card) + "gridlume/LATE.glw");
    EXPECT_TRUE(fs::is_directory(card.file("gridlume")));
}

TEST_F(SaveDialog, RepeatedEnterNeverSaves) {
    Add(card, "Alpha (card)");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("HELD"));
    // A repeat of an Enter held since before the dialog opened, on each
    // control that saves or cancels on Enter.
    const Outcome outcome = Run(dlg, [](SaveBankDialog& d) {
        for (QWidget* target : std::initializer_list<QWidget*>{SaveButton(d), NameEdit(d),
                                                               VolumeList(d), CancelButton(d)}) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(target, &repeat);
        }
    });
    EXPECT_TRUE(outcome.stayedOpen);
    EXPECT_FALSE(fs::exists(card.file("gridlume")));
}

TEST_F(SaveDialog, PreselectsOnlyAnExactMatchOrTheFirstWhenNoneIsPreset) {
    struct Case {
        const char* preset;
        int volumes;
        int expected;
    };
    for (const Case c : {Case{"/v/B/", 3, 1}, Case{"/v/b/", 3, -1}, Case{"/v/B", 3, -1},
                         Case{"", 3, 0}, Case{"", 0, -1}, Case{"/v/A/", 0, -1}}) {
        SCOPED_TRACE(std::string(c.preset) + " over " + std::to_string(c.volumes));
        FakeVolumes volumes;
        for (int i = 0; i < c.volumes; ++i) {
            const std::string root = std::string("/v/") + static_cast<char>('A' + i) + "/";
            volumes.volumes.push_back({root, root});
        }
        SaveBankDialog dlg(volumes, jobs);
        dlg.SetFileName(QStringLiteral("NAME"));
        dlg.SetVolume(QString::fromLatin1(c.preset));
        const Outcome outcome = Run(dlg, [&](SaveBankDialog& d) {
            EXPECT_EQ(SelectedRow(d), c.expected);
            // Save waits for a volume; Enter then leads to the list.
            EXPECT_EQ(SaveButton(d)->isEnabled(), c.expected >= 0);
            if (c.expected < 0) {
                QTest::keyClick(NameEdit(d), Qt::Key_Return);
                EXPECT_EQ(d.focusWidget(), VolumeList(d));
                if (c.volumes > 0) {
                    VolumeList(d)->setCurrentRow(0);
                    EXPECT_TRUE(SaveButton(d)->isEnabled());
                    VolumeList(d)->clearSelection();
                    EXPECT_FALSE(SaveButton(d)->isEnabled());
                }
            }
        });
        if (c.expected < 0) {
            EXPECT_TRUE(outcome.stayedOpen);
            EXPECT_TRUE(dlg.GetFilePath().isEmpty());
            EXPECT_EQ(dlg.GetVolume(), QString::fromLatin1(c.preset));
        }
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(SaveDialog, TypedNameAndChosenVolumeMakeThePath) {
    Add(disk, "disk");
    Add(card, "card");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("1207E0509-VOICE"));
    dlg.SetVolume(Root(disk));
    const Outcome outcome = Run(dlg, [](SaveBankDialog& d) {
        QTest::keyClick(VolumeList(d), Qt::Key_Down);
        EXPECT_EQ(SelectedRow(d), 1);
        NameEdit(d)->selectAll();
        QTest::keyClicks(NameEdit(d), QStringLiteral("my song_1"));
        EXPECT_EQ(NameEdit(d)->text(), QStringLiteral("mysong1"));
        QTest::keyClick(NameEdit(d), Qt::Key_Enter);  // the keypad's Enter as well
    });
    EXPECT_EQ(outcome.result, QDialog::Accepted);
    EXPECT_EQ(dlg.GetFilePath(), Root(card) + "gridlume/mysong1.glw");
    EXPECT_EQ(dlg.GetVolume(), Root(card));  // the chosen one, not the preset
    EXPECT_FALSE(fs::exists(disk.file("gridlume")));
}

TEST_F(SaveDialog, EnterInTheListSavesAndAPlainFileCountsAsTheFolder) {
    std::ofstream(card.file("gridlume")) << "not a folder";
    Add(card, "card");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("BANK"));
    const Outcome outcome =
        Run(dlg, [](SaveBankDialog& d) { QTest::keyClick(VolumeList(d), Qt::Key_Return); });
    EXPECT_EQ(outcome.result, QDialog::Accepted);
    EXPECT_EQ(dlg.GetFilePath(), Root(card) + "gridlume/BANK.glw");
    EXPECT_EQ(ReadAll(card.file("gridlume")), "not a folder");
    EXPECT_TRUE(shown.empty());
}

TEST_F(SaveDialog, FolderThatCannotBeMadeSaysIllegalPathAndStaysOpen) {
    // Root ignores permission bits, so the volume is made unwritable by a
    // plain file standing where its root folder should be.
    std::ofstream(card.file("blocker")) << "x";
    source.volumes.push_back({card.path() + "/blocker/", "gone"});
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("BANK"));
    const Outcome outcome = Run(dlg, [](SaveBankDialog& d) { Click(SaveButton(d)); });
    EXPECT_TRUE(outcome.stayedOpen);
    EXPECT_EQ(outcome.result, QDialog::Rejected);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].stringId, IdsIllegalPath);
    EXPECT_EQ(shown[0].text, QStringLiteral("Illegal file path."));
    EXPECT_EQ(shown[0].buttons, QMessageBox::Ok);
}

TEST_F(SaveDialog, ReplacingIsAskedAndCancelKeepsNameAndVolume) {
    fs::create_directory(card.file("gridlume"));
    std::ofstream(card.file("gridlume/BANK.glw")) << "old bank";
    Add(disk, "disk");
    Add(card, "card");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("BANK"));
    dlg.SetVolume(Root(card));
    answer = QMessageBox::Cancel;
    const Outcome outcome = Run(dlg, [this](SaveBankDialog& d) {
        Click(SaveButton(d));
        Settle(d);
        ASSERT_TRUE(d.isVisible());
        EXPECT_EQ(NameEdit(d)->text(), QStringLiteral("BANK"));
        EXPECT_EQ(SelectedRow(d), 1);
        answer = QMessageBox::Ok;
        Click(SaveButton(d));
    });
    EXPECT_EQ(outcome.result, QDialog::Accepted);
    EXPECT_FALSE(outcome.stayedOpen);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].stringId, IdsReplaceFile);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("File already exists. Do you really want to replace it?"));
    EXPECT_EQ(shown[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(dlg.GetFilePath(), Root(card) + "gridlume/BANK.glw");
    EXPECT_EQ(ReadAll(card.file("gridlume/BANK.glw")), "old bank");
}

TEST_F(SaveDialog, ReplacingIsAskedEvenWhenTheFileCannotBeRead) {
    fs::create_directory(card.file("gridlume"));
    fs::create_symlink(card.file("elsewhere"), card.file("gridlume/BANK.glw"));
    Add(card, "card");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("BANK"));
    answer = QMessageBox::Cancel;
    const Outcome outcome = Run(dlg, [](SaveBankDialog& d) { Click(SaveButton(d)); });
    EXPECT_TRUE(outcome.stayedOpen);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].stringId, IdsReplaceFile);
}

TEST_F(SaveDialog, OnlySaveClosesWithOk) {
    Add(card, "card");
    {
        SCOPED_TRACE("empty name, Enter in the edit");
        SaveBankDialog dlg(source, jobs);
        const Outcome outcome = Run(dlg, [](SaveBankDialog& d) {
            QTest::keyClick(NameEdit(d), Qt::Key_Return);
            d.accept();  // the platform's OK does nothing
        });
        EXPECT_TRUE(outcome.stayedOpen);
        EXPECT_FALSE(fs::exists(card.file("gridlume")));
    }
    const std::vector<std::pair<const char*, std::function<void(SaveBankDialog&)>>> cancels = {
        {"Enter on Cancel",
         [](SaveBankDialog& d) { QTest::keyClick(CancelButton(d), Qt::Key_Return); }},
        {"Cancel clicked", [](SaveBankDialog& d) { Click(CancelButton(d)); }},
        {"Escape in the edit",
         [](SaveBankDialog& d) { QTest::keyClick(NameEdit(d), Qt::Key_Escape); }},
        {"Escape in the list",
         [](SaveBankDialog& d) { QTest::keyClick(VolumeList(d), Qt::Key_Escape); }},
    };
    for (const auto& [what, act] : cancels) {
        SCOPED_TRACE(what);
        SaveBankDialog dlg(source, jobs);
        dlg.SetFileName(QStringLiteral("BANK"));
        const Outcome outcome = Run(dlg, act);
        EXPECT_FALSE(outcome.stayedOpen);
        EXPECT_EQ(outcome.result, QDialog::Rejected);
        EXPECT_FALSE(fs::exists(card.file("gridlume")));
    }
    EXPECT_TRUE(shown.empty());
}

}  // namespace

namespace {

TEST_F(SaveDialog, EveryControlIsReachedAndUsedByKeyboard) {
    Add(disk, "Zeta (disk)");
    Add(card, "Alpha (card)");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("KEYS"));
    const Outcome outcome = Run(dlg, [](SaveBankDialog& d) {
        ASSERT_EQ(d.focusWidget(), NameEdit(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(d.focusWidget(), SaveButton(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(d.focusWidget(), CancelButton(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(d.focusWidget(), VolumeList(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Down);
        EXPECT_EQ(SelectedRow(d), 1);
        QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(d.focusWidget(), NameEdit(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_End);
        QTest::keyClicks(d.focusWidget(), "-2");
        // Arrows from the buttons reach the list too, and back.
        QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(d.focusWidget(), SaveButton(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Up);
        EXPECT_EQ(d.focusWidget(), NameEdit(d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(outcome.result, QDialog::Accepted);
    EXPECT_EQ(dlg.GetFilePath(), Root(card) + "gridlume/KEYS-2.glw");
}

TEST_F(SaveDialog, ABadNameOrAVolumeGoneSinceListedWritesNothing) {
    Add(card, "Alpha (card)");
    SaveBankDialog dlg(source, jobs);
    dlg.SetFileName(QStringLiteral("DRUMS-1-20261209-114734"));
    const Outcome outcome = Run(dlg, [this](SaveBankDialog& d) {
        Click(SaveButton(d));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown.back().stringId, IdsIllegalPath);
        EXPECT_TRUE(shown.back().informativeText.contains("23 characters"));
        EXPECT_FALSE(fs::exists(card.file("gridlume")));
        // The card goes while the dialog is open: its root is gone.
        NameEdit(d)->setText(QStringLiteral("DRUMS-1"));
        fs::remove_all(card.path());
        Click(SaveButton(d));
        Settle(d);
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown.back().stringId, IdsSaveError);
        EXPECT_TRUE(shown.back().informativeText.contains("no longer there"));
    });
    EXPECT_TRUE(outcome.stayedOpen);
    EXPECT_FALSE(fs::exists(card.path()));
}

}  // namespace
