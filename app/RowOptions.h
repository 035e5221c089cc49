#pragma once

// A row's options in the profile and in words. The profile keeps them in a
// section of their own, one key per row and option, only for rows that
// have options: Start01=1.25 (seconds) or Start01=auto, Normalize01=-1.0,
// Loudness01=-16.0 (LUFS).

#include <QString>

#include <cstdint>

#include "convert/VoiceLoad.h"

class ProfileStore;

// The row's options as stored; default when it has none or a value cannot
// be read (a start that is not a decimal number of seconds >= 0, a level
// outside NormalizeMinDbfs ... NormalizeMaxDbfs, a loudness outside
// LoudnessMinLufs ... LoudnessMaxLufs). A row given both a level and a
// loudness keeps both, and its load is refused with that reason.
[[nodiscard]] VoiceOptions ReadRowOptions(ProfileStore& profile, int slot);
// Stores the row's options; default options remove its keys.
void WriteRowOptions(ProfileStore& profile, int slot, const VoiceOptions& options);

// Exact decimal seconds of a nanosecond count: 1250000000 gives "1.25".
[[nodiscard]] QString SecondsText(int64_t nanoseconds);
// Reads "1.25" (at most 9 decimals count; more are cut) into nanoseconds.
// False for anything else, a negative value or one beyond a century.
[[nodiscard]] bool ParseSeconds(const QString& text, int64_t* nanoseconds);

// "start 1.250 s, normalized to -1.0 dBFS"; empty for default options.
// startFrame and sourceRate: where the row began, for a start at the
// first sound; loudness (may be null): what a loudness option made of the
// row, to say when the ceiling held it below its target.
[[nodiscard]] QString DescribeRowOptions(const VoiceOptions& options, int64_t startFrame,
                                         int sourceRate, const LoudnessApplied* loudness = nullptr);
