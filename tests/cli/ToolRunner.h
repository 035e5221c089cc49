#pragma once

// Runs the built glwtool as a child process and collects what it printed.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// args: the arguments after the program name; scratch: a folder for the
// captured streams; cwd: the child's working folder (empty: this one's).
inline ToolRun RunGlwtool(const std::vector<std::string>& args, const std::string& scratch,
                          const std::string& cwd = {}) {
    const std::string outPath = scratch + "/.stdout";
    const std::string errPath = scratch + "/.stderr";
    std::vector<std::string> argv0 = {GLWTOOL_PATH};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv0) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    ToolRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, GLWTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            run.exitCode = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = Slurp(outPath);
    run.err = Slurp(errPath);
    return run;
}
