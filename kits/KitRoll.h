#pragma once

// Kits rolled at random from folders: glwtool build --random and the
// window's "Roll rows from folders...". A folder's sound files are listed
// with its sub-folders; each rolled row draws one, never a file another
// row holds or drew. The draw is a fixed generator (SplitMix64) over the
// files in natural order, so a seed gives the same rows on every machine.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/SoundSource.h"

// The sound files in dir and every folder below it (no hidden files or
// folders, links to folders not followed, regular files only), in natural
// order of their paths below dir. False with the reason when dir cannot
// be read; cancelled stops it early (false, no reason).
[[nodiscard]] bool ListSoundFilesUnder(const std::string& dir, bool convert,
                                       std::vector<std::string>* out, std::string* why,
                                       const std::atomic<bool>& cancelled = NeverCancelled());

// The next number of the generator, advancing state.
[[nodiscard]] uint64_t NextRandom(uint64_t* state);

// For each row whose pool is not empty, a file of its pool chosen by the
// seed, leaving out the files in taken and those drawn for lower rows.
// Empty for a row not rolled or whose pool has nothing left.
[[nodiscard]] std::array<std::string, 16> RollRows(
    const std::array<std::vector<std::string>, 16>& pools, const std::vector<std::string>& taken,
    uint64_t seed);
