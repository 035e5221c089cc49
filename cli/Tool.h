#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace glwtool {

// Exit codes of every command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;  // a file could not be loaded or written; a damaged bank
inline constexpr int ExitUsage = 2;    // bad arguments, or a bank file that cannot be read
inline constexpr int ExitNoSoundDevice = 3;  // reserved for playback: no sound device

// Runs one command. args: the arguments after the command's name (its
// --help is handled before). Results go to out, messages to err. Returns an
// exit code.
using CommandFunction = int (*)(const std::vector<std::string>& args, std::ostream& out,
                                std::ostream& err);

struct Command {
    std::string_view name;     // "build"
    std::string_view summary;  // one line for the overview
    std::string_view help;     // the full text of "glwtool NAME --help"
    CommandFunction run;
    // The command reads --help itself (one with commands of its own, each
    // with its own help).
    bool ownHelp = false;
};

// build, info and extract. A command that needs more than the audio and
// voice-bank code (playback) is appended by the executable that links it.
[[nodiscard]] std::vector<Command> CoreCommands();

// Dispatches a command line. args: everything after the program name.
// Handles --version, --help, help [COMMAND] and COMMAND --help itself.
// Returns the exit code.
[[nodiscard]] int RunTool(const std::vector<Command>& commands,
                          const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);

// Sorts a command's arguments into options and operands: "--" ends the
// options; anything else starting with '-' (but not "-" alone) must be one of
// allowed. On a stray option writes a usage message to err and returns false.
[[nodiscard]] bool SplitArguments(std::string_view command, const std::vector<std::string>& args,
                                  const std::vector<std::string_view>& allowed,
                                  std::vector<std::string>* options,
                                  std::vector<std::string>* operands, std::ostream& err);

// An option that takes the next argument as its value ("--from BANK.glw").
struct OptionValue {
    std::string name;   // "--from"
    std::string value;  // "BANK.glw"
    bool bare = false;  // an option whose value may be left out, given without one
};

// An option whose value may be left out: "--match-loudness",
// "--match-loudness=-16", or "--match-loudness -16" when takesNext says the
// argument after it is its value.
struct OptionalValue {
    std::string_view name;
    bool (*takesNext)(const std::string& next);
};

// SplitArguments for a command whose options in valued take a value: each
// such option and the argument after it go to *values, in order. An option
// of valued given last, with no value after it, is a usage error. Options
// of optional go to *values too, with their value or bare.
[[nodiscard]] bool SplitArguments(std::string_view command, const std::vector<std::string>& args,
                                  const std::vector<std::string_view>& allowed,
                                  const std::vector<std::string_view>& valued,
                                  std::vector<std::string>* options,
                                  std::vector<OptionValue>* values,
                                  std::vector<std::string>* operands, std::ostream& err,
                                  const std::vector<OptionalValue>& optional = {});

// Writes "glwtool COMMAND: MESSAGE" and the pointer to --help to err.
// Returns ExitUsage.
int UsageError(std::string_view command, std::string_view message, std::ostream& err);

// A row number as a command line gives it, in "3=FILE" or "--start 3=1":
// decimal digits from 1 to rows, leading zeros allowed ("016" is 16).
[[nodiscard]] bool ParseRowNumber(std::string_view text, size_t rows, size_t* row);

// The row number shown in the window for a slot index: "01" for slot 0.
[[nodiscard]] std::string RowNumber(size_t slot);

// Text read from a file, safe for a terminal: bytes other than printable
// ASCII (and the backslash) are shown as \xNN.
[[nodiscard]] std::string Printable(const std::string& text);

// "19856 frames, 450 ms": a voice's length at 44,100 Hz.
[[nodiscard]] std::string DescribeLength(int frames);

}  // namespace glwtool
