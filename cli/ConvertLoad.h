#pragma once

#include <string>

struct AudioData;
struct ConvertOutcome;

namespace glwtool {

// DescribeLoadFailure's line, followed by the converter's reason when it
// tried the file too.
[[nodiscard]] std::string DescribeConvertFailure(const std::string& file, int code,
                                                 const AudioData& record,
                                                 const ConvertOutcome& outcome);

// "stereo, 96000 Hz 24-bit, converted, ": the format part of a row's line
// (the sample size is left out when the source has none, as Ogg Vorbis).
[[nodiscard]] std::string DescribeRowFormat(const AudioData& record, bool converted);

}  // namespace glwtool
