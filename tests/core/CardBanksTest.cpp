// The card as a whole: its banks listed with the checker's verdict, and
// the writes that manage them, which lose nothing and write nothing onto a
// card that is no longer the one listed.

#include "core/CardBanks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "BankWriter.h"
#include "SoundFileWriter.h"
#include "core/BankBackup.h"
#include "voicebank/BankFile.h"
#include "voicebank/BankHead.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TestRow;
using testsupport::WriteTestBank;

TEST(CardBanks, ListsBanksByNameWithRowsAndTheCheckersReasonForADamagedOne) {
    testsupport::TempDir card;
    fs::create_directory(card.file("gridlume"));
    ASSERT_TRUE(WriteTestBank(card.file("gridlume/KIT.glw"), {{1, 1, 1600}, {9, 2, 3200}}));
    ASSERT_TRUE(WriteTestBank(card.file("gridlume/BASS.GLW"), {{16, 1, 320}}));
    ASSERT_TRUE(WriteTestBank(card.file("gridlume/BROKEN.glw"), {{2, 1, 160}}));
    testsupport::Bytes broken = testsupport::ReadFile(card.file("gridlume/BROKEN.glw"));
    broken[40] ^= 0x01;
    ASSERT_TRUE(testsupport::WriteFile(card.file("gridlume/BROKEN.glw"), broken));
    // Neither a link, a folder nor another file is a bank on the card.
    fs::create_symlink(card.file("gridlume/KIT.glw"), card.file("gridlume/LINK.glw"));
    fs::create_directory(card.file("gridlume/DIR.glw"));
    ASSERT_TRUE(testsupport::WriteFile(card.file("gridlume/notes.txt"), {1, 2, 3}));

    const CardListing listing = ListCardBanks(card.path() + "/");
    ASSERT_TRUE(listing.ok) << listing.reason;
    EXPECT_EQ(listing.folder, card.file("gridlume"));
    ASSERT_EQ(listing.banks.size(), 3u);
    EXPECT_EQ(listing.banks[0].name, "BASS");
    EXPECT_EQ(listing.banks[1].name, "BROKEN");
    EXPECT_EQ(listing.banks[2].name, "KIT");
    EXPECT_EQ(listing.banks[0].RowsFilled(), 1);
    EXPECT_EQ(listing.banks[0].rowFrames[15], 320);
    EXPECT_TRUE(listing.banks[1].damaged);
    EXPECT_NE(listing.banks[1].reason.find("checksum32"), std::string::npos)
        << listing.banks[1].reason;
    EXPECT_EQ(listing.banks[1].RowsFilled(), 0);
    EXPECT_FALSE(listing.banks[2].damaged);
    EXPECT_EQ(listing.banks[2].rowFrames[0], 1600);
    EXPECT_EQ(listing.banks[2].rowFrames[8], 3200);
    EXPECT_EQ(listing.banks[2].RowsFilled(), 2);
    EXPECT_EQ(listing.bankBytes,
              listing.banks[0].size + listing.banks[1].size + listing.banks[2].size);
    EXPECT_EQ(listing.banks[2].size, fs::file_size(card.file("gridlume/KIT.glw")));

    // Enough banks to be checked on several threads: each keeps its own verdict.
    for (int n = 1; n <= 12; ++n)
        ASSERT_TRUE(WriteTestBank(card.file("gridlume/ROW" + std::to_string(n + 10) + ".glw"),
                                  {{n, 1, 16 * n}}));
    const CardListing many = ListCardBanks(card.path());
    ASSERT_EQ(many.banks.size(), 15u);
    for (int n = 1; n <= 12; ++n) {
        const CardBank& bank = many.banks[static_cast<size_t>(n + 2)];
        EXPECT_EQ(bank.name, "ROW" + std::to_string(n + 10));
        EXPECT_EQ(bank.RowsFilled(), 1);
        EXPECT_EQ(bank.rowFrames[static_cast<size_t>(n - 1)], 16 * n) << bank.name;
    }
    EXPECT_TRUE(many.banks[1].damaged);

    // A card without a bank folder holds none; a root that is no folder is refused.
    testsupport::TempDir empty;
    const CardListing none = ListCardBanks(empty.path());
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.banks.empty());
    EXPECT_FALSE(ListCardBanks(card.file("gridlume/notes.txt")).ok);
}

// A card with three banks and the place its writes need.
struct Card {
    testsupport::TempDir root;
    testsupport::TempDir data;
    CardPlace place;
    Card() {
        fs::create_directory(root.file("gridlume"));
        EXPECT_TRUE(WriteTestBank(Bank("KIT"), {{1, 1, 1600}, {9, 2, 3200}}));
        EXPECT_TRUE(WriteTestBank(Bank("BASS"), {{16, 1, 320}}));
        EXPECT_TRUE(WriteTestBank(Bank("PADS"), {{2, 2, 800}}, 5));
        place.root = root.path();
        EXPECT_TRUE(TakeVolumeIdentity({root.path() + "/", "CARD"}, &place.volume));
        place.backupsRoot = data.file("backups");
        place.now = 1'800'000'000;
    }
    [[nodiscard]] std::string Bank(const std::string& name) const {
        return root.file("gridlume/" + name + ".glw");
    }
    // Every file below the root with its bytes.
    [[nodiscard]] std::map<std::string, testsupport::Bytes> Files() const {
        std::map<std::string, testsupport::Bytes> files;
        for (const auto& entry : fs::recursive_directory_iterator(root.path()))
            files[entry.path().string()] = entry.is_regular_file()
                                               ? testsupport::ReadFile(entry.path().string())
                                               : testsupport::Bytes{};
        return files;
    }
};

TEST(CardBanks, RemovedBankComesBackByteForByteFromItsKeptCopy) {
    Card card;
    const testsupport::Bytes kit = testsupport::ReadFile(card.Bank("KIT"));
    const CardOutcome removed = RemoveCardBank(card.place, "kit");  // any letter case
    ASSERT_TRUE(removed.ok) << removed.reason;
    EXPECT_FALSE(fs::exists(card.Bank("KIT")));
    const std::vector<BankBackupCopy> copies = ListBankBackups(card.place.backupsRoot, "KIT");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(removed.kept, std::vector<std::string>{copies[0].path});
    std::string backup;
    std::string reason;
    ASSERT_TRUE(RestoreBankCopy(copies[0].path, card.Bank("KIT"), card.place.backupsRoot,
                                card.place.now + 1, &backup, &reason))
        << reason;
    EXPECT_TRUE(testsupport::ReadFile(card.Bank("KIT")) == kit);
    EXPECT_FALSE(RemoveCardBank(card.place, "GONE").ok);
}

TEST(CardBanks, RenamedBankHoldsItsNewNameAndTheSameRowsAndBadNamesAreRefused) {
    Card card;
    const testsupport::Bytes kit = testsupport::ReadFile(card.Bank("KIT"));
    const CardOutcome renamed = RenameCardBank(card.place, "KIT", "DRUMS-2", false);
    ASSERT_TRUE(renamed.ok) << renamed.reason;
    EXPECT_FALSE(fs::exists(card.Bank("KIT")));
    ASSERT_EQ(ListBankBackups(card.place.backupsRoot, "KIT").size(), 1u);
    EXPECT_TRUE(testsupport::ReadFile(ListBankBackups(card.place.backupsRoot, "KIT")[0].path) ==
                kit);
    BankFile drums;
    std::string why;
    ASSERT_TRUE(ReadBankFile(card.Bank("DRUMS-2"), &drums, &why));
    ASSERT_TRUE(drums.report.valid);
    EXPECT_EQ(drums.report.bank.bankName, "DRUMS-2");
    ASSERT_EQ(drums.bytes.size(), kit.size());
    EXPECT_TRUE(std::equal(kit.begin() + bank::SampleAreaOffset, kit.end(),
                           drums.bytes.begin() + bank::SampleAreaOffset));

    // Bad names, an existing name without replace: nothing on the card changes.
    const auto before = card.Files();
    for (const auto& [from, to] :
         std::vector<std::pair<std::string, std::string>>{{"DRUMS-2", "my kit"},
                                                          {"DRUMS-2", "../X"},
                                                          {"DRUMS-2", "A234567890123456X"},
                                                          {"../gridlume/BASS", "X"},
                                                          {"DRUMS-2", "BASS"},
                                                          {"DRUMS-2", "drums-2"}}) {
        EXPECT_FALSE(RenameCardBank(card.place, from, to, false).ok) << from << " -> " << to;
        EXPECT_FALSE(CopyCardBank(card.place, from, to, false).ok) << from << " -> " << to;
    }
    EXPECT_TRUE(card.Files() == before);

    // Replacing keeps the bank replaced first.
    const testsupport::Bytes bass = testsupport::ReadFile(card.Bank("BASS"));
    const CardOutcome copied = CopyCardBank(card.place, "DRUMS-2", "BASS", true);
    ASSERT_TRUE(copied.ok) << copied.reason;
    ASSERT_EQ(ListBankBackups(card.place.backupsRoot, "BASS").size(), 1u);
    EXPECT_TRUE(testsupport::ReadFile(ListBankBackups(card.place.backupsRoot, "BASS")[0].path) ==
                bass);
    EXPECT_TRUE(fs::exists(card.Bank("DRUMS-2")));
}

TEST(CardBanks, ACardNoLongerTheOneListedGetsNothingWrittenAndLosesNothing) {
    Card card;
    testsupport::TempDir backup;
    ASSERT_TRUE(BackUpCard(card.place, backup.path()).ok);
    ASSERT_TRUE(WriteTestBank(backup.file("NEW.glw"), {{4, 1, 160}}));
    const auto before = card.Files();
    // Another filesystem at the root now (the card pulled, the mount folder left).
    card.place.volume.device += 1;
    testsupport::TempDir elsewhere;
    EXPECT_FALSE(RemoveCardBank(card.place, "KIT").ok);
    EXPECT_FALSE(RenameCardBank(card.place, "KIT", "OTHER", false).ok);
    EXPECT_FALSE(CopyCardBank(card.place, "KIT", "OTHER", false).ok);
    EXPECT_FALSE(CopyCardBank(card.place, "KIT", "BASS", true).ok);
    EXPECT_FALSE(RestoreCard(card.place, backup.path()).ok);
    EXPECT_FALSE(BackUpCard(card.place, elsewhere.file("copy")).ok);
    EXPECT_TRUE(card.Files() == before);
    EXPECT_FALSE(fs::exists(card.place.backupsRoot));
    EXPECT_FALSE(fs::exists(elsewhere.file("copy")));
}

TEST(CardBanks, BanksAreListedAndComparedInNaturalOrder) {
    Card card;
    ASSERT_TRUE(WriteTestBank(card.Bank("KIT10"), {{1, 1, 160}}));
    testsupport::TempDir backups;
    const std::string folder = NewCardBackupFolder(backups.path(), "CARD", card.place.now);
    ASSERT_TRUE(BackUpCard(card.place, folder).ok);
    ASSERT_TRUE(WriteTestBank(card.Bank("KIT2"), {{1, 1, 160}}));
    std::vector<std::string> names;
    for (const CardBank& bank : ListCardBanks(card.place.root + "/").banks)
        names.push_back(bank.name);
    EXPECT_EQ(names, (std::vector<std::string>{"BASS", "KIT", "KIT2", "KIT10", "PADS"}));
    // The lists are walked side by side in that order: KIT2 is new, KIT10
    // the same on both.
    std::vector<CardDifference> differences;
    std::string reason;
    ASSERT_TRUE(CompareCard(card.place.root, folder, &differences, &reason)) << reason;
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0].name, "KIT2");
    EXPECT_EQ(differences[0].kind, CardDifference::Kind::New);
}

TEST(CardBanks, BackupThenChangesThenRestoreGivesEveryBankBackAndTheDiffNamesChangedRows) {
    Card card;
    ASSERT_TRUE(WriteTestBank(card.Bank("BROKEN"), {{2, 1, 160}}));
    testsupport::Bytes broken = testsupport::ReadFile(card.Bank("BROKEN"));
    broken[40] ^= 1;
    ASSERT_TRUE(testsupport::WriteFile(card.Bank("BROKEN"), broken));
    const auto original = card.Files();
    testsupport::TempDir backups;
    const std::string folder = NewCardBackupFolder(backups.path(), "MY/CARD", card.place.now);
    EXPECT_EQ(folder, backups.file("MY_CARD-20270115-080000"));
    const CardOutcome backedUp = BackUpCard(card.place, folder);
    ASSERT_TRUE(backedUp.ok) << backedUp.reason;
    EXPECT_EQ(backedUp.written.size(), 4u);
    std::vector<CardDifference> differences;
    std::string reason;
    ASSERT_TRUE(CompareCard(card.place.root, folder, &differences, &reason)) << reason;
    EXPECT_TRUE(differences.empty());
    const std::vector<CardBackupFolder> listed = ListCardBackups(backups.path());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].banks, 4);

    // Row 3 added and row 9 made mono; BASS gone, NEW made, BROKEN damaged otherwise.
    ASSERT_TRUE(WriteTestBank(card.Bank("KIT"), {{1, 1, 1600}, {3, 1, 800}, {9, 1, 3200}}));
    fs::remove(card.Bank("BASS"));
    ASSERT_TRUE(WriteTestBank(card.Bank("NEW"), {{4, 1, 160}}));
    broken[41] ^= 1;
    ASSERT_TRUE(testsupport::WriteFile(card.Bank("BROKEN"), broken));
    ASSERT_TRUE(CompareCard(card.place.root, folder, &differences, &reason)) << reason;
    ASSERT_EQ(differences.size(), 4u);
    EXPECT_EQ(differences[0].name, "BASS");
    EXPECT_EQ(differences[0].kind, CardDifference::Kind::Gone);
    EXPECT_EQ(differences[1].name, "BROKEN");
    EXPECT_EQ(differences[1].kind, CardDifference::Kind::Changed);
    EXPECT_TRUE(differences[1].rows.empty());
    EXPECT_EQ(differences[2].name, "KIT");
    EXPECT_EQ(differences[2].kind, CardDifference::Kind::Changed);
    EXPECT_EQ(differences[2].rows, (std::vector<int>{3, 9}));
    EXPECT_EQ(differences[3].name, "NEW");
    EXPECT_EQ(differences[3].kind, CardDifference::Kind::New);

    // The damaged bank is not put back (and named); every other one is, the
    // bank replaced kept first, the unchanged one untouched, NEW staying.
    const CardOutcome restored = RestoreCard(card.place, folder);
    EXPECT_FALSE(restored.ok);
    EXPECT_NE(restored.reason.find("BROKEN"), std::string::npos) << restored.reason;
    auto now = card.Files();
    EXPECT_TRUE(now[card.Bank("KIT")] == original.at(card.Bank("KIT")));
    EXPECT_TRUE(now[card.Bank("BASS")] == original.at(card.Bank("BASS")));
    EXPECT_TRUE(now[card.Bank("PADS")] == original.at(card.Bank("PADS")));
    EXPECT_TRUE(fs::exists(card.Bank("NEW")));
    EXPECT_EQ(restored.written.size(), 2u);
    EXPECT_EQ(ListBankBackups(card.place.backupsRoot, "KIT").size(), 1u);
    EXPECT_TRUE(ListBankBackups(card.place.backupsRoot, "PADS").empty());

    // Once the damaged bank is as the backup holds it, a restore has nothing to do.
    ASSERT_TRUE(testsupport::WriteFile(card.Bank("BROKEN"), original.at(card.Bank("BROKEN"))));
    const CardOutcome again = RestoreCard(card.place, folder);
    EXPECT_TRUE(again.ok) << again.reason;
    EXPECT_TRUE(again.written.empty());
    EXPECT_TRUE(again.kept.empty());
}

}  // namespace
