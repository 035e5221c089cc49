#include <filesystem>
#include <system_error>

#include "audio/ReadFailure.h"
#include "audio/RowMark.h"
#include "cli/Commands.h"
#include "cli/Tool.h"
#include "convert/Loudness.h"
#include "voicebank/BankFile.h"
#include "voicebank/BankFolder.h"
#include "voicebank/BankHead.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankCheck.h"

namespace glwtool {

namespace fs = std::filesystem;

const char* const InfoHelp =
    "usage: glwtool info BANK.glw\n\n"
    "Checks a voice bank and lists its 16 rows. The bank is valid when it is exactly\n"
    "what the builder makes of its own rows: magic, bodyLength, checksums, name field,\n"
    "area offsets, section table, parameters, key maps and key records are compared,\n"
    "and every problem found is named. Each row's line ends with its loudness (the\n"
    "loudest 400 ms, K-weighted, in LUFS) and its peak in dBFS.\n\n"
    "exit codes: 0 valid, 1 damaged, 2 usage error or the file cannot be read\n";

const char* const ExtractHelp =
    "usage: glwtool extract [--force] BANK.glw DIR\n\n"
    "Writes each filled row of a voice bank as DIR/NN.wav (NN = 01 to 16): 44100 Hz,\n"
    "16-bit PCM, mono or stereo as stored. DIR is created when missing; files of the\n"
    "same names are replaced. A damaged bank is refused unless --force is given, which\n"
    "extracts what can be decoded.\n\n"
    "Each file carries a small \"glwr\" chunk naming the bank and row, with a checksum\n"
    "of its sound. glwtool build, glwtool play and the window load such a file as it\n"
    "stands (no second fade), so building from the extracted files gives the same bank\n"
    "byte for byte; the mark survives copying and renaming. A file whose sound was\n"
    "edited no longer matches its mark and loads as a new sound.\n\n"
    "exit codes: 0 written, 1 damaged bank or a file not written, 2 usage error or the\n"
    "bank cannot be read\n";

namespace {

void WriteRows(const DecodedVoiceBank& decoded, std::ostream& out) {
    for (size_t k = 0; k < decoded.rows.size(); ++k) {
        const VoiceBankRow& row = decoded.rows[k];
        out << "row " << RowNumber(k) << "  ";
        if (row.channels == 0) {
            out << "empty\n";
            continue;
        }
        out << (row.channels == 2 ? "stereo" : "mono") << ", " << DescribeLength(row.frames)
            << ", sampleStart " << row.sampleStart1;
        if (row.channels == 2) out << '/' << row.sampleStart2;
        out << ", sampleEnd " << row.sampleEnd;
        RowLevel level;
        if (decoded.image && MeasureRow(decoded.image->voices[k], &level))
            out << ", " << DescribeRowLevel(level);
        out << '\n';
    }
}

}  // namespace

bool ReadBankReport(const char* command, const std::string& path, VoiceBankReport* report,
                    std::ostream& err, int* exit) {
    std::string why = DescribePathProblem(path);
    BankFile file;
    if (!why.empty() || !ReadBankFile(path, &file, &why)) {
        err << "glwtool " << command << ": cannot read " << Printable(path) << ": " << why << '\n';
        *exit = ExitUsage;
        return false;
    }
    *report = std::move(file.report);
    return true;
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments("info", args, {}, &options, &operands, err)) return ExitUsage;
    if (operands.size() != 1) return UsageError("info", "give exactly one BANK.glw", err);
    const std::string& path = operands.front();

    VoiceBankReport report;
    int exit = ExitOk;
    if (!ReadBankReport("info", path, &report, err, &exit)) return exit;

    if (report.decoded) {
        out << Printable(path) << ": bank \"" << Printable(report.bank.bankName) << "\"\n";
        WriteRows(report.bank, out);
    }
    if (report.valid) {
        out << "valid\n";
        return ExitOk;
    }
    out << "damaged: " << report.problems.size()
        << (report.problems.size() == 1 ? " problem\n" : " problems\n");
    for (const std::string& p : report.problems) out << "  " << p << '\n';
    err << "glwtool info: " << Printable(path) << " is damaged\n";
    return ExitFailure;
}

int RunExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments("extract", args, {"--force"}, &options, &operands, err)) return ExitUsage;
    if (operands.size() != 2) return UsageError("extract", "give BANK.glw and DIR", err);
    const bool force = !options.empty();
    const std::string& path = operands[0];
    const fs::path dir(operands[1]);

    VoiceBankReport report;
    int exit = ExitOk;
    if (!ReadBankReport("extract", path, &report, err, &exit)) return exit;
    if (!report.valid) {
        for (const std::string& p : report.problems) err << Printable(path) << ": " << p << '\n';
        if (!force || !report.decoded) {
            err << "glwtool extract: " << Printable(path) << " is damaged; nothing extracted"
                << (report.decoded ? " (--force extracts what can be decoded)" : "") << '\n';
            return ExitFailure;
        }
    }

    if (std::string why; !MakeFolderPath(dir, &why)) {
        err << "glwtool extract: cannot create folder " << Printable(dir.string()) << ": " << why
            << '\n';
        return ExitFailure;
    }
    for (size_t k = 0; k < report.bank.rows.size(); ++k) {
        const AudioData& rec = report.bank.image->voices[k];
        if (rec.channels == 0) continue;
        const std::string file = (dir / (RowNumber(k) + ".wav")).string();
        // Marked as a row already made, so that building from it keeps it exactly.
        const std::vector<uint8_t> wave =
            MakeRowWavFile(rec, RowOrigin{report.bank.bankName, static_cast<int>(k + 1)});
        if (wave.empty() ||
            !WriteWholeFile(file.c_str(), wave.data(), static_cast<ptrdiff_t>(wave.size()))) {
            err << "glwtool extract: cannot write " << Printable(file) << '\n';
            return ExitFailure;
        }
        out << "row " << RowNumber(k) << "  " << Printable(file) << "  "
            << (rec.channels == 2 ? "stereo" : "mono") << ", " << DescribeLength(rec.frames)
            << '\n';
    }
    return ExitOk;
}

}  // namespace glwtool
