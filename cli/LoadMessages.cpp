#include "cli/LoadMessages.h"

#include "audio/ReadFailure.h"

namespace glwtool {

std::string DescribeLoadFailure(const std::string& file, int code, const AudioData& record) {
    return file + ": " + DescribeReadFailure(file, code, record) + " (code " +
           std::to_string(code) + ")";
}

}  // namespace glwtool
