#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <system_error>

#include "audio/AudioData.h"
#include "cli/Commands.h"
#include "cli/ConvertLoad.h"
#include "cli/LoadMessages.h"
#include "cli/MatchLoudness.h"
#include "cli/RowChoices.h"
#include "cli/SliceCommand.h"
#include "cli/Tool.h"
#include "convert/ConvertingReader.h"
#include "convert/RowOptionText.h"
#include "convert/SoundFiles.h"
#include "convert/VoiceLoad.h"
#include "core/RowPlacement.h"
#include "kits/KitRoll.h"
#include "voicebank/BankFolder.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankCheck.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

namespace fs = std::filesystem;

// The help's parts before and after the row options, which come from their
// table.
constexpr const char* BuildHelpHead =
    "usage: glwtool build [--convert] [--from BANK.glw] [--start ROW=SECONDS|ROW=auto]...\n"
    "                     [--length ROW=SECONDS]... [--normalize ROW=DBFS]...\n"
    "                     [--loudness ROW=LUFS]... [--match-loudness [LUFS]]\n"
    "                     [--end ROW=auto]... [--snap ROW]... [--pitch ROW=SEMITONES]...\n"
    "                     [--reverse ROW]... [--fade-in ROW=MS]... [--fade-out ROW=MS]...\n"
    "                     [--slice FILE [--first-row N] [--mode M] [--sensitivity N]\n"
    "                     [--count N | --tempo BPM --note A/B]]\n"
    "                     [--random DIR [--seed N]]\n"
    "                     OUT.glw [ROW=FILE | ROW= | FILE | DIR]...\n\n"
    "Builds a voice bank from up to 16 WAV or AIFF files (8 or 16 bits, mono or stereo,\n"
    "22050, 24000, 44100 or 48000 Hz). Each file is converted as when it is loaded into\n"
    "a row of the window: its first second at most, at 44100 Hz, with a 20 ms fade.\n"
    "A row file written by glwtool extract is kept exactly as it stands (no second\n"
    "fade); its line says which bank and row it came from.\n\n"
    "  ROW=FILE  puts FILE into row ROW (1 to 16, as numbered in the window)\n"
    "  FILE      fills the lowest row not given by a ROW=FILE, in order\n"
    "  DIR       fills rows so with the sound files directly in folder DIR (no hidden\n"
    "            files), in natural order of their names (kick2 before kick10); those\n"
    "            beyond the last free row are left out with a word\n"
    "  ROW=      empties row ROW (only with --from)\n"
    "  --convert also takes the files those rules refuse: 24- and 32-bit, float, any rate,\n"
    "            more channels, FLAC, Ogg and other formats. Of such a file the first second\n"
    "            is kept, channels 1 and 2 (front left and right), at 44100 Hz in 16 bits;\n"
    "            its row's line says \"converted\". Files the rules take load as without it.\n"
    "  --from BANK.glw\n"
    "            starts from the rows of BANK, each kept exactly as stored; ROW=FILE\n"
    "            replaces a row, ROW= empties one, a bare FILE fills the lowest row that\n"
    "            is empty in BANK and not named. OUT may be BANK itself: the old bank\n"
    "            stays until the new one is written and read back. A damaged BANK is\n"
    "            refused and nothing is written.\n";

constexpr const char* BuildHelpTail =
    "  --match-loudness [LUFS]\n"
    "            sets every row to one loudness: LUFS, or the median of the rows. Rows\n"
    "            from one file keep their differences (the loudest meets the target).\n"
    "            Silent rows, and rows already at a level outside -40 to 0, are left as\n"
    "            they are and named; a row that would need such a level is a usage error.\n"
    "  --random DIR [--seed N]\n"
    "            fills every row no argument fills with a sound file drawn at random from\n"
    "            DIR and its sub-folders, no file twice nor one given for a row; the same\n"
    "            seed draws the same files (one is chosen and printed when none is given)\n"
    "  --slice FILE\n"
    "            fills consecutive rows, from --first-row N (default 1) upward, with the\n"
    "            slices glwtool slices finds in FILE, each as --start and --length\n"
    "            would make it; slices beyond row 16 are left out with a "
    "word\n" GLW_SLICE_OPTIONS_HELP
    "A file whose name begins with '-' or looks like ROW=FILE is given as ./NAME.\n\n"
    "OUT's base name becomes the bank name: 1 to 16 letters, digits or hyphens. A\n"
    "missing folder for OUT is created when its parent exists. A file that cannot be\n"
    "loaded is named with the reason and nothing is written.\n\n"
    "exit codes: 0 written, 1 a file could not be loaded, BANK is damaged or the bank\n"
    "not written, 2 usage error (also a bad --start or --normalize value, or BANK\n"
    "cannot be read)\n";

std::string_view BuildHelp() {
    static const std::string help = [] {
        std::string text = BuildHelpHead;
        for (const RowOptionText& option : RowOptionTexts()) text.append(option.help);
        return text + BuildHelpTail;
    }();
    return help;
}

std::string CheckBankName(const std::string& name) { return BankNameProblem(name); }

namespace {

// "ROW=FILE": returns the row (1..16) and sets file; 0 when arg has no
// leading row number; -1 with a reason in *why for a bad row. "ROW=" (an
// emptied row, file left empty) is taken only when emptyAllowed.
int ParseRowArgument(const std::string& arg, bool emptyAllowed, std::string* file,
                     std::string* why) {
    size_t digits = 0;
    while (digits < arg.size() && arg[digits] >= '0' && arg[digits] <= '9') ++digits;
    if (digits == 0 || digits >= arg.size() || arg[digits] != '=') return 0;
    const std::string number = arg.substr(0, digits);
    size_t row = 0;
    if (!ParseRowNumber(number, static_cast<size_t>(VoiceSlotCount), &row)) {
        *why = "row " + number + " in '" + Printable(arg) + "' is not between 1 and 16";
        return -1;
    }
    *file = arg.substr(digits + 1);
    if (file->empty() && !emptyAllowed) {
        *why = "no file after '" + Printable(arg) + "' (ROW= empties a row only with --from)";
        return -1;
    }
    return static_cast<int>(row);
}

// A file that fills the lowest free row: a FILE operand, or one of a DIR's
// sound files (folder set), which may be left out when no row is free.
struct BareFile {
    std::string file;
    std::string folder;
};

// What one build does, filled step by step: the command line, the rows
// kept from --from, each row's load.
struct BuildJob {
    bool convert = false;
    std::string fromPath;  // empty without --from
    std::string outPath;
    std::vector<RowChoice> choices;
    std::array<std::string, VoiceSlotCount> files;  // empty: no file for the row
    std::array<bool, VoiceSlotCount> named{};       // given by ROW=FILE or ROW=, or filled
    std::vector<BareFile> bare;                     // FILE and DIR operands, in order
    std::array<bool, VoiceSlotCount> kept{};        // kept as stored in --from
    std::array<VoiceLoadOutcome, VoiceSlotCount> outcomes{};
    MatchRequest match;     // --match-loudness
    std::string matched;    // what --match-loudness did, for the last lines
    std::string randomDir;  // --random: the rows left free are drawn from it
    std::optional<uint64_t> seed;
    std::string rolled;  // what --random did, for the last lines
};

// A FILE operand into bare, or a DIR's sound files in natural order.
// Returns ExitOk, or ExitUsage after the message for a folder that cannot
// be read or holds no sound file.
int AddBareOperand(const std::string& operand, bool convert, std::vector<BareFile>* bare,
                   std::ostream& err) {
    // A folder named like a sound file ("kick.wav/") was meant as a file and
    // stays refused as one by the loader.
    std::error_code ec;
    if (!fs::is_directory(operand, ec) || IsSoundFileName(operand, true)) {
        bare->push_back({operand, {}});
        return ExitOk;
    }
    std::vector<fs::path> files;
    std::string why;
    if (!ListSoundFiles(operand, convert, &files, &why))
        return UsageError("build", "cannot read folder '" + Printable(operand) + "': " + why, err);
    if (files.empty())
        return UsageError("build", "no sound files in folder '" + Printable(operand) + "'", err);
    for (const fs::path& file : files) bare->push_back({file.string(), operand});
    return ExitOk;
}

// --random DIR and --seed N into job. Returns ExitOk or ExitUsage after the
// message.
int ReadRandomOptions(const std::vector<OptionValue>& values, BuildJob* job, std::ostream& err) {
    for (const OptionValue& v : values) {
        if (v.name == "--random") {
            if (!job->randomDir.empty()) return UsageError("build", "--random is given twice", err);
            if (v.value.empty()) return UsageError("build", "--random needs a folder", err);
            job->randomDir = v.value;
        } else if (v.name == "--seed") {
            if (job->seed) return UsageError("build", "--seed is given twice", err);
            uint64_t seed = 0;
            const char* end = v.value.data() + v.value.size();
            const auto result = std::from_chars(v.value.data(), end, seed);
            if (v.value.empty() || result.ec != std::errc() || result.ptr != end)
                return UsageError("build",
                                  "--seed takes a whole number from 0 to 18446744073709551615, "
                                  "not '" +
                                      Printable(v.value) + "'",
                                  err);
            job->seed = seed;
        }
    }
    if (job->seed && job->randomDir.empty())
        return UsageError("build", "--seed goes with --random DIR", err);
    return ExitOk;
}

// --random: every row no argument fills (nor --from keeps) gets a sound
// file of the folder, drawn by the seed, never one given on the command
// line or drawn for another row. Returns ExitOk or ExitUsage after the
// message.
int RollFreeRows(BuildJob* job, std::ostream& err) {
    std::vector<std::string> files;
    std::string why;
    if (!ListSoundFilesUnder(job->randomDir, job->convert, &files, &why))
        return UsageError("build", "cannot read folder '" + Printable(job->randomDir) + "': " + why,
                          err);
    if (files.empty())
        return UsageError("build", "no sound files in folder '" + Printable(job->randomDir) + "'",
                          err);
    // A file given for a row is not drawn again, however its path is written.
    std::set<fs::path> given;
    std::error_code ec;
    for (const std::string& file : job->files)
        if (!file.empty()) given.insert(fs::weakly_canonical(file, ec));
    std::vector<std::string> taken;
    for (const std::string& file : files)
        if (given.count(fs::weakly_canonical(file, ec)) > 0) taken.push_back(file);
    std::array<std::vector<std::string>, 16> pools;
    size_t free = 0;
    for (size_t k = 0; k < pools.size(); ++k) {
        if (job->named[k] || job->kept[k]) continue;
        pools[k] = files;
        ++free;
    }
    if (!job->seed) job->seed = (uint64_t{std::random_device{}()} << 32) | std::random_device{}();
    const std::array<std::string, 16> drawn = RollRows(pools, taken, *job->seed);
    size_t filled = 0;
    for (size_t k = 0; k < drawn.size(); ++k) {
        if (drawn[k].empty()) continue;
        job->files[k] = drawn[k];
        job->named[k] = true;
        ++filled;
    }
    job->rolled = std::to_string(filled) + (filled == 1 ? " row" : " rows") + " drawn from " +
                  Printable(job->randomDir) + " with --seed " + std::to_string(*job->seed) + '\n';
    if (filled < free)
        err << "glwtool build: " << Printable(job->randomDir)
            << " has too few sound files: " << free - filled
            << (free - filled == 1 ? " row stays" : " rows stay") << " empty\n";
    return ExitOk;
}

// The command line into job. Returns ExitOk, or the exit code after the
// usage error is written.
int ParseBuildArguments(const std::vector<std::string>& args, BuildJob* job, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<OptionValue> values;
    std::vector<std::string> operands;
    std::vector<std::string_view> valued = {"--from", "--slice", "--first-row", "--random",
                                            "--seed"};
    valued.insert(valued.end(), SliceSettingOptions.begin(), SliceSettingOptions.end());
    for (const RowOptionText& option : RowOptionTexts()) valued.push_back(option.option);
    if (!SplitArguments("build", args, {"--convert"}, valued, &options, &values, &operands, err,
                        {MatchLoudnessOption()}) ||
        !ReadMatchLoudness(values, &job->match, err))
        return ExitUsage;
    job->convert = !options.empty();
    for (const OptionValue& v : values) {
        if (v.name != "--from") continue;
        if (!job->fromPath.empty()) return UsageError("build", "--from is given twice", err);
        if (v.value.empty()) return UsageError("build", "--from needs a BANK.glw", err);
        job->fromPath = v.value;
    }
    if (const int exit = ReadRandomOptions(values, job, err); exit != ExitOk) return exit;
    const bool from = !job->fromPath.empty();
    const bool slicing = std::any_of(values.begin(), values.end(),
                                     [](const OptionValue& v) { return v.name == "--slice"; });
    if (operands.empty())
        return UsageError("build", from ? "missing OUT.glw" : "missing OUT.glw and sound files",
                          err);
    if (operands.size() < 2 && !from && !slicing && job->randomDir.empty())
        return UsageError("build", "no sound files given", err);

    job->outPath = operands.front();
    const fs::path target(job->outPath);
    if (!target.has_filename() || !IsBankFileName(job->outPath))
        return UsageError(
            "build", "OUT must be a file name ending in .glw: '" + Printable(job->outPath) + "'",
            err);
    if (const std::string why = CheckBankName(target.stem().string()); !why.empty())
        return UsageError("build", Printable(why), err);
    if (!ParseRowOptions("build", values, VoiceSlotCount, "row", &job->choices, err))
        return ExitUsage;
    if (job->match.on && !CanMatchLoudness(job->choices, err)) return ExitUsage;

    // Rows named with ROW=FILE (or, from a bank, emptied with ROW=) first;
    // bare files fill the free rows later, once the bank's rows are known.
    for (size_t i = 1; i < operands.size(); ++i) {
        std::string file;
        std::string why;
        const int row = ParseRowArgument(operands[i], from, &file, &why);
        if (row < 0) return UsageError("build", why, err);
        if (row == 0) {
            if (const int exit = AddBareOperand(operands[i], job->convert, &job->bare, err);
                exit != ExitOk)
                return exit;
            continue;
        }
        const auto k = static_cast<size_t>(row - 1);
        if (job->named[k])
            return UsageError("build", "row " + std::to_string(row) + " is given twice", err);
        job->named[k] = true;
        job->files[k] = file;
    }
    return PlaceSlices(values, job->convert, &job->files, &job->named, &job->choices, err);
}

// No row is free for the bare files from index first on. When all of them
// come from folders they are left out, with a word for each folder, and
// ExitOk is returned; a FILE operand among them is a usage error.
int LeaveOutFolderFiles(const BuildJob& job, size_t first, std::ostream& err) {
    const bool from = !job.fromPath.empty();
    for (size_t i = first; i < job.bare.size(); ++i) {
        if (job.bare[i].folder.empty())
            return UsageError(
                "build",
                from ? "more files than the rows left free in " + Printable(job.fromPath)
                     : std::string("more files than the 16 rows of a bank"),
                err);
    }
    for (size_t i = first; i < job.bare.size();) {
        const std::string& folder = job.bare[i].folder;
        size_t end = i;
        while (end < job.bare.size() && job.bare[end].folder == folder) ++end;
        err << "glwtool build: " << end - i << (end - i == 1 ? " sound file" : " sound files")
            << " of " << Printable(folder) << " did not fit";
        if (from)
            err << " in the rows left free in " << Printable(job.fromPath);
        else
            err << " in the 16 rows";
        err << " and " << (end - i == 1 ? "is" : "are") << " left out, from "
            << Printable(fs::path(job.bare[i].file).filename().string()) << " on\n";
        i = end;
    }
    return ExitOk;
}

// The rows of the --from bank into image, each kept exactly as decoded
// unless an argument names it; then the bare files into the free rows.
// Returns ExitOk or the exit code after the message is written.
int PlaceRows(BuildJob* job, VoiceBankImage* image, std::ostream& err) {
    const bool from = !job->fromPath.empty();
    if (from) {
        VoiceBankReport report;
        int exit = ExitOk;
        if (!ReadBankReport("build", job->fromPath, &report, err, &exit)) return exit;
        if (!report.valid) {
            err << "glwtool build: " << Printable(job->fromPath) << " is damaged"
                << (report.problems.empty() ? std::string() : ": " + report.problems.front())
                << "; nothing written\n";
            return ExitFailure;
        }
        for (size_t k = 0; k < job->files.size(); ++k) {
            const AudioData& row = report.bank.image->voices[k];
            if (job->named[k] || row.channels == 0) continue;
            image->voices[k] = row;
            job->kept[k] = true;
        }
    }
    // Bare files take the free rows from row 1, as the window's fill takes
    // them from its target row.
    TakenRows taken{};
    for (size_t k = 0; k < taken.size(); ++k) taken[k] = job->named[k] || job->kept[k];
    const RowPlacement placement = PlaceOnRows(0, job->bare.size(), taken);
    for (const PlacedItem& placed : placement.items) {
        const auto k = static_cast<size_t>(placed.row);
        job->named[k] = true;
        job->files[k] = job->bare[placed.item].file;
    }
    if (placement.leftOut > 0) {
        if (const int exit = LeaveOutFolderFiles(*job, placement.items.size(), err); exit != ExitOk)
            return exit;
    }
    if (!job->randomDir.empty()) {
        if (const int exit = RollFreeRows(job, err); exit != ExitOk) return exit;
    }
    for (size_t k = 0; k < job->files.size(); ++k) {
        const std::string given = FirstOptionGiven(job->choices[k]);
        if (!given.empty() && job->files[k].empty())
            return UsageError("build", given + ": row " + std::to_string(k + 1) + " has no file",
                              err);
    }
    return ExitOk;
}

// Each named file into its row of image. Returns ExitOk, ExitFailure after
// naming every file that could not be loaded, or ExitUsage for a start past
// a file's end.
int LoadRows(BuildJob* job, VoiceBankImage* image, std::ostream& err) {
    bool failed = false;
    std::string usage;
    for (size_t k = 0; k < job->files.size(); ++k) {
        if (job->files[k].empty()) continue;
        std::string why;
        bool badOption = false;
        if (!LoadRowFile(job->files[k], job->choices[k], job->convert, &image->voices[k],
                         &job->outcomes[k], &why, &badOption)) {
            if (!badOption) {
                err << why << '\n';
                failed = true;
            } else if (usage.empty()) {
                usage = why;
            }
        }
    }
    if (!usage.empty()) return UsageError("build", usage, err);
    if (failed) return ExitFailure;
    if (job->match.on)
        return MatchRowsLoudness(job->match, image, job->files, job->kept, &job->choices,
                                 &job->outcomes, &job->matched, err);
    return ExitOk;
}

// Writes the bank, making its folder when only that one is missing.
// Returns ExitOk or ExitFailure after the message is written.
int WriteBank(const BuildJob& job, const VoiceBankImage& image, std::ostream& err) {
    const std::string shown = Printable(job.outPath);
    const fs::path target(job.outPath);
    // Like the save dialog with its card folder: one missing folder is made,
    // a deeper missing path is an error.
    std::error_code ec;
    const fs::path folder = target.parent_path();
    bool madeFolder = false;
    std::string why;
    if (!folder.empty() && !EnsureBankFolder(folder, &madeFolder, &why)) {
        err << "glwtool build: cannot write " << shown << ": " << Printable(why) << '\n';
        return ExitFailure;
    }
    if (!ExportImageToFile(image, job.outPath.c_str())) {
        err << "glwtool build: cannot write " << shown
            << (fs::is_directory(target, ec)
                    ? ": a folder of that name is in the way\n"
                    : " (is the folder writable, with room for the bank?)\n");
        if (madeFolder) fs::remove(folder, ec);
        return ExitFailure;
    }
    return ExitOk;
}

// One line per row that was kept, emptied or loaded, then the bank's size.
void ReportBuild(const BuildJob& job, const VoiceBankImage& image, std::ostream& out) {
    for (size_t k = 0; k < job.files.size(); ++k) {
        const AudioData& rec = image.voices[k];
        if (job.kept[k]) {
            out << "row " << RowNumber(k) << "  kept from " << Printable(job.fromPath) << "  "
                << (rec.channels == 2 ? "stereo" : "mono") << ", "
                << DescribeApplied(job.choices[k], job.outcomes[k], rec)
                << DescribeLength(rec.frames) << '\n';
            continue;
        }
        if (!job.fromPath.empty() && job.named[k] && job.files[k].empty()) {
            out << "row " << RowNumber(k) << "  emptied\n";
            continue;
        }
        if (rec.channels == 0) continue;
        out << "row " << RowNumber(k) << "  " << Printable(job.files[k]) << "  "
            << DescribeRowFormat(rec, job.outcomes[k].converter.converted)
            << DescribeApplied(job.choices[k], job.outcomes[k], rec) << DescribeLength(rec.frames)
            << '\n';
    }
    out << job.matched << job.rolled;
    std::error_code ec;
    const auto size = fs::file_size(fs::path(job.outPath), ec);
    out << "wrote " << Printable(job.outPath) << " (" << (ec ? 0 : size) << " bytes)\n";
}

}  // namespace

int RunBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto job = std::make_unique<BuildJob>();
    if (const int exit = ParseBuildArguments(args, job.get(), err); exit != ExitOk) return exit;
    std::unique_ptr<VoiceBankImage> image(new (std::nothrow) VoiceBankImage);
    if (!image || !InitVoiceBankImage(image.get())) {
        err << "glwtool build: not enough memory\n";
        return ExitFailure;
    }
    int exit = PlaceRows(job.get(), image.get(), err);
    if (exit == ExitOk) exit = LoadRows(job.get(), image.get(), err);
    if (exit == ExitOk) exit = WriteBank(*job, *image, err);
    if (exit == ExitOk) ReportBuild(*job, *image, out);
    return exit;
}

}  // namespace glwtool
