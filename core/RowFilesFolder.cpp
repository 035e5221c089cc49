#include "core/RowFilesFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

constexpr const char* LockName = "/.lock";
constexpr std::time_t UnlockedGraceSeconds = 60;

// Opens name and takes its lock without waiting; -1 when it is held
// elsewhere or cannot be opened.
int TakeLock(const std::string& name, int flags) {
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsRowFolderName(const std::string& name) {
    const std::string prefix = RowFilesFolderPrefix;
    return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

bool HoldsAny(const std::string& folder, const std::vector<std::string>& keep) {
    for (const std::string& path : keep)
        if (path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/')
            return true;
    return false;
}

}  // namespace

RowFilesFolder::RowFilesFolder(std::string tempRoot) : m_tempRoot(std::move(tempRoot)) {}

RowFilesFolder::~RowFilesFolder() {
    if (m_path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    if (m_lockFd >= 0) ::close(m_lockFd);
}

std::string RowFilesFolder::Get() {
    const std::lock_guard making(m_makeMutex);
    {
        const std::lock_guard lock(m_pathMutex);
        if (!m_path.empty() || m_tempRoot.empty()) return m_path;
    }
    std::string name = m_tempRoot + '/' + RowFilesFolderPrefix + "XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) return {};
    m_lockFd = TakeLock(name + LockName, O_RDWR | O_CREAT | O_EXCL);
    if (m_lockFd < 0) {
        std::error_code ec;
        std::filesystem::remove_all(name, ec);
        return {};
    }
    const std::lock_guard lock(m_pathMutex);
    m_path = std::move(name);
    return m_path;
}

bool RowFilesFolder::Holds(const std::string& path) {
    const std::lock_guard lock(m_pathMutex);
    return !m_path.empty() && HoldsAny(m_path, {path});
}

int RemoveStaleRowFolders(const std::string& tempRoot, const std::vector<std::string>& keep) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(tempRoot, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string folder = it->path().string();
        struct stat info {};
        // Only this user's own folders, never through a link.
        if (!IsRowFolderName(name) || ::lstat(folder.c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || HoldsAny(folder, keep))
            continue;
        const int fd = TakeLock(folder + LockName, O_RDONLY);
        if (fd < 0) {
            struct stat lock {};
            // Held by a running window, or not locked yet.
            if (::lstat((folder + LockName).c_str(), &lock) == 0 ||
                std::time(nullptr) - info.st_mtime < UnlockedGraceSeconds)
                continue;
        }
        std::error_code gone;
        if (std::filesystem::remove_all(folder, gone) > 0 && !gone) ++removed;
        if (fd >= 0) ::close(fd);
    }
    return removed;
}
