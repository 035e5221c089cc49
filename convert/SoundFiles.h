#pragma once

// Which files are sound files and the order they fill rows in, shared by
// glwtool, the window's fills and kit rolls, and the sound browser.

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "convert/SoundSource.h"

// Natural order: digit runs compare as numbers ("kick2" < "kick10"),
// letters without case first, then the bytes as a tie-break.
[[nodiscard]] bool NaturalLess(std::string_view a, std::string_view b);

// A name the strict reader takes (.wav .aif .aiff, any case), or with
// convert also one the converter takes.
[[nodiscard]] bool IsSoundFileName(const std::filesystem::path& p, bool convert);

// The sound files directly in dir (not sub-folders, no hidden files),
// in natural order of their names; false with a reason when dir
// cannot be read.
[[nodiscard]] bool ListSoundFiles(const std::filesystem::path& dir, bool convert,
                                  std::vector<std::filesystem::path>* out,
                                  std::string* why = nullptr);

// The sound files in dir and every folder below it (no hidden files or
// folders, links to folders not followed, regular files only), in natural
// order of their paths below dir. False with the reason when dir cannot
// be read; cancelled stops it early (false, no reason).
[[nodiscard]] bool ListSoundFilesUnder(const std::string& dir, bool convert,
                                       std::vector<std::string>* out, std::string* why,
                                       const std::atomic<bool>& cancelled = NeverCancelled());
