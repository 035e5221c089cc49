#include "cli/MatchLoudness.h"

#include <cassert>
#include <map>

#include "audio/AudioData.h"
#include "convert/Loudness.h"
#include "convert/RowOptionText.h"

namespace glwtool {

namespace {

constexpr std::string_view kOption = "--match-loudness";

bool Refuse(const std::string& why, std::ostream& err) {
    UsageError("build", why, err);
    return false;
}

const RowOptionText& LoudnessOption() {
    const RowOptionText* option = FindRowOption("--loudness");
    assert(option != nullptr);
    return *option;
}

bool LooksLikeLevel(const std::string& text) {
    double value = 0;
    return ParseDecimalText(text, &value);
}

}  // namespace

OptionalValue MatchLoudnessOption() { return {kOption, LooksLikeLevel}; }

bool ReadMatchLoudness(const std::vector<OptionValue>& values, MatchRequest* request,
                       std::ostream& err) {
    *request = {};
    for (const OptionValue& v : values) {
        if (v.name != kOption) continue;
        if (request->on) return Refuse("--match-loudness is given twice", err);
        request->on = true;
        if (v.bare) continue;
        // The target is read as a row's --loudness is, in the same words.
        VoiceOptions target;
        std::string why;
        if (!LoudnessOption().parse(v.value, &target, &why))
            return Refuse("--match-loudness: " + why, err);
        request->target = target.loudnessLufs;
    }
    return true;
}

bool CanMatchLoudness(const std::vector<RowChoice>& choices, std::ostream& err) {
    const auto texts = RowOptionTexts();
    for (const RowChoice& choice : choices) {
        for (size_t i = 0; i < texts.size() && i < choice.given.size(); ++i) {
            if (texts[i].part == RowOptionPart::Level && !choice.given[i].empty())
                return Refuse("--match-loudness sets every row's level; drop " + choice.given[i],
                              err);
        }
    }
    return true;
}

namespace {

// "row 03" or "rows 01, 02" for the rows of slots.
std::string RowsNamed(const std::vector<size_t>& slots) {
    std::string text = slots.size() == 1 ? "row " : "rows ";
    for (size_t i = 0; i < slots.size(); ++i) text += (i > 0 ? ", " : "") + RowNumber(slots[i]);
    return text;
}

// What the match did, a line each: the target met, and rows left at levels
// no option names (one line per level).
std::string DescribeMatch(const std::vector<LoudnessMatch>& matches, const std::string& target) {
    using Step = LoudnessMatch::Step;
    std::map<double, std::vector<size_t>> asIs;
    bool set = false;
    bool sounding = false;
    for (size_t k = 0; k < matches.size(); ++k) {
        set = set || matches[k].step == Step::Set;
        sounding = sounding || matches[k].step != Step::Silent;
        if (matches[k].step == Step::AsIs) asIs[matches[k].lufs].push_back(k);
    }
    std::string text = !sounding ? "no row sounds: no loudness matched\n"
                       : set     ? "rows matched to " + target + '\n'
                                 : "no row changed to match " + target + '\n';
    for (const auto& [lufs, slots] : asIs) {
        text += RowsNamed(slots) + (slots.size() == 1 ? " left as it is" : " left as they are") +
                ", already at " + DescribeLoudnessTarget(lufs, false) + '\n';
    }
    return text;
}

}  // namespace

int MatchRowsLoudness(const MatchRequest& request, VoiceBankImage* image,
                      const std::array<std::string, VoiceSlotCount>& files,
                      const std::array<bool, VoiceSlotCount>& kept, std::vector<RowChoice>* choices,
                      std::array<VoiceLoadOutcome, VoiceSlotCount>* outcomes, std::string* summary,
                      std::ostream& err) {
    std::vector<MatchRow> rows(VoiceSlotCount);
    std::vector<size_t> silent;
    for (size_t k = 0; k < VoiceSlotCount; ++k) {
        if (!kept[k] && files[k].empty()) continue;
        if (!MeasureRow(image->voices[k], &rows[k].level)) {
            err << "glwtool build: not enough memory to measure row " << RowNumber(k) << '\n';
            return ExitFailure;
        }
        if (!rows[k].level.sounding) silent.push_back(k);
        // A kept row's file is the bank: each stands alone.
        // (Built by appending: GCC 12 at -O3 misreads a copied literal
        // here as an overlapping copy.)
        if (kept[k]) {
            rows[k].group.assign(1, '\n');
            rows[k].group += std::to_string(k);
        } else {
            rows[k].group = SourceGroup(files[k]);
        }
    }
    const std::optional<double> median = MedianLoudness(rows);
    const double target = request.target.value_or(median.value_or(0.0));
    const std::string targetText = DescribeLoudnessTarget(target, !request.target);
    const std::vector<LoudnessMatch> matches = MatchLoudness(rows, target, true);
    std::string outside;
    for (size_t k = 0; k < VoiceSlotCount; ++k) {
        if (matches[k].step != LoudnessMatch::Step::Outside) continue;
        outside += (outside.empty() ? "row " : ", row ") + RowNumber(k) + " would need " +
                   DescribeLoudnessTarget(matches[k].lufs, false);
    }
    if (!outside.empty()) {
        return UsageError("build",
                          "--match-loudness to " + targetText + ": " + outside +
                              ", outside -40 to 0 LUFS; give a target that keeps every row "
                              "inside (--match-loudness=LUFS)",
                          err);
    }
    for (size_t k = 0; k < VoiceSlotCount; ++k) {
        if (matches[k].step != LoudnessMatch::Step::Set) continue;
        RowChoice& choice = (*choices)[k];
        choice.options = MatchedRowOptions(choice.options, matches[k]);
        if (!ScaleRowToLoudness(&image->voices[k], matches[k].lufs, &(*outcomes)[k].loudness)) {
            err << "glwtool build: not enough memory to measure row " << RowNumber(k) << '\n';
            return ExitFailure;
        }
    }
    *summary = DescribeMatch(matches, targetText);
    if (!silent.empty())
        *summary += RowsNamed(silent) + (silent.size() == 1 ? " is silent, left as it is\n"
                                                            : " are silent, left as they are\n");
    return ExitOk;
}

}  // namespace glwtool
