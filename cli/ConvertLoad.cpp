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
    std::string line = DescribeLoadFailure(file, code, record);
    if (outcome.convertReason.empty()) return line;
    // libsndfile's messages are sentences; here they follow a colon.
    std::string why = outcome.convertReason;
    while (!why.empty() && (why.back() == '.' || why.back() == ' ')) why.pop_back();
    if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z' &&
        (why.size() < 2 || why[1] < 'A' || why[1] > 'Z'))
        why[0] = static_cast<char>(why[0] - 'A' + 'a');
    return line + "; the converter cannot read it either: " + why;
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
