#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace glwtool {

// record OUT.wav [--input default|NAME|jack] [--connect PORT]... [--seconds S]
// [--threshold DBFS|off] [--pre-roll MS]: waits for the input to reach the
// threshold, records S seconds from there with the pre-roll before, and
// writes OUT.wav (stereo 32-bit float at the input's rate). Prints the file,
// its peak and where the sound starts. Returns ExitOk, ExitUsage,
// ExitFailure when OUT.wav cannot be written, or ExitNoSoundDevice when
// there is no such input or it goes away while recording.
[[nodiscard]] int RunRecord(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err);
extern const char* const RecordHelp;

// The command's entry for the dispatcher.
[[nodiscard]] Command RecordCommand();

}  // namespace glwtool
