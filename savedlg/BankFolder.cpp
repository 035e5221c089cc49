#include "savedlg/BankFolder.h"

#include <sys/stat.h>

#include <cerrno>

bool EnsureBankFolder(const std::string& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0) {
        return true;
    }
    // Default permissions, narrowed by the umask. EEXIST: it appeared meanwhile.
    return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

bool SomethingStandsAt(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return true;
    }
    // Nothing can stand where the path leads nowhere or cannot be named.
    return errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG;
}
