#include "cli/CardCommands.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/BankBackup.h"
#include "core/CardBanks.h"
#include "voicebank/BankName.h"
#include "volumes/VolumeList.h"
#include "volumes/VolumeSource.h"

namespace glwtool {

namespace {

const char* const CardHelp =
    "usage: glwtool card COMMAND CARD_ROOT ...\n\n"
    "Manages the banks in a card's gridlume folder as a whole. CARD_ROOT is the card's\n"
    "mount point. Every bank written goes through the safe writer (written, read back,\n"
    "then renamed), and every bank replaced or removed is kept first as a copy that\n"
    "glwtool versions lists and glwtool restore brings back. The card is taken as it is\n"
    "when the command starts: once CARD_ROOT is no longer that filesystem (the card was\n"
    "pulled or unmounted), nothing more is written.\n\n"
    "commands (glwtool card COMMAND --help says more):\n"
    "  ls       CARD_ROOT                     every bank: name, rows, size, date\n"
    "  cp       [--replace] CARD_ROOT NAME NEWNAME   copy a bank under a new name\n"
    "  mv       [--replace] CARD_ROOT NAME NEWNAME   rename a bank\n"
    "  rm       CARD_ROOT NAME                remove a bank, keeping a copy\n"
    "  backup   CARD_ROOT DIR                 copy every bank into DIR\n"
    "  restore  CARD_ROOT DIR                 write DIR's banks back onto the card\n"
    "  diff     CARD_ROOT DIR                 how the card differs from DIR\n\n"
    "exit codes: 0 success, 1 refused, failed or (diff) different, 2 usage error\n";

const char* const LsHelp =
    "usage: glwtool card ls CARD_ROOT\n\n"
    "Prints one tab-separated line per bank in CARD_ROOT/gridlume (every regular file\n"
    "ending in .glw in any letter case; links are left out), in natural order of their\n"
    "names (BANK2 before BANK10): name, rows filled, size in bytes, modified (UTC,\n"
    "YYYY-MM-DDTHH:MM:SSZ). Each bank is read and checked whole, as glwtool info does;\n"
    "a damaged bank has \"damaged\" in the rows column and the checker's reason as a\n"
    "fifth column. Bytes other than printable ASCII are shown as \\xNN.\n\n"
    "exit codes: 0 listed (also when there is no bank), 2 CARD_ROOT is no folder or\n"
    "usage error\n";

const char* const CopyHelp =
    "usage: glwtool card cp [--replace] CARD_ROOT NAME NEWNAME\n\n"
    "Copies the bank NAME (found in any letter case) to CARD_ROOT/gridlume/NEWNAME.glw,\n"
    "rebuilt so the name stored inside is NEWNAME; its rows stay the same byte for byte.\n"
    "Names keep the bank-name rule: 1 to 16 ASCII letters, digits or hyphens (give --\n"
    "before a name that begins with a hyphen). An existing NEWNAME is refused unless\n"
    "--replace is given; it is then kept first (glwtool versions NEWNAME). A damaged\n"
    "bank is refused. Prints the bank written and the copies kept.\n\n"
    "exit codes: 0 copied, 1 refused or not written (nothing changed), 2 usage error\n";

const char* const MoveHelp =
    "usage: glwtool card mv [--replace] CARD_ROOT NAME NEWNAME\n\n"
    "Renames the bank NAME (found in any letter case) to NEWNAME: the bank is rebuilt\n"
    "so the name stored inside is NEWNAME (its rows stay the same byte for byte),\n"
    "written as CARD_ROOT/gridlume/NEWNAME.glw, and NAME is kept (glwtool versions NAME)\n"
    "before it is removed. Names keep the bank-name rule, as for cp. An existing\n"
    "NEWNAME is refused unless --replace is given; it is then kept first. A damaged bank\n"
    "is refused. Prints the bank written and the copies kept.\n\n"
    "exit codes: 0 renamed, 1 refused or failed (NAME stays), 2 usage error\n";

const char* const RemoveHelp =
    "usage: glwtool card rm CARD_ROOT NAME\n\n"
    "Removes the bank NAME (found in any letter case) from CARD_ROOT/gridlume after\n"
    "keeping a copy of it: glwtool versions NAME lists it and glwtool restore NAME\n"
    "CARD_ROOT brings it back byte for byte. NAME keeps the bank-name rule. Prints the\n"
    "bank removed and its copy.\n\n"
    "exit codes: 0 removed, 1 no such bank or no copy could be kept (the bank stays),\n"
    "2 usage error\n";

const char* const BackupHelp =
    "usage: glwtool card backup CARD_ROOT DIR\n\n"
    "Copies every bank of CARD_ROOT/gridlume, damaged ones too, into DIR as\n"
    "DIR/NAME.glw (DIR and its parents are made when missing; a bank already there\n"
    "is overwritten), each through the safe writer and then compared with the card's\n"
    "bytes. Prints DIR.\n\n"
    "exit codes: 0 every bank copied and verified, 1 a bank could not be (named), 2\n"
    "usage error\n";

const char* const RestoreCardHelp =
    "usage: glwtool card restore CARD_ROOT DIR\n\n"
    "Writes the banks in DIR (a folder glwtool card backup made) back onto the card as\n"
    "CARD_ROOT/gridlume/NAME.glw, each after a copy of the bank it replaces was kept\n"
    "(glwtool versions NAME). A bank on the card already the same bytes is left alone;\n"
    "banks on the card that DIR lacks stay. A damaged bank in DIR is not written.\n"
    "Prints each bank written and each copy kept.\n\n"
    "exit codes: 0 restored, 1 a bank was not restored (named) or the card went away,\n"
    "2 usage error\n";

const char* const DiffHelp =
    "usage: glwtool card diff CARD_ROOT DIR\n\n"
    "Compares the banks of CARD_ROOT/gridlume with those in DIR (a folder glwtool card\n"
    "backup made) and prints one tab-separated line per bank that differs, in natural\n"
    "order of names: \"new\" and the name for a bank only on the card, \"gone\" and the\n"
    "name for a bank only in DIR, \"changed\", the name and the rows (1-16,\n"
    "comma-separated) whose sound or length differ, e.g. changed\tDRUMS\t3,9. The rows\n"
    "column is empty when a side is damaged or only the bank's other bytes differ.\n\n"
    "exit codes: 0 the same, 1 they differ, 2 a folder cannot be read or usage error\n";

struct CardCommandEntry {
    std::string_view name;
    const char* help;
};

constexpr CardCommandEntry CardCommands[] = {
    {"ls", LsHelp},     {"cp", CopyHelp},       {"mv", MoveHelp},
    {"rm", RemoveHelp}, {"backup", BackupHelp}, {"restore", RestoreCardHelp},
    {"diff", DiffHelp},
};

std::string Modified(std::time_t time) {
    std::tm utc{};
    (void)gmtime_r(&time, &utc);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) return "?";
    return text;
}

// The card as it is now: its root's filesystem and, when CARD_ROOT is a
// mount point, that mount; false with a usage error when it is no folder.
bool TakeCard(const std::string& command, const std::string& root, CardPlace* place,
              std::ostream& err) {
    // The mount table names mount points by their absolute paths: a relative
    // or linked CARD_ROOT is looked up, and later checked, as the folder it is.
    std::error_code ec;
    const std::string real = std::filesystem::canonical(root, ec).string();
    Volume volume;
    volume.root = ec ? root : real;
    std::ifstream in("/proc/self/mountinfo");
    const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const MountEntry& mount : ParseMountInfo(table))
        if (!ec && mount.mountPoint == real) volume.mountId = mount.mountId;  // the last one counts
    if (!TakeVolumeIdentity(volume, &place->volume)) {
        err << "glwtool card " << command << ": " << Printable(root) << " is no folder\n";
        return false;
    }
    place->root = root;
    place->backupsRoot = DefaultBackupsRoot();
    place->now = std::time(nullptr);
    if (place->backupsRoot.empty()) {
        (void)UsageError("card " + command, "neither XDG_DATA_HOME nor HOME is set", err);
        return false;
    }
    return true;
}

bool CheckName(const std::string& command, const std::string& name, std::ostream& err) {
    if (const std::string problem = BankNameProblem(name); !problem.empty()) {
        (void)UsageError("card " + command,
                         "a bank's name is its file name without .glw: " + Printable(problem), err);
        return false;
    }
    return true;
}

int Report(const std::string& command, const CardOutcome& outcome, const std::string& did,
           std::ostream& out, std::ostream& err) {
    for (const std::string& path : outcome.written) out << did << ' ' << Printable(path) << '\n';
    for (const std::string& path : outcome.kept)
        out << "kept a copy as " << Printable(path) << '\n';
    if (outcome.ok) return ExitOk;
    err << "glwtool card " << command << ": " << Printable(outcome.reason) << '\n';
    return ExitFailure;
}

int RunLs(const std::vector<std::string>& operands, std::ostream& out, std::ostream& err) {
    if (operands.size() != 1) return UsageError("card ls", "give CARD_ROOT", err);
    const CardListing listing = ListCardBanks(operands[0]);
    if (!listing.ok) {
        err << "glwtool card ls: " << Printable(operands[0]) << " is no folder\n";
        return ExitUsage;
    }
    for (const CardBank& bank : listing.banks) {
        out << Printable(bank.name) << '\t'
            << (bank.damaged ? std::string("damaged") : std::to_string(bank.RowsFilled())) << '\t'
            << bank.size << '\t' << Modified(bank.modified);
        if (bank.damaged) out << '\t' << Printable(bank.reason);
        out << '\n';
    }
    return ExitOk;
}

int RunCopyOrMove(const std::string& command, const std::vector<std::string>& options,
                  const std::vector<std::string>& operands, std::ostream& out, std::ostream& err) {
    if (operands.size() != 3)
        return UsageError("card " + command, "give CARD_ROOT, NAME and NEWNAME", err);
    if (!CheckName(command, operands[1], err) || !CheckName(command, operands[2], err))
        return ExitUsage;
    CardPlace place;
    if (!TakeCard(command, operands[0], &place, err)) return ExitUsage;
    const bool replace = !options.empty();
    const CardOutcome outcome = command == "cp"
                                    ? CopyCardBank(place, operands[1], operands[2], replace)
                                    : RenameCardBank(place, operands[1], operands[2], replace);
    return Report(command, outcome, command == "cp" ? "copied to" : "renamed to", out, err);
}

int RunRemove(const std::vector<std::string>& operands, std::ostream& out, std::ostream& err) {
    if (operands.size() != 2) return UsageError("card rm", "give CARD_ROOT and NAME", err);
    if (!CheckName("rm", operands[1], err)) return ExitUsage;
    CardPlace place;
    if (!TakeCard("rm", operands[0], &place, err)) return ExitUsage;
    const CardOutcome outcome = RemoveCardBank(place, operands[1]);
    if (outcome.ok) out << "removed " << Printable(operands[1]) << '\n';
    return Report("rm", outcome, "", out, err);
}

int RunBackupRestoreOrDiff(const std::string& command, const std::vector<std::string>& operands,
                           std::ostream& out, std::ostream& err) {
    if (operands.size() != 2) return UsageError("card " + command, "give CARD_ROOT and DIR", err);
    const std::string& dir = operands[1];
    if (command == "diff") {
        std::vector<CardDifference> differences;
        std::string reason;
        if (!CompareCard(operands[0], dir, &differences, &reason)) {
            err << "glwtool card diff: " << Printable(reason) << '\n';
            return ExitUsage;
        }
        for (const CardDifference& d : differences) {
            out << (d.kind == CardDifference::Kind::New    ? "new"
                    : d.kind == CardDifference::Kind::Gone ? "gone"
                                                           : "changed")
                << '\t' << Printable(d.name);
            if (d.kind == CardDifference::Kind::Changed) {
                out << '\t';
                for (size_t i = 0; i < d.rows.size(); ++i) out << (i > 0 ? "," : "") << d.rows[i];
            }
            out << '\n';
        }
        return differences.empty() ? ExitOk : ExitFailure;
    }
    CardPlace place;
    if (!TakeCard(command, operands[0], &place, err)) return ExitUsage;
    if (command == "backup") {
        const CardOutcome outcome = BackUpCard(place, dir);
        if (outcome.ok)
            out << Printable(dir) << '\n';
        else
            err << "glwtool card backup: " << Printable(outcome.reason) << '\n';
        return outcome.ok ? ExitOk : ExitFailure;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        err << "glwtool card restore: " << Printable(dir) << " is no folder\n";
        return ExitUsage;
    }
    return Report(command, RestoreCard(place, dir), "restored", out, err);
}

}  // namespace

int RunCard(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? err : out) << CardHelp;
        return args.empty() ? ExitUsage : ExitOk;
    }
    const std::string command = args[0];
    const CardCommandEntry* entry = nullptr;
    for (const CardCommandEntry& e : CardCommands)
        if (e.name == command) entry = &e;
    if (entry == nullptr) {
        err << "glwtool card: unknown command '" << Printable(command)
            << "'; try 'glwtool card --help'\n";
        return ExitUsage;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") {
            out << entry->help;
            return ExitOk;
        }
    }
    const bool copies = command == "cp" || command == "mv";
    std::vector<std::string> options;
    std::vector<std::string> operands;
    if (!SplitArguments(
            "card " + command, rest,
            copies ? std::vector<std::string_view>{"--replace"} : std::vector<std::string_view>{},
            &options, &operands, err))
        return ExitUsage;
    if (command == "ls") return RunLs(operands, out, err);
    if (copies) return RunCopyOrMove(command, options, operands, out, err);
    if (command == "rm") return RunRemove(operands, out, err);
    return RunBackupRestoreOrDiff(command, operands, out, err);
}

Command CardCommand() {
    return {"card", "list, copy, rename, remove, back up and compare a card's banks", CardHelp,
            RunCard, true};
}

}  // namespace glwtool
