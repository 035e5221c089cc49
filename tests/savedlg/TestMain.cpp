#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest discovery) needs no display.
    std::unique_ptr<QApplication> app;
    if (!::testing::GTEST_FLAG(list_tests)) {
        app = std::make_unique<QApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
