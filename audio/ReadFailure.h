#pragma once

#include <string>

struct AudioData;

// Why a sound file could not be loaded, in plain words, for glwtool's lines
// and the window's message alike, e.g. "unsupported sample rate 32000 Hz; use
// 22050, 24000, 44100 or 48000". Never empty.
// path: the file (looked at on disk when the code alone cannot tell a missing
// file from a cut-short one); code: the reader's result, 0 for a file that
// read but held no frames; record: what the reader left (its channels,
// sampleRate and bitsPerSample name the format found).
[[nodiscard]] std::string DescribeReadFailure(const std::string& path, int code,
                                              const AudioData& record);

// Why a path cannot be read as a file, in plain words ("no such file", "is
// a folder, not a file", "cannot be opened: permission denied"); empty when
// it is a regular file that opens for reading.
[[nodiscard]] std::string DescribePathProblem(const std::string& path);
