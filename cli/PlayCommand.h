#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"
#include "engine/SoundEngine.h"

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

// Opens the sound device for play and play --midi, its name printed first;
// false with "no sound device" written when none opens (exit code
// ExitNoSoundDevice).
[[nodiscard]] bool OpenSoundDevice(SoundEngine& engine, SoundEngine::Listener* listener,
                                   std::ostream& out, std::ostream& err);

// The command's entry for the dispatcher.
[[nodiscard]] Command PlayCommand();

}  // namespace glwtool
