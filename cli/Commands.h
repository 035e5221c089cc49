#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

struct VoiceBankReport;

// The commands of glwtool. Each takes the arguments after its name, writes
// results to out and messages to err, and returns an exit code (Tool.h).
namespace glwtool {

// build [--from BANK.glw] OUT.glw [ROW=FILE | ROW= | FILE | DIR]...
[[nodiscard]] int RunBuild(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);
// Its help, the row options' paragraphs from their table.
[[nodiscard]] std::string_view BuildHelp();

// info BANK.glw
[[nodiscard]] int RunInfo(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);
extern const char* const InfoHelp;

// extract [--force] BANK.glw DIR
[[nodiscard]] int RunExtract(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err);
extern const char* const ExtractHelp;

// Reads a bank file and checks it (CheckVoiceBank). Returns true with
// *report filled, also for a damaged bank or one larger than any bank
// (report->valid false). Returns false for a file that cannot be read, with
// "glwtool COMMAND: cannot read PATH: REASON" written to err and *exit set
// to ExitUsage.
[[nodiscard]] bool ReadBankReport(const char* command, const std::string& path,
                                  VoiceBankReport* report, std::ostream& err, int* exit);

// The bank name rule (voicebank/BankName.h). Returns an empty string when
// name passes, else the reason.
[[nodiscard]] std::string CheckBankName(const std::string& name);

}  // namespace glwtool
