#include "cli/ConvertLoad.h"

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"
#include "cli/LoadMessages.h"
#include "convert/ConvertingReader.h"

namespace glwtool {

bool LoadVoiceFileConverting(const std::string& path, AudioData* record, int* code,
                             ConvertOutcome* outcome) {
    if (record == nullptr || code == nullptr || outcome == nullptr) return false;
    *code = ReadAudioFileConverting(path.c_str(), record, HostLittleEndian, outcome);
    if (*code != ReadOk) return false;
    return FadeVoiceTail(record);
}

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
