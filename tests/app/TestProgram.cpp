// The program's test build: the installed program plus the test hooks.
#include "TestHooks.h"
#include "app/Application.h"
#include "controls/MessageBox.h"

int main(int argc, char** argv) {
    return RunProgram(argc, argv, [](MainWindow& window, SingleInstance& instance) {
        return std::shared_ptr<void>(InstallTestHooks(window, instance));
    });
}
