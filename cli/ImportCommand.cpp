#include "cli/ImportCommand.h"

#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "cli/Commands.h"
#include "cli/ConvertLoad.h"
#include "cli/RowChoices.h"
#include "kits/KitImport.h"
#include "voicebank/BankFolder.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

namespace fs = std::filesystem;

const char* const ImportHelp =
    "usage: glwtool import [--convert] KIT.sfz|KIT.dspreset OUT.glw\n\n"
    "Builds a voice bank from a kit of another sampler. Each region (SFZ) or sample\n"
    "(Decent Sampler) becomes a row: one with a single key goes onto the row that key\n"
    "plays (note 60 onto row 1, the rows repeating every 16 notes), in order of the\n"
    "keys; one without fills the free rows from row 1 in file order. A second region\n"
    "for a row, and those beyond the 16 rows, are left out with a word.\n\n"
    "offset and end (SFZ) or start and end (Decent Sampler), in frames of the sample,\n"
    "give the row's start and length; volume makes the row that many dB louder or\n"
    "softer (its peak level, between -20 and 0 dBFS); transpose and tune (tuning) and\n"
    "a key away from the sample's own give its pitch (-24 to +24 semitones). What no\n"
    "row can carry is named once. Sample paths are taken as the formats define them:\n"
    "from the kit's folder, after default_path and #define in SFZ, with either slash.\n"
    "A sample that is missing or no regular file is named with its row, and nothing\n"
    "is written. --convert takes the converter's formats as glwtool build does.\n\n"
    "OUT's base name becomes the bank name: 1 to 16 letters, digits or hyphens. A row\n"
    "file written by glwtool export is kept exactly, so importing an exported kit\n"
    "into a bank of the same name gives that bank byte for byte.\n\n"
    "exit codes: 0 written, 1 a sample missing or not loaded, no kit, or the bank not\n"
    "written, 2 usage error or the kit cannot be read\n";

int RunImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments("import", args, {"--convert"}, &options, &operands, err)) return ExitUsage;
    if (operands.size() != 2) return UsageError("import", "give KIT and OUT.glw", err);
    const bool convert = !options.empty();
    const std::string& kit = operands[0];
    const std::string& outPath = operands[1];
    if (!IsKitFileName(kit))
        return UsageError("import", "KIT must end in .sfz or .dspreset: '" + Printable(kit) + "'",
                          err);
    const fs::path target(outPath);
    if (!target.has_filename() || !IsBankFileName(outPath))
        return UsageError(
            "import", "OUT must be a file name ending in .glw: '" + Printable(outPath) + "'", err);
    if (const std::string why = CheckBankName(target.stem().string()); !why.empty())
        return UsageError("import", Printable(why), err);

    std::string text;
    std::string why;
    if (!ReadKitText(kit, &text, &why)) {
        err << "glwtool import: cannot read " << Printable(kit) << ": " << Printable(why) << '\n';
        return ExitUsage;
    }
    KitFormat format = KitFormat::Sfz;
    (void)IsKitFileName(kit, &format);
    const KitContents contents = ParseKit(format, text, fs::path(kit).parent_path().string());
    KitImportPlan plan;
    if (!contents.error.empty())
        plan.error = contents.error;
    else
        plan = PlanKitRows(contents, convert);
    if (!plan.error.empty()) {
        err << "glwtool import: " << Printable(kit) << " is no kit: " << Printable(plan.error)
            << "; nothing written\n";
        return ExitFailure;
    }
    for (const std::string& word : plan.words) err << "glwtool import: " << Printable(word) << '\n';
    if (!plan.problems.empty()) {
        for (const std::string& p : plan.problems)
            err << "glwtool import: " << Printable(p) << '\n';
        err << "glwtool import: nothing written\n";
        return ExitFailure;
    }

    std::unique_ptr<VoiceBankImage> image(new (std::nothrow) VoiceBankImage);
    const auto outcomes = std::make_unique<std::array<VoiceLoadOutcome, VoiceSlotCount>>();
    if (!image || !InitVoiceBankImage(image.get())) {
        err << "glwtool import: not enough memory\n";
        return ExitFailure;
    }
    bool failed = false;
    for (size_t k = 0; k < plan.rows.size(); ++k) {
        const KitRowPlan& row = plan.rows[k];
        if (row.path.empty()) continue;
        bool usage = false;
        if (!LoadRowFile(row.path, RowChoice{row.options, {}}, convert, &image->voices[k],
                         &(*outcomes)[k], &why, &usage)) {
            err << "glwtool import: row " << RowNumber(k) << ": " << why << '\n';
            failed = true;
        }
    }
    if (failed) {
        err << "glwtool import: nothing written\n";
        return ExitFailure;
    }
    const fs::path folder = target.parent_path();
    bool madeFolder = false;
    if (!folder.empty() && !EnsureBankFolder(folder, &madeFolder, &why)) {
        err << "glwtool import: cannot write " << Printable(outPath) << ": " << Printable(why)
            << '\n';
        return ExitFailure;
    }
    WriteFailure failure;
    if (!ExportImageToFile(*image, outPath.c_str(), &failure)) {
        err << "glwtool import: cannot write " << Printable(outPath) << ": "
            << Printable(failure.reason) << '\n';
        std::error_code ec;
        if (madeFolder) fs::remove(folder, ec);
        return ExitFailure;
    }
    for (size_t k = 0; k < plan.rows.size(); ++k) {
        const KitRowPlan& row = plan.rows[k];
        const AudioData& rec = image->voices[k];
        if (row.path.empty() || rec.channels == 0) continue;
        out << "row " << RowNumber(k) << "  " << Printable(row.shown)
            << (row.key >= 0 ? "  key " + std::to_string(row.key) : std::string()) << "  "
            << DescribeRowFormat(rec, (*outcomes)[k].converter.converted)
            << DescribeApplied(RowChoice{row.options, {}}, (*outcomes)[k], rec)
            << DescribeLength(rec.frames) << '\n';
    }
    std::error_code ec;
    const auto size = fs::file_size(target, ec);
    out << "wrote " << Printable(outPath) << " (" << (ec ? 0 : size) << " bytes)\n";
    return ExitOk;
}

}  // namespace glwtool
