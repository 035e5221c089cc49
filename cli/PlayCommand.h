#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace glwtool {

// play FILE...: auditions sound files through the sound engine, one after
// another, each loaded into a slot as the window does it and played to its
// end. Prints the sound device's name first, and a file's line when it has
// started. Returns ExitOk, ExitFailure when a file could not be loaded or
// played (the others still play), ExitUsage, or ExitNoSoundDevice when no
// device opens or the device is lost while playing (then nothing more
// plays).
[[nodiscard]] int RunPlay(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);
extern const char* const PlayHelp;

// The command's entry for the dispatcher.
[[nodiscard]] Command PlayCommand();

}  // namespace glwtool
