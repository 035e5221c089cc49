#include "core/PathUtils.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstring>

#include "voicebank/BankFolder.h"

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
    if (path == nullptr || path[0] != '/' || !FitsPathMax(path)) return false;
    return MakeFolderPath(path);
}
