#include "cli/MatchLoudness.h"

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

bool LooksLikeLevel(const std::string& text) {
    double value = 0;
    return ParseDecimalText(text, &value);
}

}  // namespace

bool TakeMatchLoudness(std::vector<std::string>* args, MatchRequest* request, std::ostream& err) {
    *request = {};
    std::vector<std::string> rest;
    bool ended = false;
    for (size_t i = 0; i < args->size(); ++i) {
        const std::string& arg = (*args)[i];
        if (ended || arg.rfind(kOption, 0) != 0 ||
            (arg.size() > kOption.size() && arg[kOption.size()] != '=')) {
            ended = ended || arg == "--";
            rest.push_back(arg);
            continue;
        }
        if (request->on) return Refuse("--match-loudness is given twice", err);
        request->on = true;
        std::string value;
        if (arg.size() > kOption.size()) {
            value = arg.substr(kOption.size() + 1);
        } else if (i + 1 < args->size() && LooksLikeLevel((*args)[i + 1])) {
            value = (*args)[++i];
        } else {
            continue;
        }
        double lufs = 0;
        if (!ParseDecimalText(value, &lufs))
            return Refuse("--match-loudness: '" + value + "' is not a loudness in LUFS", err);
        if (lufs < LoudnessMinLufs || lufs > LoudnessMaxLufs)
            return Refuse("--match-loudness: the loudness must lie between -40 and 0 LUFS", err);
        request->target = lufs;
    }
    *args = std::move(rest);
    return true;
}

bool CanMatchLoudness(const std::vector<RowChoice>& choices, std::ostream& err) {
    const auto texts = RowOptionTexts();
    for (const RowChoice& choice : choices) {
        for (size_t i = 0; i < texts.size() && i < choice.given.size(); ++i) {
            const bool level = texts[i].option == "--normalize" || texts[i].option == "--loudness";
            if (level && !choice.given[i].empty())
                return Refuse("--match-loudness sets every row's level; drop " + choice.given[i],
                              err);
        }
    }
    return true;
}

bool MatchRowsLoudness(const MatchRequest& request, VoiceBankImage* image,
                       const std::array<std::string, VoiceSlotCount>& files,
                       const std::array<bool, VoiceSlotCount>& kept,
                       std::vector<RowChoice>* choices,
                       std::array<VoiceLoadOutcome, VoiceSlotCount>* outcomes, double* target,
                       std::ostream& err) {
    std::vector<MatchRow> rows(VoiceSlotCount);
    for (size_t k = 0; k < VoiceSlotCount; ++k) {
        if (!kept[k] && files[k].empty()) continue;
        if (!MeasureRow(image->voices[k], &rows[k].level)) {
            err << "glwtool build: not enough memory to measure row " << RowNumber(k) << '\n';
            return false;
        }
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
    *target = request.target.value_or(median.value_or(0.0));
    const std::vector<std::optional<double>> levels = MatchLoudness(rows, *target, true);
    for (size_t k = 0; k < VoiceSlotCount; ++k) {
        if (!levels[k]) continue;
        RowChoice& choice = (*choices)[k];
        choice.options.loudness = true;
        choice.options.loudnessLufs = *levels[k];
        if (!ScaleRowToLoudness(&image->voices[k], *levels[k], &(*outcomes)[k].loudness)) {
            err << "glwtool build: not enough memory to measure row " << RowNumber(k) << '\n';
            return false;
        }
    }
    return true;
}

}  // namespace glwtool
