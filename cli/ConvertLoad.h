#pragma once

#include <string>

struct AudioData;
struct ConvertOutcome;

namespace glwtool {

// LoadVoiceFile with the converter behind the strict reader (--convert): a
// file the strict reader takes is loaded exactly as LoadVoiceFile loads it;
// one it refuses is converted when the converter can read it. Then the
// 20 ms tail fade. code: the strict reader's result when neither could read
// the file, else 0. Returns true when the record holds the faded voice.
[[nodiscard]] bool LoadVoiceFileConverting(const std::string& path, AudioData* record, int* code,
                                           ConvertOutcome* outcome);

// DescribeLoadFailure's line, followed by the converter's reason when it
// tried the file too.
[[nodiscard]] std::string DescribeConvertFailure(const std::string& file, int code,
                                                 const AudioData& record,
                                                 const ConvertOutcome& outcome);

// "stereo, 96000 Hz 24-bit, converted, ": the format part of a row's line
// (the sample size is left out when the source has none, as Ogg Vorbis).
[[nodiscard]] std::string DescribeRowFormat(const AudioData& record, bool converted);

}  // namespace glwtool
