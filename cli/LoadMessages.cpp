#include "cli/LoadMessages.h"

#include "audio/ReadFailure.h"
#include "cli/Tool.h"

namespace glwtool {

std::string DescribeLoadFailure(const std::string& file, int code, const AudioData& record) {
    return Printable(file) + ": " + DescribeReadFailure(file, code, record) + " (code " +
           std::to_string(code) + ")";
}

}  // namespace glwtool
