#include "cli/WaveFileWriter.h"

#include "audio/AudioData.h"
#include "voicebank/VoiceBankBuilder.h"

namespace glwtool {

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

std::vector<uint8_t> MakePcmWave(const AudioData& record) {
    const int channels = record.channels;
    if ((channels != 1 && channels != 2) || record.frames < 0 || record.frames > MaxVoiceFrames)
        return {};
    constexpr uint32_t rate = 44100;
    const auto ch = static_cast<uint32_t>(channels);
    const uint32_t dataBytes = static_cast<uint32_t>(record.frames) * ch * 2u;
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    PutTag(out, "RIFF");
    PutLe(out, 36 + dataBytes, 4);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);  // PCM
    PutLe(out, ch, 2);
    PutLe(out, rate, 4);
    PutLe(out, rate * ch * 2u, 4);  // byte rate
    PutLe(out, ch * 2u, 2);         // block alignment
    PutLe(out, 16, 2);
    PutTag(out, "data");
    PutLe(out, dataBytes, 4);
    for (int32_t i = 0; i < record.frames; ++i) {
        PutLe(out, static_cast<uint16_t>(record.left[i]), 2);
        if (channels == 2) PutLe(out, static_cast<uint16_t>(record.right[i]), 2);
    }
    return out;
}

bool WritePcmWave(const std::string& path, const AudioData& record) {
    const std::vector<uint8_t> bytes = MakePcmWave(record);
    if (bytes.empty()) return false;
    return WriteWholeFile(path.c_str(), bytes.data(), static_cast<ptrdiff_t>(bytes.size()));
}

}  // namespace glwtool
