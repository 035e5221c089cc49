#include "cli/Tool.h"

#include <algorithm>

#include "cli/Commands.h"
#include "cli/ExportCommand.h"
#include "cli/ImportCommand.h"
#include "cli/SliceCommand.h"

#ifndef GLW_VERSION
#define GLW_VERSION "0.0.0"
#endif

namespace glwtool {

namespace {

void WriteOverview(const std::vector<Command>& commands, std::ostream& os) {
    os << "usage: glwtool COMMAND [ARGUMENTS]\n"
          "       glwtool COMMAND --help | --help | --version\n\n"
          "Builds, checks and unpacks voice banks (.glw) for the instrument's memory card,\n"
          "and plays sound files as a voice slot would.\n\n"
          "commands:\n";
    for (const Command& c : commands) {
        os << "  " << c.name << std::string(c.name.size() < 9 ? 9 - c.name.size() : 1, ' ')
           << c.summary << '\n';
    }
    os << "\nexit codes: 0 success, 1 a file could not be loaded or written or the bank is "
          "damaged,\n2 usage error or unreadable bank, 3 no sound device\n";
}

const Command* Find(const std::vector<Command>& commands, std::string_view name) {
    const auto it = std::find_if(commands.begin(), commands.end(),
                                 [&](const Command& c) { return c.name == name; });
    return it == commands.end() ? nullptr : &*it;
}

bool IsHelp(std::string_view a) { return a == "--help" || a == "-h"; }

}  // namespace

int RunTool(const std::vector<Command>& commands, const std::vector<std::string>& args,
            std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        WriteOverview(commands, err);
        return ExitUsage;
    }
    const std::string& first = args.front();
    if (first == "--version") {
        out << "glwtool " << GLW_VERSION << '\n';
        return ExitOk;
    }
    if (IsHelp(first) || first == "help") {
        if (first == "help" && args.size() > 1) {
            if (const Command* c = Find(commands, args[1])) {
                out << c->help;
                return ExitOk;
            }
            err << "glwtool: unknown command '" << args[1] << "'\n";
            return ExitUsage;
        }
        WriteOverview(commands, out);
        return ExitOk;
    }
    const Command* command = Find(commands, first);
    if (command == nullptr) {
        err << "glwtool: unknown command '" << first << "'; try 'glwtool --help'\n";
        return ExitUsage;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest) {
        if (a == "--" || command->ownHelp) break;
        if (IsHelp(a)) {
            out << command->help;
            return ExitOk;
        }
    }
    return command->run(rest, out, err);
}

bool SplitArguments(std::string_view command, const std::vector<std::string>& args,
                    const std::vector<std::string_view>& allowed, std::vector<std::string>* options,
                    std::vector<std::string>* operands, std::ostream& err) {
    std::vector<OptionValue> none;
    return SplitArguments(command, args, allowed, {}, options, &none, operands, err);
}

bool SplitArguments(std::string_view command, const std::vector<std::string>& args,
                    const std::vector<std::string_view>& allowed,
                    const std::vector<std::string_view>& valued, std::vector<std::string>* options,
                    std::vector<OptionValue>* values, std::vector<std::string>* operands,
                    std::ostream& err, const std::vector<OptionalValue>& optional) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            const auto with = std::find_if(optional.begin(), optional.end(), [&](const auto& o) {
                return a.rfind(o.name, 0) == 0 &&
                       (a.size() == o.name.size() || a[o.name.size()] == '=');
            });
            if (with != optional.end()) {
                const std::string name(with->name);
                if (a.size() > name.size())
                    values->push_back({name, a.substr(name.size() + 1)});
                else if (i + 1 < args.size() && with->takesNext(args[i + 1]))
                    values->push_back({name, args[++i]});
                else
                    values->push_back({name, {}, true});
                continue;
            }
            if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
                if (i + 1 == args.size()) {
                    UsageError(command, "option '" + a + "' needs a value", err);
                    return false;
                }
                values->push_back({a, args[++i]});
                continue;
            }
            if (std::find(allowed.begin(), allowed.end(), a) == allowed.end()) {
                UsageError(command, "unknown option '" + a + "'", err);
                return false;
            }
            options->push_back(a);
        } else {
            operands->push_back(a);
        }
    }
    return true;
}

int UsageError(std::string_view command, std::string_view message, std::ostream& err) {
    err << "glwtool " << command << ": " << message << "\ntry 'glwtool " << command << " --help'\n";
    return ExitUsage;
}

bool ParseRowNumber(std::string_view text, size_t rows, size_t* row) {
    size_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<size_t>(c - '0');
        if (value > rows) return false;
    }
    if (value < 1) return false;
    *row = value;
    return true;
}

std::string RowNumber(size_t slot) {
    const std::string n = std::to_string(slot + 1);
    return n.size() < 2 ? "0" + n : n;
}

std::string Printable(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string shown;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown += ch;
        } else {
            shown += "\\x";
            shown += digits[c >> 4];
            shown += digits[c & 0xF];
        }
    }
    return shown;
}

std::string DescribeLength(int frames) {
    const long ms = (static_cast<long>(frames) * 1000 + 22050) / 44100;
    return std::to_string(frames) + " frames, " + std::to_string(ms) + " ms";
}

}  // namespace glwtool

namespace glwtool {

std::vector<Command> CoreCommands() {
    return {
        {"build", "build a bank from up to 16 WAV or AIFF files", BuildHelp(), RunBuild},
        {"info", "check a bank and list its 16 rows", InfoHelp, RunInfo},
        {"extract", "write each filled row of a bank as a WAV file", ExtractHelp, RunExtract},
        {"slices", "find the hits of a loop, one slice per hit", SlicesHelp, RunSlices},
        {"export", "write a bank's rows as WAV files with an SFZ or Decent Sampler kit", ExportHelp,
         RunExport},
        {"import", "build a bank from an SFZ or Decent Sampler kit", ImportHelp, RunImport},
    };
}

}  // namespace glwtool
