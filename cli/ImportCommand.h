#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace glwtool {

// import KIT.sfz|KIT.dspreset OUT.glw [--convert]
[[nodiscard]] int RunImport(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err);
extern const char* const ImportHelp;

}  // namespace glwtool
