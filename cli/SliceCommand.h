#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/RowChoices.h"
#include "cli/Tool.h"
#include "convert/Onsets.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

// The help of the options that choose slices, shared by slices and build
// --slice (a literal, so each command's help text is one literal too).
#define GLW_SLICE_OPTIONS_HELP                                                          \
    "  --mode transients|equal|strongest\n"                                             \
    "            transients (the default): every hit the sensitivity lets through;\n"   \
    "            equal: --count equal parts (or by --tempo); strongest: the --count\n"  \
    "            strongest hits\n"                                                      \
    "  --sensitivity N\n"                                                               \
    "            0 to 100 (default 50): higher finds softer hits\n"                     \
    "  --count N 1 to 999 (default 16), for equal and strongest\n"                      \
    "  --tempo BPM --note A/B\n"                                                        \
    "            equal parts one note long at BPM quarter notes a minute (20 to\n"      \
    "            999), from the file's start; A/B of a whole note: 1/16 a sixteenth,\n" \
    "            1/12 an eighth triplet, 3/16 a dotted eighth. A rest shorter than\n"   \
    "            half a note at the end stays with the last part. Implies\n"            \
    "            --mode equal\n"

// The options that choose slices, each with a value.
inline constexpr std::array<std::string_view, 5> SliceSettingOptions = {
    "--mode", "--sensitivity", "--count", "--tempo", "--note"};
[[nodiscard]] bool IsSliceSettingOption(std::string_view name);

// Reads --mode, --sensitivity, --count, --tempo and --note of values (others are left to the
// caller) into *settings. A bad or repeated value is a usage error naming
// the option: written to err, false returned.
[[nodiscard]] bool ParseSliceSettings(std::string_view command,
                                      const std::vector<OptionValue>& values,
                                      SliceSettings* settings, std::ostream& err);

// build --slice FILE [--first-row N] and the slice options of values: finds
// the slices of FILE and gives each the next row from N upward ((*files),
// (*named) and the row's start and length in (*choices)). Slices beyond the
// last row are left out with a word on err. Returns ExitOk (also when there
// is no --slice), ExitUsage for a bad value, a row given twice or a --start
// for a slice's row, ExitFailure when FILE cannot be read or has no slice;
// the message is written to err.
[[nodiscard]] int PlaceSlices(const std::vector<OptionValue>& values, bool convert,
                              std::array<std::string, VoiceSlotCount>* files,
                              std::array<bool, VoiceSlotCount>* named,
                              std::vector<RowChoice>* choices, std::ostream& err);

// slices FILE [--convert] [--mode ...] [--sensitivity N] [--count N]
[[nodiscard]] int RunSlices(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err);
extern const char* const SlicesHelp;

}  // namespace glwtool
