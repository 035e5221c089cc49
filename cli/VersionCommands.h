#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace glwtool {

// versions NAME: the kept copies of a bank name, newest first.
[[nodiscard]] int RunVersions(const std::vector<std::string>& args, std::ostream& out,
                              std::ostream& err);
// restore NAME [VERSION] CARD_ROOT: one copy written back to the card.
[[nodiscard]] int RunRestore(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err);

// The commands' entries for the dispatcher.
[[nodiscard]] Command VersionsCommand();
[[nodiscard]] Command RestoreCommand();

}  // namespace glwtool
