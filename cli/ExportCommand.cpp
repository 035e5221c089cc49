#include "cli/ExportCommand.h"

#include "cli/Commands.h"
#include "kits/KitExport.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankCheck.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

const char* const ExportHelp =
    "usage: glwtool export [--format sfz|dspreset|wav] [--replace] BANK.glw DIR\n\n"
    "Writes each filled row of a voice bank into DIR as \"NAME NN.wav\" (NAME the bank's\n"
    "name, NN = 01 to 16): the exact row, marked so that it loads back as that row.\n"
    "With --format sfz (the default) or dspreset it also writes DIR/NAME.sfz or\n"
    "DIR/NAME.dspreset, a kit for other samplers that plays row r on MIDI note 59 + r\n"
    "(row 1 on note 60, as the instrument maps notes), one key per row, each row whole\n"
    "and once, velocity setting the level as the pads do. --format wav writes the rows\n"
    "alone. DIR is created when missing. Files already in DIR are not replaced unless\n"
    "--replace is given: without it, a file in the way stops the export before\n"
    "anything is written.\n\n"
    "glwtool import of the kit gives the bank back byte for byte.\n\n"
    "exit codes: 0 written, 1 damaged bank, a file in the way or not written, 2 usage\n"
    "error or the bank cannot be read\n";

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<OptionValue> values;
    std::vector<std::string> operands;
    if (!SplitArguments("export", args, {"--replace"}, {"--format"}, &options, &values, &operands,
                        err))
        return ExitUsage;
    KitFormat format = KitFormat::Sfz;
    for (const OptionValue& v : values) {
        if (!ParseKitFormat(v.value, &format))
            return UsageError(
                "export", "--format takes sfz, dspreset or wav, not '" + Printable(v.value) + "'",
                err);
    }
    if (operands.size() != 2) return UsageError("export", "give BANK.glw and DIR", err);
    const bool replace = !options.empty();
    const std::string& path = operands[0];
    const std::string& dir = operands[1];

    VoiceBankReport report;
    int exit = ExitOk;
    if (!ReadBankReport("export", path, &report, err, &exit)) return exit;
    if (!report.valid || !report.decoded) {
        err << "glwtool export: " << Printable(path) << " is damaged"
            << (report.problems.empty() ? std::string() : ": " + report.problems.front())
            << "; nothing written\n";
        return ExitFailure;
    }
    // The files are named after the bank; a name field that would not make
    // a plain file name (a bank of another tool) gives its cleaned form.
    std::string name = report.bank.bankName;
    if (!IsValidBankName(name)) name = CleanBankName(name);
    if (name.empty()) name = "bank";
    const std::vector<KitExportFile> files =
        MakeKitExport(report.bank.image->voices, name, dir, format);
    if (files.empty()) {
        err << "glwtool export: " << Printable(path) << " has no filled row; nothing written\n";
        return ExitFailure;
    }
    if (!replace) {
        const std::vector<std::string> existing = ExistingKitFiles(files);
        if (!existing.empty()) {
            for (const std::string& file : existing)
                err << "glwtool export: " << Printable(file) << " exists\n";
            err << "glwtool export: nothing written (--replace replaces them)\n";
            return ExitFailure;
        }
    }
    std::string why;
    if (!WriteKitExport(files, dir, &why)) {
        err << "glwtool export: " << Printable(why) << '\n';
        return ExitFailure;
    }
    for (const KitExportFile& file : files) {
        if (file.row > 0) {
            const AudioData& rec = report.bank.image->voices[static_cast<size_t>(file.row - 1)];
            out << "row " << RowNumber(static_cast<size_t>(file.row - 1)) << "  "
                << Printable(file.path) << "  " << (rec.channels == 2 ? "stereo" : "mono") << ", "
                << DescribeLength(rec.frames) << '\n';
        } else {
            out << "kit  " << Printable(file.path) << '\n';
        }
    }
    return ExitOk;
}

}  // namespace glwtool
