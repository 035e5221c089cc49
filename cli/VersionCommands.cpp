#include "cli/VersionCommands.h"

#include <ctime>
#include <filesystem>
#include <system_error>

#include "core/BankBackup.h"
#include "voicebank/BankFile.h"
#include "voicebank/BankName.h"

namespace glwtool {

namespace fs = std::filesystem;

namespace {

const char* const VersionsHelp =
    "usage: glwtool versions NAME\n\n"
    "Lists the copies kept of the bank NAME (its file name without .glw) each time a\n"
    "save or a restore replaced it, newest first, one line each, tab-separated:\n"
    "VERSION, path, date (UTC), rows filled (\"damaged\", or \"holds OTHER\" for a copy\n"
    "of another bank, which restore refuses), size in bytes. VERSION is what glwtool\n"
    "restore takes. Copies live in $XDG_DATA_HOME (else ~/.local/share)\n"
    "/Vantor/gridlume-voice-manager/backups/NAME; only regular files there count.\n"
    "NAME keeps the bank-name rule: 1 to 16 ASCII letters, digits or hyphens (give\n"
    "-- before a NAME that begins with a hyphen). Bytes other than printable ASCII in\n"
    "what is printed are shown as \\xNN.\n\n"
    "exit codes: 0 listed (also when there is none), 2 usage error\n";

const char* const RestoreHelp =
    "usage: glwtool restore NAME [VERSION] CARD_ROOT\n\n"
    "Writes a kept copy of the bank NAME back to CARD_ROOT/gridlume/NAME.glw through\n"
    "the safe writer, after keeping a copy of the bank it replaces. VERSION is the\n"
    "number glwtool versions shows (1 is the newest) or the copy's date stamp\n"
    "(YYYYMMDD-HHMMSS, with its -N when several copies share a second); the newest\n"
    "copy when it is left out. A damaged copy, a link, and a copy of another bank are\n"
    "refused. NAME keeps the bank-name rule, as for glwtool versions.\n\n"
    "exit codes: 0 restored, 1 the copy is damaged or nothing could be written, 2 usage\n"
    "error or no such copy\n";

// NAME keeps the bank-name rule, as the save dialog's name field does.
bool CheckName(const char* command, const std::string& name, std::ostream& err) {
    if (const std::string problem = BankNameProblem(name); !problem.empty()) {
        (void)UsageError(command, "NAME is a bank's file name without .glw: " + Printable(problem),
                         err);
        return false;
    }
    return true;
}

// Where the kept copies live; false, with a usage error written, when
// there is no home for them.
bool FindBackupsRoot(const char* command, std::string* root, std::ostream& err) {
    *root = DefaultBackupsRoot();
    if (root->empty()) (void)UsageError(command, "neither XDG_DATA_HOME nor HOME is set", err);
    return !root->empty();
}

// The rows filled, "damaged", or, for a copy of another bank put in NAME's
// folder, "holds OTHER": the one restore refuses.
std::string RowsFilled(const std::string& path, const std::string& name) {
    BankFile file;
    std::string why;
    if (!ReadBankFile(path, &file, &why) || !file.report.valid) return "damaged";
    if (!SameBankName(file.report.bank.bankName, name))
        return "holds " + Printable(file.report.bank.bankName);
    int rows = 0;
    for (const VoiceBankRow& row : file.report.bank.rows) rows += row.channels != 0 ? 1 : 0;
    return std::to_string(rows);
}

// The bank NAME in the card's folder: a file there named NAME.glw in any
// letter case is the bank a restore replaces (NAME.glw itself first), else
// NAME.glw is made.
fs::path BankOnCard(const fs::path& folder, const std::string& name) {
    const std::string wanted = name + std::string(BankFileExtension);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folder / wanted, ec))) return folder / wanted;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (IsBankFileName(file) && file.size() == wanted.size() &&
            file.compare(0, name.size(), name) == 0)
            return it->path();
    }
    return folder / wanted;
}

// The copy VERSION names: a number from 1 (the newest) or a stamp.
const BankBackupCopy* FindCopy(const std::vector<BankBackupCopy>& copies,
                               const std::string& version) {
    if (!version.empty() && version.size() < 6 &&
        version.find_first_not_of("0123456789") == std::string::npos) {
        const size_t index = std::stoul(version);
        return index >= 1 && index <= copies.size() ? &copies[index - 1] : nullptr;
    }
    for (const BankBackupCopy& copy : copies) {
        std::string stamp = copy.stamp;
        if (copy.number > 1) {
            stamp += '-';
            stamp += std::to_string(copy.number);
        }
        if (stamp == version) return &copy;
    }
    return nullptr;
}

}  // namespace

int RunVersions(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments("versions", args, {}, &options, &operands, err)) return ExitUsage;
    if (operands.size() != 1) return UsageError("versions", "give exactly one NAME", err);
    if (!CheckName("versions", operands[0], err)) return ExitUsage;
    std::string root;
    if (!FindBackupsRoot("versions", &root, err)) return ExitUsage;
    const std::vector<BankBackupCopy> copies = ListBankBackups(root, operands[0]);
    for (size_t i = 0; i < copies.size(); ++i) {
        const BankBackupCopy& copy = copies[i];
        out << i + 1 << '\t' << Printable(copy.path) << '\t' << DescribeBackupTime(copy.stamp)
            << '\t' << RowsFilled(copy.path, operands[0]) << '\t' << copy.size << '\n';
    }
    return ExitOk;
}

int RunRestore(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments("restore", args, {}, &options, &operands, err)) return ExitUsage;
    if (operands.size() != 2 && operands.size() != 3)
        return UsageError("restore", "give NAME, optionally VERSION, and CARD_ROOT", err);
    const std::string& name = operands.front();
    if (!CheckName("restore", name, err)) return ExitUsage;
    const std::string version = operands.size() == 3 ? operands[1] : "1";
    const fs::path card(operands.back());
    std::error_code ec;
    if (!fs::is_directory(card, ec)) {
        err << "glwtool restore: " << Printable(card.string()) << " is no folder\n";
        return ExitUsage;
    }
    std::string root;
    if (!FindBackupsRoot("restore", &root, err)) return ExitUsage;
    const std::vector<BankBackupCopy> copies = ListBankBackups(root, name);
    const BankBackupCopy* copy = FindCopy(copies, version);
    if (copy == nullptr) {
        err << "glwtool restore: no copy " << Printable(version) << " of " << name << " in "
            << Printable(root) << '/' << name << " (glwtool versions " << name << " lists them)\n";
        return ExitUsage;
    }
    const fs::path folder = card / BankFolderName;
    (void)fs::create_directory(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        err << "glwtool restore: cannot create folder " << Printable(folder.string()) << '\n';
        return ExitFailure;
    }
    const std::string bank = BankOnCard(folder, name).string();
    std::string backup;
    std::string reason;
    if (!RestoreBankCopy(copy->path, bank, root, std::time(nullptr), &backup, &reason)) {
        err << "glwtool restore: " << Printable(reason) << '\n';
        return ExitFailure;
    }
    out << "restored " << Printable(bank) << " from " << Printable(copy->path) << '\n';
    if (!backup.empty()) out << "kept the bank it replaced as " << Printable(backup) << '\n';
    return ExitOk;
}

Command VersionsCommand() {
    return {"versions", "list the kept copies of a bank, newest first", VersionsHelp, RunVersions};
}

Command RestoreCommand() {
    return {"restore", "write a kept copy of a bank back to a card", RestoreHelp, RunRestore};
}

}  // namespace glwtool
