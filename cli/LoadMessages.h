#pragma once

#include <string>

struct AudioData;

namespace glwtool {

// Puts a sound file into a record the way a slot load does: the reader, then
// the 20 ms tail fade on both channels.
// path: the file; record: zero-filled by the caller; code: receives the
// reader's result (0 when the file was read).
// Returns 1 when the record holds the faded voice; 0 when the file cannot be
// read (*code nonzero) or read but holds no frames to fade (*code 0). On 0
// the record must be discarded.
[[nodiscard]] int LoadVoiceFile(const std::string& path, AudioData* record, int* code);

// The one-line reason a load failed, in plain words, as every command prints
// it: "<file>: <reason> (code <code>)", no trailing newline.
// file: the path as the user gave it (also looked at on disk when the code
// alone cannot tell a missing file from a cut-short one); code: the reader's
// result, 0 for a file that read but held no frames; record: the record the
// reader left (its channels, sampleRate and bitsPerSample name the format).
[[nodiscard]] std::string DescribeLoadFailure(const std::string& file, int code,
                                              const AudioData& record);

// Why a path cannot be read as a file, in plain words ("no such file", "is
// a folder, not a file", "cannot be opened: permission denied"); empty when
// it is a regular file that opens for reading.
[[nodiscard]] std::string DescribePathProblem(const std::string& path);

}  // namespace glwtool
