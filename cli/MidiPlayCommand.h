#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace glwtool {

// play --midi BANK.glw | play --midi [--convert] [--start ...] [--normalize ...] FILE...:
// loads the bank's rows (or the files into rows 1, 2, ... in order) and plays
// them from MIDI note-ons, as the window does, until SIGINT or SIGTERM: at
// the JACK outputs while a JACK server runs, unless --sound-device.
// Returns ExitOk after the interrupt, ExitFailure for a damaged bank or a
// file that cannot be loaded (nothing plays), ExitUsage, or
// ExitNoSoundDevice.
[[nodiscard]] int RunPlayMidi(const std::vector<std::string>& args, std::ostream& out,
                              std::ostream& err);

// Whether play's arguments ask for MIDI: "--midi" among its options.
[[nodiscard]] bool AsksForMidi(const std::vector<std::string>& args);

}  // namespace glwtool
