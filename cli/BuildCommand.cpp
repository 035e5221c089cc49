#include <array>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "audio/AudioData.h"
#include "cli/Commands.h"
#include "cli/ConvertLoad.h"
#include "cli/LoadMessages.h"
#include "cli/Tool.h"
#include "convert/ConvertingReader.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

namespace fs = std::filesystem;

const char* const BuildHelp =
    "usage: glwtool build [--convert] OUT.glw [ROW=FILE | FILE]...\n\n"
    "Builds a voice bank from up to 16 WAV or AIFF files (8 or 16 bits, mono or stereo,\n"
    "22050, 24000, 44100 or 48000 Hz). Each file is converted as when it is loaded into\n"
    "a row of the window: its first second at most, at 44100 Hz, with a 20 ms fade.\n\n"
    "  ROW=FILE  puts FILE into row ROW (1 to 16, as numbered in the window)\n"
    "  FILE      fills the lowest row not given by a ROW=FILE, in order\n"
    "  --convert also takes the files those rules refuse: 24- and 32-bit, float, any rate,\n"
    "            more channels, FLAC, Ogg and other formats. Of such a file the first second\n"
    "            is kept, channels 1 and 2 (front left and right), at 44100 Hz in 16 bits;\n"
    "            its row's line says \"converted\". Files the rules take load as without it.\n"
    "A file whose name begins with '-' or looks like ROW=FILE is given as ./NAME.\n\n"
    "OUT's base name becomes the bank name: 1 to 16 letters, digits or hyphens. A\n"
    "missing folder for OUT is created when its parent exists. A file that cannot be\n"
    "loaded is named with the reason and nothing is written.\n\n"
    "exit codes: 0 written, 1 a file could not be loaded or the bank not written,\n"
    "2 usage error\n";

std::string CheckBankName(const std::string& name) {
    if (name.empty()) return "the bank name is empty";
    if (name.size() > 16)
        return "the bank name '" + name + "' has " + std::to_string(name.size()) +
               " characters; at most 16 are allowed";
    for (const char c : name) {
        const bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok)
            return "the bank name '" + name + "' may hold only ASCII letters, digits and hyphens";
    }
    return {};
}

namespace {

// "ROW=FILE": returns the row (1..16) and sets file; 0 when arg has no
// leading row number; -1 with a reason in *why for a bad row.
int ParseRowArgument(const std::string& arg, std::string* file, std::string* why) {
    size_t digits = 0;
    while (digits < arg.size() && arg[digits] >= '0' && arg[digits] <= '9') ++digits;
    if (digits == 0 || digits >= arg.size() || arg[digits] != '=') return 0;
    const std::string number = arg.substr(0, digits);
    const int row = digits <= 2 ? std::stoi(number) : 0;
    if (row < 1 || row > VoiceSlotCount) {
        *why = "row " + number + " in '" + arg + "' is not between 1 and 16";
        return -1;
    }
    *file = arg.substr(digits + 1);
    if (file->empty()) {
        *why = "no file after '" + arg + "'";
        return -1;
    }
    return row;
}

bool EndsWithGlw(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".glw";
}

}  // namespace

int RunBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments("build", args, {"--convert"}, &options, &operands, err)) return ExitUsage;
    const bool convert = !options.empty();
    if (operands.empty()) return UsageError("build", "missing OUT.glw and sound files", err);
    if (operands.size() < 2) return UsageError("build", "no sound files given", err);

    const std::string outPath = operands.front();
    const fs::path target(outPath);
    if (!target.has_filename() || !EndsWithGlw(target))
        return UsageError("build", "OUT must be a file name ending in .glw: '" + outPath + "'",
                          err);
    const std::string bankName = target.stem().string();
    if (const std::string why = CheckBankName(bankName); !why.empty())
        return UsageError("build", why, err);

    // Rows named with ROW=FILE first; bare files then fill the free rows in order.
    std::array<std::string, VoiceSlotCount> files;
    std::vector<std::string> bare;
    for (size_t i = 1; i < operands.size(); ++i) {
        std::string file;
        std::string why;
        const int row = ParseRowArgument(operands[i], &file, &why);
        if (row < 0) return UsageError("build", why, err);
        if (row == 0) {
            bare.push_back(operands[i]);
            continue;
        }
        auto& slot = files[static_cast<size_t>(row - 1)];
        if (!slot.empty())
            return UsageError("build", "row " + std::to_string(row) + " is given twice", err);
        slot = file;
    }
    size_t next = 0;
    for (const std::string& file : bare) {
        while (next < files.size() && !files[next].empty()) ++next;
        if (next == files.size())
            return UsageError("build", "more files than the 16 rows of a bank", err);
        files[next] = file;
    }

    std::unique_ptr<VoiceBankImage> image(new (std::nothrow) VoiceBankImage);
    if (!image || !InitVoiceBankImage(image.get())) {
        err << "glwtool build: not enough memory\n";
        return ExitFailure;
    }
    bool failed = false;
    std::array<bool, VoiceSlotCount> converted{};
    for (size_t k = 0; k < files.size(); ++k) {
        if (files[k].empty()) continue;
        int code = 0;
        if (convert) {
            ConvertOutcome outcome;
            if (!LoadVoiceFileConverting(files[k], &image->voices[k], &code, &outcome)) {
                err << DescribeConvertFailure(files[k], code, image->voices[k], outcome) << '\n';
                failed = true;
            }
            converted[k] = outcome.converted;
        } else if (!LoadVoiceFile(files[k], &image->voices[k], &code)) {
            err << DescribeLoadFailure(files[k], code, image->voices[k]) << '\n';
            failed = true;
        }
    }
    if (failed) return ExitFailure;

    // Like the save dialog with its card folder: one missing folder is made,
    // a deeper missing path is an error.
    std::error_code ec;
    const fs::path folder = target.parent_path();
    bool madeFolder = false;
    if (!folder.empty() && !fs::exists(folder, ec)) {
        const fs::path parent = folder.parent_path();
        if (!parent.empty() && !fs::is_directory(parent, ec)) {
            err << "glwtool build: cannot write " << outPath << ": folder " << parent.string()
                << " does not exist\n";
            return ExitFailure;
        }
        if (!fs::create_directory(folder, ec)) {
            err << "glwtool build: cannot create folder " << folder.string() << ": " << ec.message()
                << '\n';
            return ExitFailure;
        }
        madeFolder = true;
    }
    if (!ExportImageToFile(*image, outPath.c_str())) {
        err << "glwtool build: cannot write " << outPath
            << (fs::is_directory(target, ec)
                    ? ": a folder of that name is in the way\n"
                    : " (is the folder writable, with room for the bank?)\n");
        if (madeFolder) fs::remove(folder, ec);
        return ExitFailure;
    }

    for (size_t k = 0; k < files.size(); ++k) {
        const AudioData& rec = image->voices[k];
        if (rec.channels == 0) continue;
        out << "row " << RowNumber(k) << "  " << files[k] << "  "
            << DescribeRowFormat(rec, converted[k]) << DescribeLength(rec.frames) << '\n';
    }
    const auto size = fs::file_size(target, ec);
    out << "wrote " << outPath << " (" << (ec ? 0 : size) << " bytes)\n";
    return ExitOk;
}

}  // namespace glwtool
