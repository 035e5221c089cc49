#include "cli/RowOptions.h"

#include <charconv>
#include <cstdint>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "cli/ConvertLoad.h"
#include "cli/LoadMessages.h"

namespace glwtool {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "1.25" as nanoseconds, exactly: digits, optionally a point and 1 to 9
// more digits; at most 9 digits before the point.
bool ParseSeconds(std::string_view text, int64_t* nanoseconds) {
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() || whole.size() > 9) return false;
    if (point != std::string_view::npos && (fraction.empty() || fraction.size() > 9)) return false;
    int64_t ns = 0;
    for (const char c : whole) {
        if (!IsDigit(c)) return false;
        ns = ns * 10 + (c - '0');
    }
    for (size_t i = 0; i < 9; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (!IsDigit(c)) return false;
        ns = ns * 10 + (c - '0');
    }
    *nanoseconds = ns;
    return true;
}

// "-1.0", "-1.25", "0.0": the level with at least one decimal.
std::string LevelText(double level) {
    if (level == 0.0) level = 0.0;  // no "-0.0"
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, level);
    if (ec != std::errc{}) return "?";
    std::string text(buffer, end);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

// "1.250": a frame at a rate in seconds, rounded to milliseconds.
std::string SecondsText(int64_t frame, int rate) {
    if (rate <= 0) return "?";
    const int64_t ms = (frame * 2000 + rate) / (2 * int64_t{rate});
    std::string decimals = std::to_string(ms % 1000);
    decimals.insert(0, 3 - decimals.size(), '0');
    return std::to_string(ms / 1000) + "." + decimals;
}

}  // namespace

bool ParseLevel(std::string_view text, double* level) {
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    size_t digits = 0;
    bool point = false;
    size_t afterPoint = 0;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            ++(point ? afterPoint : digits);
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || (point && afterPoint == 0)) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *level);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool ParseRowOptions(std::string_view command, const std::vector<OptionValue>& values, size_t rows,
                     std::string_view what, std::vector<RowChoice>* choices, std::ostream& err) {
    choices->assign(rows, RowChoice{});
    for (const OptionValue& v : values) {
        const bool start = v.name == "--start";
        const bool loudness = v.name == "--loudness";
        if (!start && !loudness && v.name != "--normalize") continue;
        const std::string given = v.name + " " + v.value;
        const auto fail = [&](const std::string& why) {
            UsageError(command, given + ": " + why, err);
            return false;
        };
        const size_t equals = v.value.find('=');
        if (equals == std::string::npos || equals == 0)
            return fail(start      ? "give ROW=SECONDS or ROW=auto"
                        : loudness ? "give ROW=LUFS"
                                   : "give ROW=DBFS");
        const std::string number = v.value.substr(0, equals);
        size_t row = 0;
        for (const char c : number) {
            if (!IsDigit(c) || row > rows)
                return fail("'" + number + "' is not a " + std::string(what) + " number");
            row = row * 10 + static_cast<size_t>(c - '0');
        }
        if (row < 1 || row > rows)
            return fail(std::string(what) + " " + number + " is not between 1 and " +
                        std::to_string(rows));
        RowChoice& choice = (*choices)[row - 1];
        const std::string value = v.value.substr(equals + 1);
        if (start) {
            if (!choice.start.empty()) return fail("a second start for that " + std::string(what));
            if (value == "auto") {
                choice.options.start = VoiceOptions::Start::FirstSound;
            } else if (ParseSeconds(value, &choice.options.startNanoseconds)) {
                choice.options.start = VoiceOptions::Start::At;
            } else {
                return fail("'" + value + "' is not a time in seconds (as 1.25) or auto");
            }
            choice.start = given;
        } else {
            // A peak level in dBFS or a loudness in LUFS: the same rules, their own range.
            struct LevelKind {
                std::string* given;
                bool* on;
                double* value;
                double min, max;
                const char *noun, *unit, *range;
            };
            const LevelKind kind = loudness ? LevelKind{&choice.loudness,
                                                        &choice.options.loudness,
                                                        &choice.options.loudnessLufs,
                                                        LoudnessMinLufs,
                                                        LoudnessMaxLufs,
                                                        "loudness",
                                                        "LUFS",
                                                        "-40 and 0"}
                                            : LevelKind{&choice.normalize,
                                                        &choice.options.normalize,
                                                        &choice.options.normalizeDbfs,
                                                        NormalizeMinDbfs,
                                                        NormalizeMaxDbfs,
                                                        "level",
                                                        "dBFS",
                                                        "-20 and 0"};
            if (!kind.given->empty())
                return fail("a second " + std::string(kind.noun) + " for that " +
                            std::string(what));
            double parsed = 0;
            if (!ParseLevel(value, &parsed))
                return fail("'" + value + "' is not a " + kind.noun + " in " + kind.unit);
            if (parsed < kind.min || parsed > kind.max)
                return fail("the " + std::string(kind.noun) + " must lie between " + kind.range +
                            " " + kind.unit);
            *kind.on = true;
            *kind.value = parsed;
            *kind.given = given;
        }
        if (choice.options.normalize && choice.options.loudness)
            return fail("a " + std::string(what) + " takes --normalize or --loudness, not both (" +
                        choice.normalize + ", " + choice.loudness + ")");
    }
    return true;
}

std::string FirstOptionGiven(const RowChoice& choice) {
    if (!choice.start.empty()) return choice.start;
    return choice.normalize.empty() ? choice.loudness : choice.normalize;
}

bool LoadRowFile(const std::string& file, const RowChoice& choice, bool convert, AudioData* record,
                 VoiceLoadOutcome* outcome, std::string* failure, bool* usage) {
    *usage = false;
    if (LoadVoice(file.c_str(), choice.options, convert, record, outcome)) return true;
    if (outcome->levelsConflict) {
        *usage = true;
        *failure = choice.normalize + ", " + choice.loudness + ": give one of them";
        return false;
    }
    if (outcome->code == ReadOk && outcome->startPastEnd) {
        *usage = true;
        *failure = choice.start + ": " + file + " ends before that start";
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
    if (!choice.start.empty())
        text += "start " + SecondsText(outcome.startFrame, record.sampleRate) + " s, ";
    if (!choice.normalize.empty()) {
        text += outcome.normalized
                    ? "normalized to " + LevelText(choice.options.normalizeDbfs) + " dBFS, "
                    : std::string("silent, not normalized, ");
    }
    if (choice.options.loudness)
        text += DescribeLoudnessApplied(choice.options.loudnessLufs, outcome.loudness) + ", ";
    return text;
}

}  // namespace glwtool
