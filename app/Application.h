#pragma once

#include <QString>

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

// The whole program in its steps, for a build that adds to the window
// before it runs (the program's test build); RunProgram takes them all.
class Program {
public:
    Program(int argc, char** argv);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Without a display it says so and returns 1; a later copy asks the
    // first to come forward (and to open the bank named as the first
    // argument, if any) and returns 0. The first copy makes the profile
    // folder, builds the slot model and the window (Window) and returns -1.
    [[nodiscard]] int Start();
    // Made by Start when it returned -1.
    [[nodiscard]] MainWindow& Window();
    [[nodiscard]] SingleInstance& Instance();
    // Runs the window until it closes, returning 0; a bank named as the
    // first argument opens once the window shows. The Close button, Escape,
    // SIGTERM, SIGHUP, SIGINT and the session's quit request all end it the
    // same way: settings written, engine closed.
    [[nodiscard]] int Run();

private:
    struct Parts;
    int m_argc;
    char** m_argv;
    std::unique_ptr<Parts> m_parts;
};

// Start, then Run when the window was made.
[[nodiscard]] int RunProgram(int argc, char** argv);
