#include "cli/LoadMessages.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"

namespace glwtool {

int LoadVoiceFile(const std::string& path, AudioData* record, int* code) {
    if (record == nullptr || code == nullptr) return 0;
    *code = ReadAudioFile(path.c_str(), record, HostLittleEndian);
    if (*code != ReadOk) return 0;
    return FadeVoiceTail(record) == 1 ? 1 : 0;
}

namespace {

// Code 2 covers both a file that cannot be opened and one cut short; the
// file system tells them apart.
std::string DescribeUnreadable(const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (!fs::exists(st)) return "no such file";
    if (fs::is_directory(st)) return "is a folder, not a sound file";
    if (!fs::is_regular_file(st)) return "is not a regular file";
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        return "the file ends before its chunk sizes say (cut short or damaged)";
    }
    return "cannot be opened (no permission to read it)";
}

std::string DescribeReason(const std::string& file, int code, const AudioData& record) {
    switch (code) {
    case ReadOk:
        return "holds no sound frames to load";
    case ReadBadArgument:
        return "too little sound data to convert (less than one frame, or fewer than 4 frames "
               "at a rate other than 44100 Hz)";
    case ReadNotRecognised:
        if (std::filesystem::is_directory(file)) return "is a folder, not a sound file";
        return "not a WAV or AIFF file (it does not begin with RIFF or FORM)";
    case ReadShort:
        return DescribeUnreadable(file);
    case ReadWaveStructure:
        return "damaged or unusual WAV file: \"RIFF\", \"WAVE\" and \"fmt \" must open the "
               "file, in that order";
    case ReadAiffStructure:
        return "damaged or unsupported AIFF file: it must be FORM AIFF (not compressed AIFC) "
               "with a COMM chunk before its SSND chunk";
    case ReadBadChannels:
        return "unsupported channel count " + std::to_string(record.channels) +
               "; use 1 (mono) or 2 (stereo)";
    case ReadBadSampleSize:
        return "unsupported sample size " + std::to_string(record.bitsPerSample) +
               " bits; use 8 or 16";
    case ReadBadSampleRate:
        return "unsupported sample rate " + std::to_string(record.sampleRate) +
               " Hz; use 22050, 24000, 44100 or 48000";
    case ReadNoMemory:
        return "not enough memory to read it";
    default:
        return "cannot be loaded";
    }
}

}  // namespace

std::string DescribeLoadFailure(const std::string& file, int code, const AudioData& record) {
    return file + ": " + DescribeReason(file, code, record) + " (code " + std::to_string(code) +
           ")";
}

}  // namespace glwtool
