#include "app/model/PathUtils.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstring>

bool FitsPathMax(const std::string& path) { return path.size() < static_cast<size_t>(PATH_MAX); }

std::string GetParentPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos || path == "/") return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool DirectoryExists(const char* path) {
    if (path == nullptr || path[0] != '/') return false;
    if (!FitsPathMax(path)) return false;
    struct stat info {};
    if (stat(path, &info) != 0) return false;
    return S_ISDIR(info.st_mode);
}

bool CreateDirectoryTree(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    std::string dir(path);
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (DirectoryExists(dir.c_str())) return true;
    if (dir[0] != '/' || !FitsPathMax(dir)) return false;
    if (!CreateDirectoryTree(GetParentPath(dir).c_str())) return false;
    if (mkdir(dir.c_str(), 0777) == 0) return true;
    // Another process may have made it in the meantime.
    return errno == EEXIST && DirectoryExists(dir.c_str());
}
