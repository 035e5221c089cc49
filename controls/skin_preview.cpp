// skin-preview OUT.png: renders the main panel as a fresh start shows it
// (background, every control at its place, every row empty, Save disabled)
// into a PNG, for reviewing the skin without starting the program.
#include <QApplication>
#include <QPixmap>

#include <cstdio>

#include "controls/SlotPanel.h"

int main(int argc, char** argv) {
    // The panel is rendered, never shown: the offscreen platform gives the
    // same 640 x 640 picture on any machine, with or without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-preview OUT.png\n");
        return 2;
    }
    // The window's own panel, laid out as the window lays it out.
    SlotPanel panel;
    if (!panel.ShowFreshStart()) {
        std::fprintf(stderr, "skin-preview: a skin bitmap is missing\n");
        return 1;
    }
    panel.LayoutControls();
    QPixmap shot = panel.grab();
    shot.setDevicePixelRatio(1.0);
    if (!shot.toImage()
             .convertToFormat(QImage::Format_RGB32)
             .save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "skin-preview: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
