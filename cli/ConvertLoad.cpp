#include "cli/ConvertLoad.h"

#include "audio/AudioData.h"
#include "cli/LoadMessages.h"
#include "convert/ConvertingReader.h"

namespace glwtool {

std::string DescribeConvertFailure(const std::string& file, int code, const AudioData& record,
                                   const ConvertOutcome& outcome) {
    const std::string line = DescribeLoadFailure(file, code, record);
    const std::string converter = DescribeConverterRefusal(outcome);
    return converter.empty() ? line : line + "; " + converter;
}

std::string DescribeRowFormat(const AudioData& record, bool converted) {
    std::string text = record.channels == 2 ? "stereo, " : "mono, ";
    text += std::to_string(record.sampleRate);
    text += " Hz";
    if (record.bitsPerSample > 0) {
        text += ' ';
        text += std::to_string(record.bitsPerSample);
        text += "-bit";
    }
    text += converted ? ", converted, " : ", ";
    return text;
}

}  // namespace glwtool
