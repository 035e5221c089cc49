#pragma once

#include <QString>

#include <functional>
#include <memory>

class MainWindow;
class SingleInstance;

// Name of the per-user lock and socket that keep to one copy. Copies of
// every version look for each other under it: keep it.
inline constexpr const char* SingleInstanceName = "GLMWaveComposerApp";

// The profile file: <configHome>/Vantor/<appName>/<appName>.ini.
[[nodiscard]] QString ProfilePathFor(const QString& configHome, const QString& appName);

// Restores the window if minimised and brings it to the front, but only
// once its title is set (initialisation finished). token: the desktop's
// activation token from the asking copy (Wayland), may be empty. Returns
// true when the window was asked to come forward.
bool BringForward(MainWindow& window, const QString& token);

// Set-up added around the window by a build of the program for tests; what
// it returns is kept while the window runs.
using WindowExtras =
    std::function<std::shared_ptr<void>(MainWindow& window, SingleInstance& instance)>;

// The whole program: without a display it says so and returns 1; a later
// copy asks the first to come forward (and to open the bank named as the
// first argument, if any) and returns 0; the first copy makes
// the profile folder, builds the slot model and the window and runs the
// window until it closes, returning 0; a bank named as the first argument
// opens once the window shows. The Close button, Escape, SIGTERM,
// SIGHUP, SIGINT and the session's quit request all end it the same way:
// settings written, engine closed.
[[nodiscard]] int RunProgram(int argc, char** argv, const WindowExtras& extras = {});
