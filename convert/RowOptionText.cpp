#include "convert/RowOptionText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// text in single quotes, built by appending: GCC 12 at -O3 misreads
// "'" + std::string(text) as an overlapping copy (-Wrestrict).
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '\'';
    quoted.append(text);
    quoted += '\'';
    return quoted;
}

constexpr int64_t NanosPerSecond = 1'000'000'000;
constexpr int64_t MaxSeconds = 100LL * 365 * 24 * 3600;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Digits with at most one point and at least one digit: the parts before
// and after the point.
bool SplitDecimal(std::string_view text, std::string_view* whole, std::string_view* fraction) {
    const size_t point = text.find('.');
    *whole = text.substr(0, point);
    *fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole->empty() && fraction->empty()) return false;
    for (const std::string_view part : {*whole, *fraction}) {
        for (const char c : part) {
            if (!IsDigit(c)) return false;
        }
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

constexpr std::string_view FirstSoundText = "auto";

bool ParseStart(std::string_view text, VoiceOptions* options, std::string* why) {
    int64_t nanoseconds = 0;
    if (EqualsNoCase(Trimmed(text), FirstSoundText)) {
        options->start = VoiceOptions::Start::FirstSound;
        options->startNanoseconds = 0;
    } else if (ParseSecondsText(text, &nanoseconds)) {
        options->start = VoiceOptions::Start::At;
        options->startNanoseconds = nanoseconds;
    } else {
        *why = Quoted(text) + " is not a time in seconds (as 1.25) or auto";
        return false;
    }
    return true;
}

std::string FormatStart(const VoiceOptions& options) {
    switch (options.start) {
    case VoiceOptions::Start::Beginning: return {};
    case VoiceOptions::Start::At: return SecondsText(options.startNanoseconds);
    case VoiceOptions::Start::FirstSound: return std::string(FirstSoundText);
    }
    return {};
}

std::string DescribeStart(const VoiceOptions& options, const AppliedOptions& applied) {
    if (options.start == VoiceOptions::Start::Beginning) return {};
    return "start " + ShownSecondsText(applied.startFrame, applied.sourceRate) + " s" +
           (options.start == VoiceOptions::Start::FirstSound ? " (first sound)" : "");
}

bool ParseLength(std::string_view text, VoiceOptions* options, std::string* why) {
    int64_t nanoseconds = 0;
    if (!ParseSecondsText(text, &nanoseconds) || nanoseconds <= 0) {
        *why = Quoted(text) + " is not a length in seconds above 0 (as 0.25)";
        return false;
    }
    options->lengthNanoseconds = nanoseconds;
    return true;
}

std::string FormatLength(const VoiceOptions& options) {
    return options.lengthNanoseconds > 0 ? SecondsText(options.lengthNanoseconds) : std::string();
}

std::string DescribeLength(const VoiceOptions& options, const AppliedOptions& applied) {
    if (options.lengthNanoseconds <= 0) return {};
    return "length " +
           ShownSecondsText(StartFrameAt(options.lengthNanoseconds, applied.sourceRate),
                            applied.sourceRate) +
           " s";
}

// A level option's value: a decimal within [min, max], in unit ("level",
// "dBFS", "-20 and 0" says "the level must lie between -20 and 0 dBFS").
struct LevelRule {
    double min, max;
    const char *noun, *unit, *range;
};

bool ParseLevelValue(std::string_view text, const LevelRule& rule, bool* on, double* value,
                     std::string* why) {
    double read = 0;
    if (!ParseDecimalText(text, &read)) {
        *why = Quoted(text) + " is not a " + rule.noun + " in " + rule.unit;
        return false;
    }
    if (!(read >= rule.min && read <= rule.max)) {
        *why =
            std::string("the ") + rule.noun + " must lie between " + rule.range + " " + rule.unit;
        return false;
    }
    *on = true;
    *value = read;
    return true;
}

bool ParseNormalize(std::string_view text, VoiceOptions* options, std::string* why) {
    constexpr LevelRule rule{NormalizeMinDbfs, NormalizeMaxDbfs, "level", "dBFS", "-20 and 0"};
    return ParseLevelValue(text, rule, &options->normalize, &options->normalizeDbfs, why);
}

std::string FormatNormalize(const VoiceOptions& options) {
    return options.normalize ? DecimalText(options.normalizeDbfs) : std::string();
}

std::string DescribeNormalize(const VoiceOptions& options, const AppliedOptions& applied) {
    if (!options.normalize) return {};
    return applied.normalized ? "normalized to " + DecimalText(options.normalizeDbfs) + " dBFS"
                              : std::string("silent, not normalized");
}

bool ParseLoudness(std::string_view text, VoiceOptions* options, std::string* why) {
    constexpr LevelRule rule{LoudnessMinLufs, LoudnessMaxLufs, "loudness", "LUFS", "-40 and 0"};
    return ParseLevelValue(text, rule, &options->loudness, &options->loudnessLufs, why);
}

std::string FormatLoudness(const VoiceOptions& options) {
    return options.loudness ? DecimalText(options.loudnessLufs) : std::string();
}

std::string DescribeLoudness(const VoiceOptions& options, const AppliedOptions& applied) {
    if (!options.loudness) return {};
    LoudnessApplied asked;
    asked.scaled = true;
    return DescribeLoudnessApplied(options.loudnessLufs,
                                   applied.loudness != nullptr ? *applied.loudness : asked);
}

// Whole milliseconds from 0 to MaxFadeMs.
bool ParseFadeMs(std::string_view text, int* ms, std::string* why) {
    const std::string_view digits = Trimmed(text);
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() || value < 0 ||
        value > MaxFadeMs) {
        *why = Quoted(text) + " is not a fade in whole milliseconds from 0 to 500";
        return false;
    }
    *ms = value;
    return true;
}

bool ParseFadeIn(std::string_view text, VoiceOptions* options, std::string* why) {
    return ParseFadeMs(text, &options->fadeInMs, why);
}

std::string FormatFadeIn(const VoiceOptions& options) {
    return options.fadeInMs > 0 ? std::to_string(options.fadeInMs) : std::string();
}

std::string DescribeFadeIn(const VoiceOptions& options, const AppliedOptions&) {
    return options.fadeInMs > 0 ? "fade-in " + std::to_string(options.fadeInMs) + " ms"
                                : std::string();
}

bool ParseFadeOut(std::string_view text, VoiceOptions* options, std::string* why) {
    return ParseFadeMs(text, &options->fadeOutMs, why);
}

std::string FormatFadeOut(const VoiceOptions& options) {
    return options.fadeOutMs != DefaultFadeOutMs ? std::to_string(options.fadeOutMs)
                                                 : std::string();
}

std::string DescribeFadeOut(const VoiceOptions& options, const AppliedOptions&) {
    if (options.fadeOutMs == DefaultFadeOutMs) return {};
    return options.fadeOutMs == 0 ? std::string("no fade-out")
                                  : "fade-out " + std::to_string(options.fadeOutMs) + " ms";
}

bool ParseEnd(std::string_view text, VoiceOptions* options, std::string* why) {
    if (!EqualsNoCase(Trimmed(text), FirstSoundText)) {
        *why = Quoted(text) + " is not auto (the row ends after its last sound)";
        return false;
    }
    options->endAtLastSound = true;
    return true;
}

std::string FormatEnd(const VoiceOptions& options) {
    return options.endAtLastSound ? std::string(FirstSoundText) : std::string();
}

std::string DescribeEnd(const VoiceOptions& options, const AppliedOptions&) {
    return options.endAtLastSound ? std::string("end after last sound") : std::string();
}

// A switch: on when given, stored as "yes".
constexpr std::string_view OnText = "yes";

bool ParseSwitch(std::string_view text, bool* on, std::string* why) {
    if (!EqualsNoCase(Trimmed(text), OnText)) {
        *why = Quoted(text) + " is not yes";
        return false;
    }
    *on = true;
    return true;
}

bool ParseSnap(std::string_view text, VoiceOptions* options, std::string* why) {
    return ParseSwitch(text, &options->snap, why);
}

std::string FormatSnap(const VoiceOptions& options) {
    return options.snap ? std::string(OnText) : std::string();
}

std::string DescribeSnap(const VoiceOptions& options, const AppliedOptions&) {
    return options.snap ? std::string("snapped to zero crossings") : std::string();
}

bool ParseReverse(std::string_view text, VoiceOptions* options, std::string* why) {
    return ParseSwitch(text, &options->reverse, why);
}

std::string FormatReverse(const VoiceOptions& options) {
    return options.reverse ? std::string(OnText) : std::string();
}

std::string DescribeReverse(const VoiceOptions& options, const AppliedOptions&) {
    return options.reverse ? std::string("reversed") : std::string();
}

bool ParsePitch(std::string_view text, VoiceOptions* options, std::string* why) {
    double semitones = 0;
    const std::string_view trimmed = Trimmed(text);
    const size_t point = trimmed.find('.');
    if (!ParseDecimalText(text, &semitones) ||
        (point != std::string_view::npos && trimmed.size() - point - 1 > 2)) {
        *why = Quoted(text) + " is not a pitch in semitones (as -12 or +0.5, two decimals at most)";
        return false;
    }
    if (!(std::abs(semitones) <= MaxPitchCents / 100)) {
        *why = "the pitch must lie between -24 and +24 semitones";
        return false;
    }
    options->pitchCents = static_cast<int>(std::lround(semitones * 100));
    return true;
}

std::string FormatPitch(const VoiceOptions& options) {
    const int cents = options.pitchCents;
    if (cents == 0) return {};
    // Appended piece by piece: "literal" + std::string trips GCC 12's
    // -Wrestrict at -O3.
    std::string text(1, cents < 0 ? '-' : '+');
    text += std::to_string(std::abs(cents) / 100);
    if (const int rest = std::abs(cents) % 100; rest != 0) {
        text += '.';
        if (rest % 10 == 0) {
            text += std::to_string(rest / 10);
        } else {
            if (rest < 10) text += '0';
            text += std::to_string(rest);
        }
    }
    return text;
}

std::string DescribePitch(const VoiceOptions& options, const AppliedOptions&) {
    return options.pitchCents != 0 ? "pitch " + FormatPitch(options) + " semitones" : std::string();
}

// clang-format off
constexpr std::array<RowOptionText, 10> Texts{{
    {"Start", "--start", "ROW=SECONDS or ROW=auto", "start", RowOptionPart::Start, false,
     "  --start ROW=SECONDS\n"
     "            the row begins that far into its file (1.25 = 1 s 250 ms, at most 9\n"
     "            decimals); ROW=auto begins 1 ms before the first sound that reaches\n"
     "            -40 dBFS. The row then takes up to 0.97 s from there.\n",
     ParseStart, FormatStart, DescribeStart},
    {"Length", "--length", "ROW=SECONDS", "length", RowOptionPart::Length, false,
     "  --length ROW=SECONDS\n"
     "            the row takes at most that much of its file from its start (at most\n"
     "            0.97 s still), with the fade at its end\n",
     ParseLength, FormatLength, DescribeLength},
    {"Normalize", "--normalize", "ROW=DBFS", "level", RowOptionPart::Level, false,
     "  --normalize ROW=DBFS\n"
     "            scales the row so that its peak is at DBFS (-20 to 0) before the fade.\n",
     ParseNormalize, FormatNormalize, DescribeNormalize},
    {"Loudness", "--loudness", "ROW=LUFS", "loudness", RowOptionPart::Level, false,
     "  --loudness ROW=LUFS\n"
     "            scales the row, faded, so that its loudest 400 ms (K-weighted) measure\n"
     "            LUFS (-40 to 0), unless its true peak would pass -1 dBTP: then the true\n"
     "            peak lies at -1 dBTP and the row's line says so. A row takes\n"
     "            --normalize or --loudness, not both.\n",
     ParseLoudness, FormatLoudness, DescribeLoudness},
    {"End", "--end", "ROW=auto", "end", RowOptionPart::Length, false,
     "  --end ROW=auto\n"
     "            the row ends 1 ms after the last sound of its part that reaches\n"
     "            -40 dBFS, with its fade-out before that end.\n",
     ParseEnd, FormatEnd, DescribeEnd},
    {"Snap", "--snap", "ROW", "snap", RowOptionPart::Shape, true,
     "  --snap ROW\n"
     "            the start, and the end where --length or --end sets one, move to the\n"
     "            nearest zero crossing within 5 ms, so a row begins without a click.\n",
     ParseSnap, FormatSnap, DescribeSnap},
    {"Pitch", "--pitch", "ROW=SEMITONES", "pitch", RowOptionPart::Shape, false,
     "  --pitch ROW=SEMITONES\n"
     "            plays the row's part faster or slower (-24 to +24, two decimals for\n"
     "            cents), as a sampler pitches a sample: +12 is an octave up in half the\n"
     "            frames, -12 an octave down in twice as many, cut at 0.97 s.\n",
     ParsePitch, FormatPitch, DescribePitch},
    {"Reverse", "--reverse", "ROW", "reverse", RowOptionPart::Shape, true,
     "  --reverse ROW\n"
     "            plays the row's part backwards; the fades apply to the reversed sound.\n",
     ParseReverse, FormatReverse, DescribeReverse},
    {"FadeIn", "--fade-in", "ROW=MS", "fade-in", RowOptionPart::Shape, false,
     "  --fade-in ROW=MS\n"
     "            the row rises from silence over its first MS milliseconds (0 to 500).\n",
     ParseFadeIn, FormatFadeIn, DescribeFadeIn},
    {"FadeOut", "--fade-out", "ROW=MS", "fade-out", RowOptionPart::Shape, false,
     "  --fade-out ROW=MS\n"
     "            the row falls to silence over its last MS milliseconds (0 to 500,\n"
     "            20 unless given). The part is chosen (start, length, end), then\n"
     "            pitched, reversed, levelled by --normalize, faded, then set to its\n"
     "            --loudness.\n",
     ParseFadeOut, FormatFadeOut, DescribeFadeOut},
}};
// clang-format on

}  // namespace

bool ParseSecondsText(std::string_view text, int64_t* nanoseconds) {
    std::string_view whole;
    std::string_view fraction;
    if (!SplitDecimal(Trimmed(text), &whole, &fraction)) return false;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    // More than 10 digits is past any century, and would overflow.
    if (whole.size() > 10) return false;
    int64_t seconds = 0;
    for (const char c : whole) seconds = seconds * 10 + (c - '0');
    if (seconds > MaxSeconds) return false;
    int64_t part = 0;
    for (size_t i = 0; i < 9; ++i) part = part * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    *nanoseconds = seconds * NanosPerSecond + part;
    return true;
}

std::string SecondsText(int64_t nanoseconds) {
    if (nanoseconds < 0) nanoseconds = 0;
    std::string fraction = std::to_string(nanoseconds % NanosPerSecond);
    fraction.insert(0, 9 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string text = std::to_string(nanoseconds / NanosPerSecond);
    return fraction.empty() ? text : text + "." + fraction;
}

std::string FrameSecondsText(int64_t frame, int rate) {
    std::string text = SecondsText(NanosecondsOfFrame(frame, rate));
    const size_t point = text.find('.');
    if (point == std::string::npos) return text + ".000";
    return text +
           std::string(std::max<size_t>(text.size() - point, 4) - (text.size() - point), '0');
}

std::string ShownSecondsText(int64_t frame, int rate) {
    if (frame <= 0 || rate <= 0) return "0.000";
    // Whole seconds and the rest apart, so no product overflows.
    const int64_t ms =
        frame / rate * 1000 + (frame % rate * 2000 + rate) / (2 * static_cast<int64_t>(rate));
    std::string decimals = std::to_string(ms % 1000);
    decimals.insert(0, 3 - decimals.size(), '0');
    return std::to_string(ms / 1000) + "." + decimals;
}

bool ParseClockText(std::string_view text, int64_t* nanoseconds) {
    text = Trimmed(text);
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return ParseSecondsText(text, nanoseconds);
    const std::string_view minutes = text.substr(0, colon);
    const std::string_view rest = text.substr(colon + 1);
    // Two digits of seconds, as shown: 1:05.250, not 1:5.25.
    if (minutes.empty() || minutes.size() > 9 || rest.size() < 2 || !IsDigit(rest[0]) ||
        !IsDigit(rest[1]) || (rest.size() > 2 && rest[2] != '.'))
        return false;
    int64_t wholeMinutes = 0;
    for (const char c : minutes) {
        if (!IsDigit(c)) return false;
        wholeMinutes = wholeMinutes * 10 + (c - '0');
    }
    int64_t seconds = 0;
    if (!ParseSecondsText(rest, &seconds) || seconds >= 60 * NanosPerSecond) return false;
    *nanoseconds = wholeMinutes * 60 * NanosPerSecond + seconds;
    return true;
}

std::string ClockText(int64_t frame, int rate) {
    int64_t nanoseconds = 0;
    if (!ParseSecondsText(ShownSecondsText(frame, rate), &nanoseconds)) return "0:00.000";
    const int64_t ms = nanoseconds / 1'000'000;
    std::string seconds = std::to_string(ms / 1000 % 60);
    std::string millis = std::to_string(ms % 1000);
    seconds.insert(0, 2 - seconds.size(), '0');
    millis.insert(0, 3 - millis.size(), '0');
    return std::to_string(ms / 60000) + ":" + seconds + "." + millis;
}

bool ParseDecimalText(std::string_view text, double* value) {
    text = Trimmed(text);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    std::string_view whole;
    std::string_view fraction;
    if (!SplitDecimal(text, &whole, &fraction)) return false;
    // Spelt out in full, so ".5" and "5." read as any other decimal.
    std::string digits = whole.empty() ? std::string("0") : std::string(whole);
    if (!fraction.empty()) {
        digits += '.';
        digits.append(fraction);
    }
    double read = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), read,
                                           std::chars_format::fixed);
    if (ec != std::errc{} || end != digits.data() + digits.size() || !std::isfinite(read))
        return false;
    *value = negative ? -read : read;
    return true;
}

std::string DecimalText(double value) {
    if (!std::isfinite(value)) return "?";
    if (value == 0.0) value = 0.0;  // no "-0.0"
    // The shortest fixed text of a double fits: at most 309 whole digits.
    std::array<char, 400> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed);
    if (ec != std::errc{}) return "?";
    std::string text(buffer.data(), end);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

std::span<const RowOptionText> RowOptionTexts() { return Texts; }

const RowOptionText* FindRowOption(std::string_view option) {
    for (const RowOptionText& text : Texts) {
        if (text.option == option) return &text;
    }
    return nullptr;
}

std::string ConflictingOptions(const VoiceOptions& options) {
    if (!(options.normalize && options.loudness)) return {};
    std::string text;
    for (const RowOptionText& option : Texts) {
        if (option.part != RowOptionPart::Level) continue;
        if (!text.empty()) text += " or ";
        text.append(option.option);
    }
    return text + ", not both";
}

std::string DescribeAppliedOptions(const VoiceOptions& options, const AppliedOptions& applied) {
    std::string text;
    for (const RowOptionText& option : Texts) {
        const std::string part = option.describe(options, applied);
        if (part.empty()) continue;
        if (!text.empty()) text += ", ";
        text += part;
    }
    return text;
}
