#pragma once

#include <string>

struct AudioData;

namespace glwtool {

// The one-line reason a load failed, as every command prints it:
// "<file>: <reason> (code <code>)", no trailing newline; the reason is
// DescribeReadFailure's.
[[nodiscard]] std::string DescribeLoadFailure(const std::string& file, int code,
                                              const AudioData& record);

}  // namespace glwtool
