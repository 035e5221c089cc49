#pragma once

// Where files or slices land on the 16 rows, and what a row keeps of its
// options when one does: the one rule of the window's fill and slicing and
// of glwtool's folder builds and build --slice. No Qt.
//
// The window calls it as:
//   const RowPlacement placed = PlaceOnRows(firstSlot, files.size());
//   for (const PlacedItem& p : placed.items)
//       load files[p.item] on p.row with PlacedRowOptions(rowOptions[p.row], fileOptions);
//   if (placed.leftOut > 0) say so ("3 files did not fit ...").

#include <array>
#include <cstddef>
#include <vector>

#include "convert/VoiceLoad.h"
#include "voicebank/VoiceBankImage.h"

// One item placed: items keep their order and each takes the next row.
struct PlacedItem {
    size_t item = 0;  // index into the items given
    int row = 0;      // 0-based: 0 is row 1
};

struct RowPlacement {
    std::vector<PlacedItem> items;  // the first items.size() items, in order
    size_t leftOut = 0;             // the items after them, past the last row
};

// Rows that are not free for placing (a row named by hand, a row kept from
// a bank); none by default: items then take consecutive rows.
using TakenRows = std::array<bool, VoiceSlotCount>;

// Places count items on the free rows from firstRow (0-based) upward, one
// each, in order, skipping taken rows; the items that find no row before the
// last are left out (always the last ones). A firstRow outside the rows
// places nothing.
[[nodiscard]] RowPlacement PlaceOnRows(int firstRow, size_t count, const TakenRows& taken = {});

// The one level rule: a row given a new file or slice takes where it begins
// and how long it is from the item (a slice's start and length, a whole
// file's none) and keeps its own level (a peak level or a loudness) and
// shape (snap, pitch, reverse, fades), so a row set to -16 LUFS stays at
// -16 LUFS with whatever sound lands on it.
[[nodiscard]] VoiceOptions PlacedRowOptions(const VoiceOptions& row, const VoiceOptions& item);
