#include <algorithm>
#include <string>

#include "cli/SliceCommand.h"
#include "convert/RowOptionText.h"
#include "convert/VoiceLoad.h"
#include "core/RowPlacement.h"

namespace glwtool {

const char* const SlicesHelp =
    "usage: glwtool slices [--convert] [--mode transients|equal|strongest]\n"
    "                      [--sensitivity N] [--count N | --tempo BPM --note A/B] FILE\n\n"
    "Finds where FILE's hits begin and prints one line per slice, tab-separated:\n"
    "slice number from 1, start and length in seconds, start frame and length in\n"
    "frames (frames of FILE). Each slice begins just before its hit's attack and runs\n"
    "to the next slice, the last to the end of the file. Nothing else is printed on\n"
    "standard output. The seconds given to build as --start and --length make the\n"
    "same slice. At most 10000 slices are listed: when FILE has more, the first\n"
    "10000 are, and a line on standard error says that more were found. When\n"
    "FILE has no slice (silence), \"no slices found\" is written to standard error\n"
    "and the exit status is 1, as with build --slice.\n\n"
    "  --convert also reads the formats build --convert takes\n" GLW_SLICE_OPTIONS_HELP;

namespace {

bool ParseCount(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 3) return false;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high) return false;
    *value = n;
    return true;
}

}  // namespace

bool IsSliceSettingOption(std::string_view name) {
    return std::find(SliceSettingOptions.begin(), SliceSettingOptions.end(), name) !=
           SliceSettingOptions.end();
}

bool ParseSliceSettings(std::string_view command, const std::vector<OptionValue>& values,
                        SliceSettings* settings, std::ostream& err) {
    bool mode = false, sensitivity = false, count = false, tempo = false, note = false;
    for (const OptionValue& v : values) {
        const auto fail = [&](const std::string& why) {
            UsageError(command, v.name + " " + v.value + ": " + why, err);
            return false;
        };
        bool* seen = v.name == "--mode"          ? &mode
                     : v.name == "--sensitivity" ? &sensitivity
                     : v.name == "--count"       ? &count
                     : v.name == "--tempo"       ? &tempo
                     : v.name == "--note"        ? &note
                                                 : nullptr;
        if (seen == nullptr) continue;
        if (*seen) return fail("given twice");
        *seen = true;
        if (v.name == "--mode") {
            if (v.value == "transients") {
                settings->mode = SliceMode::Transients;
            } else if (v.value == "equal") {
                settings->mode = SliceMode::Equal;
            } else if (v.value == "strongest") {
                settings->mode = SliceMode::Strongest;
            } else {
                return fail("give transients, equal or strongest");
            }
        } else if (v.name == "--sensitivity") {
            if (!ParseCount(v.value, MinSensitivity, MaxSensitivity, &settings->sensitivity))
                return fail("give a whole number from 0 to 100");
        } else if (v.name == "--tempo") {
            double bpm = 0.0;
            if (!ParseDecimalText(v.value, &bpm) || bpm < MinTempo || bpm > MaxTempo)
                return fail("give quarter notes a minute from 20 to 999");
            settings->tempo = bpm;
        } else if (v.name == "--note") {
            if (!ParseNoteLength(v.value, &settings->note))
                return fail("give a part of a whole note such as 1/16 or 3/16");
        } else if (!ParseCount(v.value, 1, 999, &settings->count)) {
            return fail("give a whole number from 1 to 999");
        }
    }
    if (tempo != note) {
        UsageError(command, "--tempo and --note go together", err);
        return false;
    }
    if (tempo) {
        // A tempo asks for equal parts; it says how long they are.
        if (mode && settings->mode != SliceMode::Equal) {
            UsageError(command, "--tempo and --note are for --mode equal", err);
            return false;
        }
        if (count) {
            UsageError(command, "--count or --tempo with --note, not both", err);
            return false;
        }
        settings->mode = SliceMode::Equal;
    }
    return true;
}

namespace {

// FindSlices for a command: false when file cannot be read or has no slice,
// with "FILE: REASON" or "FILE: no slices found" and noneMore written to err.
bool FindFileSlices(const std::string& file, bool convert, const SliceSettings& settings,
                    std::string_view noneMore, std::vector<Slice>* slices, int* rate, bool* more,
                    std::ostream& err) {
    std::string why;
    if (!FindSlices(file.c_str(), convert, settings, slices, rate, &why, more)) {
        err << Printable(file) << ": " << why << '\n';
        return false;
    }
    if (slices->empty()) {
        err << Printable(file) << ": no slices found" << noneMore << '\n';
        return false;
    }
    return true;
}

// What build's --slice, --first-row and slice options ask for.
struct SliceRequest {
    std::string file;  // empty: no slicing asked for
    int firstRow = 1;
    SliceSettings settings;
};

int ParseSliceRequest(const std::vector<OptionValue>& values, SliceRequest* request,
                      std::ostream& err) {
    std::string firstRow;
    bool chosen = false;
    for (const OptionValue& v : values) {
        if (v.name == "--slice" || v.name == "--first-row") {
            std::string& target = v.name == "--slice" ? request->file : firstRow;
            if (!target.empty()) return UsageError("build", v.name + " is given twice", err);
            if (v.value.empty()) return UsageError("build", v.name + " needs a value", err);
            target = v.value;
        } else if (IsSliceSettingOption(v.name)) {
            chosen = true;
        }
    }
    if (request->file.empty()) {
        if (chosen || !firstRow.empty())
            return UsageError("build",
                              "--first-row and the slice options (--mode ...) need --slice", err);
        return ExitOk;
    }
    if (!firstRow.empty() && !ParseCount(firstRow, 1, VoiceSlotCount, &request->firstRow))
        return UsageError("build", "--first-row " + firstRow + ": give a row from 1 to 16", err);
    if (!ParseSliceSettings("build", values, &request->settings, err)) return ExitUsage;
    return ExitOk;
}

// The slice gives the row its start and length; a level stays (the one
// placement rule). A row named twice, or given its own --start or --length,
// is a usage error.
int GiveSliceToRow(const std::string& file, size_t index, const VoiceOptions& slice, size_t row,
                   std::array<std::string, VoiceSlotCount>* files,
                   std::array<bool, VoiceSlotCount>* named, std::vector<RowChoice>* choices,
                   std::ostream& err) {
    RowChoice& choice = (*choices)[row];
    if ((*named)[row])
        return UsageError("build", "row " + std::to_string(row + 1) + " is given twice", err);
    const auto texts = RowOptionTexts();
    for (size_t t = 0; t < texts.size() && t < choice.given.size(); ++t) {
        // A slice sets where its row begins and how long it is; its sound's
        // shape and level are the row's own.
        if (choice.given[t].empty() || texts[t].part == RowOptionPart::Level ||
            texts[t].part == RowOptionPart::Shape)
            continue;
        return UsageError("build",
                          choice.given[t] + ": row " + std::to_string(row + 1) + " takes slice " +
                              std::to_string(index + 1) + " of " + Printable(file),
                          err);
    }
    (*named)[row] = true;
    (*files)[row] = file;
    choice.options = PlacedRowOptions(choice.options, slice);
    return ExitOk;
}

}  // namespace

int PlaceSlices(const std::vector<OptionValue>& values, bool convert,
                std::array<std::string, VoiceSlotCount>* files,
                std::array<bool, VoiceSlotCount>* named, std::vector<RowChoice>* choices,
                std::ostream& err) {
    SliceRequest request;
    if (const int code = ParseSliceRequest(values, &request, err);
        code != ExitOk || request.file.empty())
        return code;
    const std::string& file = request.file;
    std::vector<Slice> slices;
    int rate = 0;
    bool more = false;
    if (!FindFileSlices(file, convert, request.settings, "; nothing written", &slices, &rate, &more,
                        err))
        return ExitFailure;
    const RowPlacement placement = PlaceOnRows(request.firstRow - 1, slices.size());
    for (const PlacedItem& placed : placement.items) {
        const int code =
            GiveSliceToRow(file, placed.item, SliceVoiceOptions(slices[placed.item], rate),
                           static_cast<size_t>(placed.row), files, named, choices, err);
        if (code != ExitOk) return code;
    }
    const size_t fitting = placement.items.size();
    if (more)
        err << "glwtool build: " << Printable(file) << " has more than " << MaxSlices
            << " slices; slices " << fitting + 1
            << " onward do not fit above row 16 and are left out\n";
    else if (fitting < slices.size())
        err << "glwtool build: " << Printable(file) << " has " << slices.size()
            << " slices; slices " << fitting + 1 << " to " << slices.size()
            << " do not fit above row 16 and are left out\n";
    return ExitOk;
}

int RunSlices(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<OptionValue> values;
    std::vector<std::string> operands;
    std::vector<std::string_view> valued(SliceSettingOptions.begin(), SliceSettingOptions.end());
    if (!SplitArguments("slices", args, {"--convert"}, valued, &options, &values, &operands, err))
        return ExitUsage;
    if (operands.size() != 1)
        return UsageError("slices", operands.empty() ? "missing FILE" : "give one FILE", err);
    SliceSettings settings;
    if (!ParseSliceSettings("slices", values, &settings, err)) return ExitUsage;
    const std::string& file = operands.front();
    std::vector<Slice> slices;
    int rate = 0;
    bool more = false;
    if (!FindFileSlices(file, !options.empty(), settings, "", &slices, &rate, &more, err))
        return ExitFailure;
    for (size_t i = 0; i < slices.size(); ++i) {
        out << i + 1 << '\t' << FrameSecondsText(slices[i].start, rate) << '\t'
            << FrameSecondsText(slices[i].length, rate) << '\t' << slices[i].start << '\t'
            << slices[i].length << '\n';
    }
    if (more)
        err << "glwtool slices: " << Printable(file) << " has more than " << MaxSlices
            << " slices; the first " << MaxSlices << " are listed\n";
    return ExitOk;
}

}  // namespace glwtool
