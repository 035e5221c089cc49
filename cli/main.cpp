// glwtool: builds, checks and unpacks voice banks from the command line, and
// plays sound files through the sound engine.

#include <iostream>
#include <string>
#include <vector>

#include "cli/CardCommands.h"
#include "cli/PlayCommand.h"
#include "cli/RecordCommand.h"
#include "cli/Tool.h"
#include "cli/VersionCommands.h"
#include "core/CardBanks.h"

int main(int argc, char** argv) {
    KeepFreedBankBuffers();  // card ls reads and checks every bank of a card
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<glwtool::Command> commands = glwtool::CoreCommands();
    commands.push_back(glwtool::PlayCommand());
    commands.push_back(glwtool::VersionsCommand());
    commands.push_back(glwtool::RestoreCommand());
    commands.push_back(glwtool::CardCommand());
    commands.push_back(glwtool::RecordCommand());
    const int code = glwtool::RunTool(commands, args, std::cout, std::cerr);
    std::cout.flush();
    return std::cout.good() ? code : glwtool::ExitFailure;
}
