#pragma once

#include <QString>

class CWaveComposerDlg;

// The application: one copy per user, the per-user profile, and the main
// window run modally as the program's only loop.
class CWaveComposerApp {
public:
    // Name of the per-user lock and socket that keep to one copy.
    static constexpr const char* InstanceName = "GLMWaveComposerApp";

    CWaveComposerApp() = default;

    // Runs the whole program on the running QApplication: a later copy asks
    // the first to come forward and returns at once; the first copy makes
    // the profile folder and runs the main window until it closes. Returns
    // the process exit code (0).
    [[nodiscard]] int InitInstance();

    // The profile file: <configHome>/Vantor/<appName>/<appName>.ini.
    [[nodiscard]] static QString ProfilePathFor(const QString& configHome, const QString& appName);

    // Restores the window if minimised and brings it to the front, but only
    // once its title is set (initialisation finished). token: the desktop's
    // activation token from the asking copy (Wayland), may be empty.
    // Returns true when the window was asked to come forward.
    static bool BringForward(CWaveComposerDlg& window, const QString& token);
};
