// GoogleTest main for tests that need a QApplication. CTest runs them on the
// offscreen platform; test discovery runs the binary without that
// environment, so it falls back to offscreen itself when none is chosen.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
