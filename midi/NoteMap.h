#pragma once

// How a MIDI note plays the bank, as the instrument maps it: note 60 plays
// row 1 and the rows repeat every 16 notes, below 60 as above it.

namespace midi {

inline constexpr int RowCount = 16;
inline constexpr int FirstRowNote = 60;

// The row (1 ... 16) note 0 ... 127 plays: ((note - 60) mod 16) + 1 with a
// modulo that is never negative, so 59 plays row 16 and 44 row 1.
[[nodiscard]] constexpr int RowForNote(int note) {
    const int offset = (note - FirstRowNote) % RowCount;
    return (offset < 0 ? offset + RowCount : offset) + 1;
}

// The level a note-on's velocity (1 ... 127) plays its row at, as a gain on
// the row's samples: (velocity / 127)^2. 127 gives exactly 1 (the row as
// made); the square spreads the range over about 42 dB, so soft strokes
// sound soft, as on a drum pad. Values outside 1 ... 127 are clamped.
[[nodiscard]] float GainForVelocity(int velocity);

}  // namespace midi
