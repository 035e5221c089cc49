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

// What a command line asks of one row: each row option of
// convert/RowOptionText.h as --OPTION ROW=VALUE (--start 3=1.25,
// --normalize 3=-1), a switch as --OPTION ROW (--reverse 3).
struct RowChoice {
    VoiceOptions options;
    // Per entry of RowOptionTexts(): the option as given ("--start 3=1.25"),
    // empty when not given.
    std::vector<std::string> given;
};

// Reads the row options of values (others are left to the caller) into
// (*choices)[ROW - 1]; choices is resized to rows. ROW runs from 1 to rows;
// what names a row in messages ("row" for build, "file" for play). A bad or
// repeated value is a usage error naming the option: written to err, false
// returned.
[[nodiscard]] bool ParseRowOptions(std::string_view command, const std::vector<OptionValue>& values,
                                   size_t rows, std::string_view what,
                                   std::vector<RowChoice>* choices, std::ostream& err);

// The option given for a row, for a message ("--start 3=1.25"); empty when
// the row has none.
[[nodiscard]] std::string FirstOptionGiven(const RowChoice& choice);

// Loads a file into a row as LoadVoice makes it (record is cleared first). Returns true when record
// holds the row. Otherwise *failure is the line to print: the reader's
// reason and code (and the converter's), or, with *usage set, the start
// option that lies past the file's end.
[[nodiscard]] bool LoadRowFile(const std::string& file, const RowChoice& choice, bool convert,
                               AudioData* record, VoiceLoadOutcome* outcome, std::string* failure,
                               bool* usage);

// What a loaded row's line adds after its format: "from bank DRUMS row 03, "
// for a row file kept exactly, "start 1.250 s, normalized to -1.0 dBFS, "
// for the options applied; empty for a file loaded as before options.
[[nodiscard]] std::string DescribeApplied(const RowChoice& choice, const VoiceLoadOutcome& outcome,
                                          const AudioData& record);

}  // namespace glwtool
