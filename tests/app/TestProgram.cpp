// The program's test build: the installed program plus the test hooks,
// installed on the window once it is made and before it runs.
#include "BoxWatcher.h"
#include "TestHooks.h"
#include "app/Application.h"

int main(int argc, char** argv) {
    Program program(argc, argv);
    const int code = program.Start();
    if (code >= 0) return code;
    const auto hooks = InstallTestHooks(program.Window(), program.Instance());
    return program.Run();
}
