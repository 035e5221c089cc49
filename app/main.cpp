#include <QApplication>

#include <cstdio>

#include "app/WaveComposerApp.h"

namespace {

// Without a display Qt would abort; say what to do instead.
bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fputs("gridlume-voice-manager: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "The window needs an X11 or Wayland desktop; without one, use glwtool "
                   "to build, check and play voice banks (glwtool --help).\n",
                   stderr);
        return 1;
    }
    // Whole-number scaling keeps the bitmap skin crisp.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication application(argc, argv);
    // Must match the installed desktop file, or Wayland shows no icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vantor.GridlumeVoiceManager"));
    CWaveComposerApp composer;
    return composer.InitInstance();
}
