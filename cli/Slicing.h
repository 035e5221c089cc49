#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Tool.h"
#include "convert/Onsets.h"

namespace glwtool {

// The help of the options that choose slices, shared by slices and build
// --slice (a literal, so each command's help text is one literal too).
#define GLW_SLICE_OPTIONS_HELP                                                        \
    "  --mode transients|equal|strongest\n"                                           \
    "            transients (the default): every hit the sensitivity lets through;\n" \
    "            equal: --count equal parts; strongest: the --count strongest hits\n" \
    "  --sensitivity N\n"                                                             \
    "            0 to 100 (default 50): higher finds softer hits\n"                   \
    "  --count N 1 to 999 (default 16), for equal and strongest\n"

// Reads --mode, --sensitivity and --count of values (others are left to the
// caller) into *settings. A bad or repeated value is a usage error naming
// the option: written to err, false returned.
[[nodiscard]] bool ParseSliceSettings(std::string_view command,
                                      const std::vector<OptionValue>& values,
                                      SliceSettings* settings, std::ostream& err);

// "0.125000000": a frame at a rate as the exact seconds a start or length
// option takes to come back to that frame.
[[nodiscard]] std::string FrameSecondsText(int64_t frame, int rate);

// slices FILE [--convert] [--mode ...] [--sensitivity N] [--count N]
[[nodiscard]] int RunSlices(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err);
extern const char* const SlicesHelp;

}  // namespace glwtool
