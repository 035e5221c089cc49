#include "cli/RowChoices.h"

#include <cstring>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "cli/ConvertLoad.h"
#include "cli/LoadMessages.h"
#include "convert/RowOptionText.h"

namespace glwtool {

namespace {

// The row options setting part as given, joined by ", " ("--normalize
// 3=-1, --loudness 3=-16"); an option not given counts as empty.
std::string Given(const RowChoice& choice, RowOptionPart part) {
    std::string text;
    bool first = true;
    const auto texts = RowOptionTexts();
    for (size_t i = 0; i < texts.size() && i < choice.given.size(); ++i) {
        if (texts[i].part != part) continue;
        if (!first) text += ", ";
        first = false;
        text += choice.given[i];
    }
    return text;
}

}  // namespace

bool ParseRowOptions(std::string_view command, const std::vector<OptionValue>& values, size_t rows,
                     std::string_view what, std::vector<RowChoice>* choices, std::ostream& err) {
    const auto texts = RowOptionTexts();
    choices->assign(rows, RowChoice{{}, std::vector<std::string>(texts.size())});
    for (const OptionValue& v : values) {
        size_t index = 0;
        while (index < texts.size() && texts[index].option != v.name) ++index;
        if (index == texts.size()) continue;
        const RowOptionText& text = texts[index];
        const std::string given = v.name + " " + v.value;
        const auto fail = [&](const std::string& why) {
            UsageError(command, given + ": " + why, err);
            return false;
        };
        // A switch names only its row (--snap 3); any other option ROW=VALUE.
        const size_t equals = text.flag ? v.value.size() : v.value.find('=');
        if (equals == std::string::npos || equals == 0 ||
            (text.flag && v.value.find('=') != std::string::npos))
            return fail("give " + std::string(text.usage));
        const std::string number = v.value.substr(0, equals);
        size_t row = 0;
        if (!ParseRowNumber(number, rows, &row)) {
            if (number.find_first_not_of("0123456789") != std::string::npos)
                return fail("'" + number + "' is not a " + std::string(what) + " number");
            return fail(std::string(what) + " " + number + " is not between 1 and " +
                        std::to_string(rows));
        }
        RowChoice& choice = (*choices)[row - 1];
        if (!choice.given[index].empty())
            return fail("a second " + std::string(text.noun) + " for that " + std::string(what));
        std::string why;
        const std::string value = text.flag ? "yes" : v.value.substr(equals + 1);
        if (!text.parse(value, &choice.options, &why)) return fail(why);
        choice.given[index] = given;
        if (const std::string conflict = ConflictingOptions(choice.options); !conflict.empty())
            return fail("a " + std::string(what) + " takes " + conflict + " (" +
                        Given(choice, RowOptionPart::Level) + ")");
    }
    return true;
}

std::string FirstOptionGiven(const RowChoice& choice) {
    for (const std::string& given : choice.given) {
        if (!given.empty()) return given;
    }
    return {};
}

bool LoadRowFile(const std::string& file, const RowChoice& choice, bool convert, AudioData* record,
                 VoiceLoadOutcome* outcome, std::string* failure, bool* usage) {
    *usage = false;
    std::memset(record, 0, sizeof(AudioData));
    if (LoadVoice(file.c_str(), choice.options, convert, record, outcome)) return true;
    if (outcome->levelsConflict) {
        *usage = true;
        *failure = Given(choice, RowOptionPart::Level) + ": " + ConflictingOptions(choice.options);
        return false;
    }
    if (outcome->code == ReadOk && outcome->startPastEnd) {
        *usage = true;
        *failure = Given(choice, RowOptionPart::Start) + ": " + Printable(file) +
                   " ends before that start";
        return false;
    }
    *failure = convert && outcome->code != ReadOk
                   ? DescribeConvertFailure(file, outcome->code, *record, outcome->converter)
                   : DescribeLoadFailure(file, outcome->code, *record);
    return false;
}

std::string DescribeApplied(const RowChoice& choice, const VoiceLoadOutcome& outcome,
                            const AudioData& record) {
    std::string text;
    if (outcome.exactRow) {
        text += "from bank " + Printable(outcome.origin.bankName);
        if (outcome.origin.row > 0)
            text += " row " + RowNumber(static_cast<size_t>(outcome.origin.row - 1));
        text += ", ";
    }
    const std::string applied = DescribeAppliedOptions(
        choice.options, AppliedOptions{outcome.startFrame, record.sampleRate, outcome.normalized,
                                       &outcome.loudness});
    if (!applied.empty()) text += applied + ", ";
    return text;
}

}  // namespace glwtool
