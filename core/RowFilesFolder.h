#pragma once

// Where rows taken out of the window (dragged out as WAV files) are
// written: one temporary folder per running window, named
// "gridlume-voice-manager-XXXXXX", held by a lock on its ".lock" file while
// the window runs and removed when it ends. A folder left by a window that
// died holds no lock; the next window removes it.

#include <mutex>
#include <string>
#include <vector>

inline constexpr const char* RowFilesFolderPrefix = "gridlume-voice-manager-";

class RowFilesFolder {
public:
    // tempRoot: the system's temporary folder (absolute).
    explicit RowFilesFolder(std::string tempRoot);
    // Removes the folder and what it holds.
    ~RowFilesFolder();
    RowFilesFolder(const RowFilesFolder&) = delete;
    RowFilesFolder& operator=(const RowFilesFolder&) = delete;

    // The folder, made and locked on first use by any thread; empty when it
    // cannot be made.
    [[nodiscard]] std::string Get();
    // path lies inside the folder (once made).
    [[nodiscard]] bool Holds(const std::string& path);

private:
    std::mutex m_makeMutex;  // held while the folder is made
    std::mutex m_pathMutex;  // held only to read or set m_path, so Holds never waits on a file
    std::string m_tempRoot;
    std::string m_path;
    int m_lockFd = -1;
};

// Removes this user's row folders below tempRoot that no running window
// holds. Left alone: a folder that holds a file of keep (rows of the
// profile still refer to it) and one without a lock file made less than a
// minute ago (a window may be about to lock it). Returns how many went.
int RemoveStaleRowFolders(const std::string& tempRoot, const std::vector<std::string>& keep);
