#pragma once

#include <filesystem>
#include <string>

// The folders banks and their copies are written into. Paths are native
// (already encoded) file names.

// Makes the one missing folder a bank is written into (the card's bank
// folder, glwtool build's output folder): anything of that name counts as
// present (a plain file too, or a link, dangling or not: the later write
// then fails), otherwise that one level is made in a folder that must
// exist. *made (may be null) tells whether it was made here, so a failed
// write can take it away again. False when it cannot be made (read-only
// volume, volume gone, a path part not a folder), with the reason in *why
// (may be null): "folder PARENT does not exist" or "cannot create folder
// FOLDER: " and the system's.
[[nodiscard]] bool EnsureBankFolder(const std::filesystem::path& folder, bool* made = nullptr,
                                    std::string* why = nullptr);

// Makes folder and every missing folder above it (an extract's folder, the
// backups). False with the reason in *why (may be null): "PART is a file,
// not a folder" for the nearest part of the path that stands in the way,
// or the system's.
[[nodiscard]] bool MakeFolderPath(const std::filesystem::path& folder, std::string* why = nullptr);

// True when anything stands at path: a file, also one that cannot be
// opened for reading, a folder, or a link, dangling or not. True as well
// when the lookup fails for another reason than absence, so an existing
// bank is never replaced without asking.
[[nodiscard]] bool SomethingStandsAt(const std::string& path);
