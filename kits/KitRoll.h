#pragma once

// Kits rolled at random from folders: glwtool build --random and the
// window's "Roll rows from folders...". A folder's sound files are listed
// with its sub-folders (ListSoundFilesUnder); each rolled row draws one,
// never a file another row holds or drew. The draw is a fixed generator
// (SplitMix64) over the files in natural order, so a seed gives the same
// rows on every machine.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The next number of the generator, advancing state.
[[nodiscard]] uint64_t NextRandom(uint64_t* state);

// For each row whose pool is not empty, a file of its pool chosen by the
// seed, leaving out the files in taken and those drawn for lower rows.
// Empty for a row not rolled or whose pool has nothing left.
[[nodiscard]] std::array<std::string, 16> RollRows(
    const std::array<std::vector<std::string>, 16>& pools, const std::vector<std::string>& taken,
    uint64_t seed);
