#include "cli/LoadMessages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"

namespace glwtool {

namespace {

// strerror's text with a lower-case first letter, to follow a colon.
std::string PlainError(int err) {
    std::string text = std::strerror(err);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

}  // namespace

int LoadVoiceFile(const std::string& path, AudioData* record, int* code) {
    if (record == nullptr || code == nullptr) return 0;
    *code = ReadAudioFile(path.c_str(), record, HostLittleEndian);
    if (*code != ReadOk) return 0;
    return FadeVoiceTail(record) == 1 ? 1 : 0;
}

std::string DescribePathProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) return "no such file";
        return "cannot be opened: " + PlainError(err);
    }
    if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot be opened: " + PlainError(errno);
    ::close(fd);
    return {};
}

namespace {

std::string DescribeReason(const std::string& file, int code, const AudioData& record) {
    switch (code) {
    case ReadOk:
        return "holds no sound frames to load";
    case ReadBadArgument:
        return "too little sound data to convert (less than one frame, or fewer than 4 frames "
               "at a rate other than 44100 Hz)";
    case ReadNotRecognised:
    case ReadShort:
        // Both codes also stand for a path that is no readable file.
        if (std::string why = DescribePathProblem(file); !why.empty()) return why;
        if (code == ReadNotRecognised)
            return "not a WAV or AIFF file (it does not begin with RIFF or FORM)";
        return "the file ends before its chunk sizes say (cut short or damaged)";
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
