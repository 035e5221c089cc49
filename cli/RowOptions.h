#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Tool.h"
#include "convert/VoiceLoad.h"

struct AudioData;

namespace glwtool {

// What a command line asks of one row: --start ROW=SECONDS|ROW=auto,
// --normalize ROW=DBFS and --loudness ROW=LUFS.
struct RowChoice {
    VoiceOptions options;
    std::string start;      // "--start 3=1.25" as given; empty without one
    std::string normalize;  // "--normalize 3=-1" as given; empty without one
    std::string loudness;   // "--loudness 3=-16" as given; empty without one
};

// Reads the --start, --normalize and --loudness options of values (others are left to
// the caller) into (*choices)[ROW - 1]; choices is resized to rows. ROW runs
// from 1 to rows; what names a row in messages ("row" for build, "file" for
// play). SECONDS is a decimal number (at most 9 decimals, read exactly,
// without floating point) or "auto"; DBFS a decimal from -20 to 0; LUFS one
// from -40 to 0. A bad or repeated value, or a row given both a level and a
// loudness, is a usage error naming the option: written to err, false
// returned.
[[nodiscard]] bool ParseRowOptions(std::string_view command, const std::vector<OptionValue>& values,
                                   size_t rows, std::string_view what,
                                   std::vector<RowChoice>* choices, std::ostream& err);

// "-1.5": an optional minus, digits, optionally a point and digits.
[[nodiscard]] bool ParseLevel(std::string_view text, double* level);

// The option given for a row, for a message ("--start 3=1.25"); empty when
// the row has none.
[[nodiscard]] std::string FirstOptionGiven(const RowChoice& choice);

// Loads a file into a row as LoadVoice makes it. Returns true when record
// holds the row. Otherwise *failure is the line to print: the reader's
// reason and code (and the converter's), or, with *usage set, the start
// option that lies past the file's end.
[[nodiscard]] bool LoadRowFile(const std::string& file, const RowChoice& choice, bool convert,
                               AudioData* record, VoiceLoadOutcome* outcome, std::string* failure,
                               bool* usage);

// What a loaded row's line adds after its format: "from bank DRUMS row 03, "
// for a row file kept exactly, "start 1.250 s, normalized to -1.0 dBFS, "
// for the options applied ("loudness -16.0 LUFS, " or the ceiling that held
// the row below it); empty for a file loaded as before options.
[[nodiscard]] std::string DescribeApplied(const RowChoice& choice, const VoiceLoadOutcome& outcome,
                                          const AudioData& record);

}  // namespace glwtool
