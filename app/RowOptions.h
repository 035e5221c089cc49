#pragma once

// A row's options in the profile and in words. The profile keeps them in a
// section of their own, one key per row and option, only for rows that
// have options: Start01=1.25 (seconds) or Start01=auto, Normalize01=-1.0,
// Loudness01=-16.0 (LUFS).
// The texts are those of convert/RowOptionText.h, which glwtool reads too.

#include <QString>

#include <cstdint>

#include "convert/VoiceLoad.h"

class ProfileStore;

// The row's options as stored; an option whose value cannot be read (a
// start that is not a decimal number of seconds >= 0, a level outside
// NormalizeMinDbfs ... NormalizeMaxDbfs) is left off.
[[nodiscard]] VoiceOptions ReadRowOptions(ProfileStore& profile, int slot);
// Stores the row's options; default options remove its keys.
void WriteRowOptions(ProfileStore& profile, int slot, const VoiceOptions& options);

// "start 1.250 s, normalized to -1.0 dBFS"; empty for default options.
// startFrame and sourceRate: where the row began in its source; loudness
// (may be null): what a loudness option made of the row, to say when the
// ceiling held it below its target.
[[nodiscard]] QString DescribeRowOptions(const VoiceOptions& options, int64_t startFrame,
                                         int sourceRate, const LoudnessApplied* loudness = nullptr);
