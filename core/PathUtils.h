#pragma once

#include <string>

// Small helpers on absolute POSIX paths ('/' separators). A relative path
// always counts as missing; the root "/" counts as existing and is never
// created. A path of PATH_MAX characters or more is refused, never cut.

// Everything before the path's last '/': "/a/b" gives "/a", "/a/" gives
// "/a" and "/a" gives the root "/". Empty for an empty path, a path without
// '/' and the root itself.
[[nodiscard]] std::string GetParentPath(const std::string& path);

// Makes the directory path and every missing parent, parents first. One
// trailing '/' makes no difference. True when the directory exists
// afterwards; false otherwise (null, empty, relative or over-long path, a
// parent that cannot be made, a file in the way).
[[nodiscard]] bool CreateDirectoryTree(const char* path);

// True when path names an existing directory (or the root); false also for
// a null, empty, relative or over-long path.
[[nodiscard]] bool DirectoryExists(const char* path);

// True when path, with its terminator, fits the platform's PATH_MAX.
[[nodiscard]] bool FitsPathMax(const std::string& path);
