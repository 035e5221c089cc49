#pragma once

// A take as a file: stereo 32-bit float WAV at the input's rate, written
// safely (a temporary file, synced, read back, renamed). The window keeps
// its takes in the user data folder's "takes", named by date and row.

#include <ctime>
#include <string>
#include <vector>

namespace record {

// The user data folder's "takes"; empty when there is no user data folder.
[[nodiscard]] std::string TakesFolder();

// "2026-12-10 11.40.05 row 05.wav" in local time, for a take of row (0 ...
// 15); with a number (" 2") before ".wav" when that file exists already.
// Empty when folder is empty.
[[nodiscard]] std::string NewTakePath(const std::string& folder, int row, std::time_t when);

// path lies in TakesFolder(): a take the window recorded, which loads as
// converted whatever "Convert other formats" says (its 32-bit samples are
// beyond the strict reader).
[[nodiscard]] bool IsKeptTake(const std::string& path);

// Writes interleaved stereo frames as a 32-bit float WAV into an existing
// folder. False with *reason set when it could not be written.
[[nodiscard]] bool WriteTakeFile(const std::string& path, const std::vector<float>& stereo,
                                 int sampleRate, std::string* reason);

}  // namespace record
