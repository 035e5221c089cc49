#include "audio/ReadFailure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"

namespace {

// One reason per reader code; "{}" stands for the format value found.
struct Reason {
    int code;
    const char* text;
};

constexpr Reason kReasons[] = {
    {ReadOk, "holds no sound frames to load"},
    {ReadBadArgument,
     "too little sound data to convert (less than one frame, or fewer than 4 frames at a rate "
     "other than 44100 Hz)"},
    {ReadNotRecognised, "not a WAV or AIFF file (it does not begin with RIFF or FORM)"},
    {ReadShort, "the file ends before its chunk sizes say (cut short or damaged)"},
    {ReadWaveStructure,
     "damaged or unusual WAV file: \"RIFF\", \"WAVE\" and \"fmt \" must open the file, in "
     "that order"},
    {ReadAiffStructure,
     "damaged or unsupported AIFF file: it must be FORM AIFF (not compressed AIFC) with a COMM "
     "chunk before its SSND chunk"},
    {ReadBadChannels, "unsupported channel count {}; use 1 (mono) or 2 (stereo)"},
    {ReadBadSampleSize, "unsupported sample size {} bits; use 8 or 16"},
    {ReadBadSampleRate, "unsupported sample rate {} Hz; use 22050, 24000, 44100 or 48000"},
    {ReadNoMemory, "not enough memory to read it"},
};

constexpr const char* kUnknownReason = "cannot be loaded";

// The format value a reason names: what the reader found in the file.
long long FoundValue(int code, const AudioData& record) {
    switch (code) {
    case ReadBadChannels: return record.channels;
    case ReadBadSampleSize: return record.bitsPerSample;
    case ReadBadSampleRate: return record.sampleRate;
    default: return 0;
    }
}

// strerror's text with a lower-case first letter, to follow a colon.
std::string PlainError(int err) {
    std::string text = std::strerror(err);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

}  // namespace

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

std::string DescribeReadFailure(const std::string& path, int code, const AudioData& record) {
    // Both codes also stand for a path that is no readable file.
    if (code == ReadNotRecognised || code == ReadShort) {
        if (std::string why = DescribePathProblem(path); !why.empty()) return why;
    }
    for (const Reason& reason : kReasons) {
        if (reason.code != code) continue;
        std::string text = reason.text;
        if (const size_t at = text.find("{}"); at != std::string::npos)
            text.replace(at, 2, std::to_string(FoundValue(code, record)));
        return text;
    }
    return kUnknownReason;
}
