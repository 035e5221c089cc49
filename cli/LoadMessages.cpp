#include "cli/LoadMessages.h"

#include "audio/AudioReader.h"
#include "audio/ReadFailure.h"
#include "audio/SampleConversion.h"

namespace glwtool {

bool LoadVoiceFile(const std::string& path, AudioData* record, int* code) {
    if (record == nullptr || code == nullptr) return false;
    *code = ReadAudioFile(path.c_str(), record, HostLittleEndian);
    if (*code != ReadOk) return false;
    return FadeVoiceTail(record);
}

std::string DescribeLoadFailure(const std::string& file, int code, const AudioData& record) {
    return file + ": " + DescribeReadFailure(file, code, record) + " (code " +
           std::to_string(code) + ")";
}

}  // namespace glwtool
