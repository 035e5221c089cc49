#pragma once

#include <string>

// The folder and overwrite rules of saving a voice bank onto a volume.
// Paths are native (already encoded) file names.

// Makes sure something stands at folder: anything of that name counts as
// present (a plain file too; the later write then fails), otherwise the
// one folder level is made. True when present or made; false when it
// cannot be made (read-only volume, volume gone, a path part not a folder).
[[nodiscard]] bool EnsureBankFolder(const std::string& folder);

// True when anything stands at path: a file, also one that cannot be
// opened for reading, a folder, or a link, dangling or not. True as well
// when the lookup fails for another reason than absence, so an existing
// bank is never replaced without asking.
[[nodiscard]] bool SomethingStandsAt(const std::string& path);
