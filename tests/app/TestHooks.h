#pragma once

#include <memory>

class MainWindow;
class SingleInstance;
namespace testsupport {
class BoxWatcher;
}

// Hooks of the program's test build (gridlume-voice-manager-testbuild), for
// tests that run it as a child process; the installed program has none.
// Switched on by environment variables (its arguments are the program's):
//
//   GLW_TEST_EVENT_LOG=<file>   appends one JSON object per line: "mapped"
//       (ms: milliseconds from the process's start to the first show),
//       "shown" once the rows restored at start are in (position, client size, title, slot paths,
//       row states, labels and their tooltips and the process's resident memory), "message" (a
//       message box's string id; each box is answered as soon as it is up: Cancel
//       when it has one, else OK), "come-forward"
//       and "closed" (the result).
//   GLW_TEST_CLOSE_WHEN_SHOWN=escape|close   ends the window once shown,
//       as Escape or as the title bar's close button would.
//   GLW_TEST_MINIMIZE_WHEN_SHOWN=1   minimises the window once shown.
//   GLW_TEST_CLOSE_AFTER_COME_FORWARD=1   ends the window (Escape) after
//       the first request from a later copy.
//   GLW_TEST_CLEAR_ROW_WHEN_SHOWN=<slot>   clears that slot's row once
//       shown, before "shown" is logged.
//
// Without these variables nothing is installed. Keep the result (what
// answers the boxes, or null) while the window runs.
[[nodiscard]] std::unique_ptr<testsupport::BoxWatcher> InstallTestHooks(MainWindow& window,
                                                                        SingleInstance& instance);
