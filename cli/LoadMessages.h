#pragma once

#include <string>

struct AudioData;

namespace glwtool {

// Puts a sound file into a record the way a slot load does: the reader, then
// the 20 ms tail fade on both channels.
// path: the file; record: zero-filled by the caller; code: receives the
// reader's result (0 when the file was read).
// Returns true when the record holds the faded voice; false when the file
// cannot be read (*code nonzero) or read but holds no frames to fade (*code
// 0). On false the record must be discarded.
[[nodiscard]] bool LoadVoiceFile(const std::string& path, AudioData* record, int* code);

// The one-line reason a load failed, as every command prints it:
// "<file>: <reason> (code <code>)", no trailing newline; the reason is
// DescribeReadFailure's.
[[nodiscard]] std::string DescribeLoadFailure(const std::string& file, int code,
                                              const AudioData& record);

}  // namespace glwtool
