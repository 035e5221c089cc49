#include "core/RowPlacement.h"

RowPlacement PlaceOnRows(int firstRow, size_t count, const TakenRows& taken) {
    RowPlacement placement;
    size_t item = 0;
    for (int row = firstRow < 0 ? VoiceSlotCount : firstRow; row < VoiceSlotCount && item < count;
         ++row) {
        if (taken[static_cast<size_t>(row)]) continue;
        placement.items.push_back({item++, row});
    }
    placement.leftOut = count - item;
    return placement;
}

VoiceOptions PlacedRowOptions(const VoiceOptions& row, const VoiceOptions& item) {
    VoiceOptions options = row;
    options.start = item.start;
    options.startNanoseconds = item.startNanoseconds;
    options.lengthNanoseconds = item.lengthNanoseconds;
    options.endAtLastSound = item.endAtLastSound;
    return options;
}
