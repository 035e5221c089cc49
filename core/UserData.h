#pragma once

#include <string>

// The program's own folder in the user's data home, shared by the window
// and glwtool: opened banks' rows ("banks"), dropped row files ("rows") and
// the kept bank copies ("backups") live below it.
inline constexpr const char* UserDataSubfolder = "Vantor/gridlume-voice-manager";

// $XDG_DATA_HOME (else $HOME/.local/share), then the subfolder; empty when
// neither variable names an absolute folder.
[[nodiscard]] std::string UserDataFolder();
