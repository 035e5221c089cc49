#pragma once

// glwtool build --match-loudness [LUFS]: every filled row set to one
// loudness, as "Match levels..." does in the window.

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/RowChoices.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

struct MatchRequest {
    bool on = false;
    std::optional<double> target;  // none: the median of the rows
};

// The splitter's entry for --match-loudness: "--match-loudness",
// "--match-loudness=LUFS" or "--match-loudness LUFS" (a number after it is
// its value).
[[nodiscard]] OptionalValue MatchLoudnessOption();

// Reads --match-loudness of values (others are left to the caller) into
// *request. A bad or out-of-range value, or a second one, is a usage error:
// written to err, false returned.
[[nodiscard]] bool ReadMatchLoudness(const std::vector<OptionValue>& values, MatchRequest* request,
                                     std::ostream& err);

// Matching sets every row's level: a row given --normalize or --loudness
// as well is a usage error (written to err, false returned).
[[nodiscard]] bool CanMatchLoudness(const std::vector<RowChoice>& choices, std::ostream& err);

// Sets the sounding rows of image (made from files[k], or kept[k] from a
// bank) to the loudness that matches them: rows of one file keep their
// differences. choices and outcomes then tell each row's loudness as an
// option would; *summary holds the lines that say what was done: the
// target met, rows left as they are (silent, or already at a level no
// option names). Returns ExitOk; ExitUsage when a row would need a level
// outside -40 ... 0 LUFS (nothing changed); ExitFailure when a row cannot
// be measured (no memory). Either reason is written to err.
[[nodiscard]] int MatchRowsLoudness(const MatchRequest& request, VoiceBankImage* image,
                                    const std::array<std::string, VoiceSlotCount>& files,
                                    const std::array<bool, VoiceSlotCount>& kept,
                                    std::vector<RowChoice>* choices,
                                    std::array<VoiceLoadOutcome, VoiceSlotCount>* outcomes,
                                    std::string* summary, std::ostream& err);

}  // namespace glwtool
