// Where files and slices land on rows: the window's fill and slicing and
// glwtool's folder builds and --slice all go by these answers.

#include <gtest/gtest.h>

#include <vector>

#include "core/RowPlacement.h"

namespace {

std::vector<int> Rows(const RowPlacement& placement) {
    std::vector<int> rows;
    for (size_t i = 0; i < placement.items.size(); ++i) {
        EXPECT_EQ(placement.items[i].item, i) << "items keep their order";
        rows.push_back(placement.items[i].row);
    }
    return rows;
}

}  // namespace

TEST(RowPlacement, ItemsTakeFreeRowsUpwardAndTheLastOnesAreLeftOut) {
    // From row 13: rows 13 to 16 get the first four of six, two are left out.
    RowPlacement placed = PlaceOnRows(12, 6);
    EXPECT_EQ(Rows(placed), (std::vector<int>{12, 13, 14, 15}));
    EXPECT_EQ(placed.leftOut, 2u);

    // Taken rows are skipped, not overwritten; what fits still fits.
    TakenRows taken{};
    taken[0] = taken[2] = taken[15] = true;
    placed = PlaceOnRows(0, 14, taken);
    EXPECT_EQ(Rows(placed), (std::vector<int>{1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(placed.leftOut, 1u);

    EXPECT_EQ(PlaceOnRows(0, 0).items.size(), 0u);
    // A first row outside the 16 places nothing (and never indexes past them).
    for (const int first : {-1, 16, 99}) {
        placed = PlaceOnRows(first, 3);
        EXPECT_TRUE(placed.items.empty()) << first;
        EXPECT_EQ(placed.leftOut, 3u) << first;
    }
}

TEST(RowPlacement, ARowKeepsItsLevelAndTakesTheItemsPart) {
    VoiceOptions row;
    row.start = VoiceOptions::Start::FirstSound;
    row.lengthNanoseconds = 500'000'000;
    row.loudness = true;
    row.loudnessLufs = -16.0;
    VoiceOptions slice;
    slice.start = VoiceOptions::Start::At;
    slice.startNanoseconds = 250'000'000;
    slice.lengthNanoseconds = 125'000'000;
    slice.normalize = true;  // an item's level never replaces the row's
    slice.normalizeDbfs = -3.0;

    VoiceOptions expected = row;
    expected.start = slice.start;
    expected.startNanoseconds = slice.startNanoseconds;
    expected.lengthNanoseconds = slice.lengthNanoseconds;
    EXPECT_EQ(PlacedRowOptions(row, slice), expected);

    // A whole file begins at its beginning, whatever the row's former start.
    VoiceOptions level;
    level.loudness = true;
    level.loudnessLufs = -16.0;
    EXPECT_EQ(PlacedRowOptions(row, VoiceOptions{}), level);
}
