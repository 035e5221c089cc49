// The card as a whole: its banks listed with the checker's verdict, and
// the writes that manage them, which lose nothing and write nothing onto a
// card that is no longer the one listed.

#include "core/CardBanks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "BankWriter.h"
#include "SoundFileWriter.h"

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

    // A card without a bank folder holds none; a root that is no folder is refused.
    testsupport::TempDir empty;
    const CardListing none = ListCardBanks(empty.path());
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.banks.empty());
    EXPECT_FALSE(ListCardBanks(card.file("gridlume/notes.txt")).ok);
}

}  // namespace
