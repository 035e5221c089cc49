#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace glwtool {

// export BANK.glw DIR [--format sfz|dspreset|wav] [--replace]
[[nodiscard]] int RunExport(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err);
extern const char* const ExportHelp;

}  // namespace glwtool
