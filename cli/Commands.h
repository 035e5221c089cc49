#pragma once

#include <ostream>
#include <string>
#include <vector>

// The commands of glwtool. Each takes the arguments after its name, writes
// results to out and messages to err, and returns an exit code (Tool.h).
namespace glwtool {

// build OUT.glw [ROW=FILE | FILE]...
[[nodiscard]] int RunBuild(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);
extern const char* const BuildHelp;

// info BANK.glw
[[nodiscard]] int RunInfo(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);
extern const char* const InfoHelp;

// extract [--force] BANK.glw DIR
[[nodiscard]] int RunExtract(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err);
extern const char* const ExtractHelp;

// The bank name rule of the save dialog: 1 to 16 ASCII letters, digits or
// hyphens. Returns an empty string when name passes, else the reason.
[[nodiscard]] std::string CheckBankName(const std::string& name);

}  // namespace glwtool
