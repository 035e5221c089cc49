#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Tool.h"

namespace glwtool {

// card COMMAND CARD_ROOT ...: the card's banks as a whole (ls, cp, mv, rm,
// backup, restore, diff), each with its own --help.
[[nodiscard]] int RunCard(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err);

// The command's entry for the dispatcher.
[[nodiscard]] Command CardCommand();

}  // namespace glwtool
