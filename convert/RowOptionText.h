#pragma once

// The one table of a row's options, one wording for the profile
// (Start01=1.25) and every glwtool command that makes rows (--start
// 1=1.25): how each option is named, read, stored, described and helped.
// Every option is one entry of RowOptionTexts(); a new option is a new
// entry there, and every user picks it up.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "convert/VoiceLoad.h"

// Decimal seconds, read exactly into nanoseconds without floating point:
// digits with at most one point ("1.25", ".5", "5."), blanks around them
// ignored. Decimals past the ninth are cut. False for anything else or a
// value beyond a century.
[[nodiscard]] bool ParseSecondsText(std::string_view text, int64_t* nanoseconds);
// The exact text of a nanosecond count, as stored: 1250000000 gives "1.25".
[[nodiscard]] std::string SecondsText(int64_t nanoseconds);
// A frame at a rate in seconds, rounded to milliseconds, as shown: "1.250".
[[nodiscard]] std::string ShownSecondsText(int64_t frame, int rate);
// A frame at a rate as the exact seconds a start or length option takes to
// come back to that frame, with at least 3 decimals: "0.125", "1.000",
// "0.047052155".
[[nodiscard]] std::string FrameSecondsText(int64_t frame, int rate);

// A time as typed in the row editor, "m:ss.mmm" (54:00.000 is 54 minutes;
// the seconds below 60, at most 9 decimals) or plain seconds ("1.25"), read
// exactly into nanoseconds. False for anything else.
[[nodiscard]] bool ParseClockText(std::string_view text, int64_t* nanoseconds);
// A frame at a rate as "m:ss.mmm", rounded to milliseconds: "54:00.000".
[[nodiscard]] std::string ClockText(int64_t frame, int rate);

// A decimal number: an optional sign, digits with at most one point, blanks
// around them ignored; no exponent. False for anything else.
[[nodiscard]] bool ParseDecimalText(std::string_view text, double* value);
// The shortest text that reads back as value, with at least one decimal
// and never "-0.0": -1 gives "-1.0", -0.00001 gives "-0.00001".
[[nodiscard]] std::string DecimalText(double value);

// What loading a row made of its options, for a description.
struct AppliedOptions {
    int64_t startFrame = 0;   // the source frame the row begins at
    int sourceRate = 0;       // the source's rate, for startFrame in seconds
    bool normalized = false;  // false when a normalised row was silent
    // What a loudness option made of the row (the ceiling may have held it
    // below its target); a loudness without it is described as asked.
    const LoudnessApplied* loudness = nullptr;
};

// What part of a row an option sets: where it begins, how long it is (a
// slice gives both), how its sound is shaped after that (kept by a row as
// its level is), or its level (a row takes one level option at most).
enum class RowOptionPart { Start, Length, Shape, Level };

// One option of a row.
struct RowOptionText {
    std::string_view profileKey;  // "Start": the profile's Start01 ... Start16
    std::string_view option;      // "--start": glwtool's --start ROW=VALUE
    std::string_view usage;       // "ROW=SECONDS or ROW=auto": what to give
    std::string_view noun;        // "start": "a second start for that row"
    RowOptionPart part;
    // A switch: given as --snap ROW (no value), stored as "yes"; parse
    // takes "yes".
    bool flag;
    // Its paragraph in glwtool build's help, lines ending in '\n'.
    std::string_view help;
    // Reads text into *options; on failure leaves them as they were and
    // sets *why ("'x' is not a level in dBFS").
    bool (*parse)(std::string_view text, VoiceOptions* options, std::string* why);
    // The text the option is stored as; empty when options leave it off.
    std::string (*format)(const VoiceOptions& options);
    // "start 1.250 s (first sound)"; empty when options leave it off.
    std::string (*describe)(const VoiceOptions& options, const AppliedOptions& applied);
};

// Every option, in the order they are described and stored.
[[nodiscard]] std::span<const RowOptionText> RowOptionTexts();

// The entry of the option named option ("--start"); null for none.
[[nodiscard]] const RowOptionText* FindRowOption(std::string_view option);

// A row takes a peak level or a loudness, not both: "--normalize or
// --loudness, not both" as glwtool says it; empty when options are fine.
[[nodiscard]] std::string ConflictingOptions(const VoiceOptions& options);

// The options' descriptions joined by ", " as a loaded row applied them:
// "start 1.250 s, normalized to -1.0 dBFS"; empty for default options.
[[nodiscard]] std::string DescribeAppliedOptions(const VoiceOptions& options,
                                                 const AppliedOptions& applied);
