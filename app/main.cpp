#include <QApplication>

#include "app/WaveComposerApp.h"

int main(int argc, char** argv) {
    // Whole-number scaling keeps the bitmap skin crisp.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication application(argc, argv);
    // Must match the installed desktop file, or Wayland shows no icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("gridlume-voice-manager"));
    CWaveComposerApp composer;
    return composer.InitInstance();
}
