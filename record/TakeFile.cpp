#include "record/TakeFile.h"

#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "audio/RiffBytes.h"
#include "core/UserData.h"
#include "voicebank/VoiceBankBuilder.h"

namespace record {

namespace {

constexpr uint16_t FormatFloat = 3;  // WAVE_FORMAT_IEEE_FLOAT
constexpr uint16_t Channels = 2;
constexpr uint16_t BitsPerSample = 32;

}  // namespace

std::string TakesFolder() {
    const std::string data = UserDataFolder();
    return data.empty() ? std::string() : data + "/takes";
}

std::string NewTakePath(const std::string& folder, int row, std::time_t when) {
    if (folder.empty()) return {};
    std::tm local{};
    (void)localtime_r(&when, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d.%02d.%02d row %02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, row + 1);
    std::string path = folder + "/" + stamp + ".wav";
    for (int n = 2; access(path.c_str(), F_OK) == 0; ++n)
        path = folder + "/" + stamp + " " + std::to_string(n) + ".wav";
    return path;
}

bool IsKeptTake(const std::string& path) {
    const std::string folder = TakesFolder();
    return !folder.empty() && path.size() > folder.size() + 1 &&
           path.compare(0, folder.size() + 1, folder + "/") == 0;
}

bool WriteTakeFile(const std::string& path, const std::vector<float>& stereo, int sampleRate,
                   std::string* reason) {
    const uint64_t dataBytes = stereo.size() * sizeof(float);
    // RIFF sizes are 32-bit; a take is seconds long, far below.
    if (sampleRate <= 0 || dataBytes > UINT32_MAX - 64) {
        if (reason != nullptr) *reason = "the take is too long for a WAV file";
        return false;
    }
    const auto rate = static_cast<uint32_t>(sampleRate);
    const uint16_t blockAlign = Channels * BitsPerSample / 8;
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(dataBytes) + 58);
    AppendTag(bytes, "RIFF");
    AppendLe(bytes, static_cast<uint32_t>(4 + 26 + 12 + 8 + dataBytes), 4);
    AppendTag(bytes, "WAVE");
    // A format other than integer PCM has the extension size and a "fact"
    // chunk with the frame count.
    AppendTag(bytes, "fmt ");
    AppendLe(bytes, 18, 4);
    AppendLe(bytes, FormatFloat, 2);
    AppendLe(bytes, Channels, 2);
    AppendLe(bytes, rate, 4);
    AppendLe(bytes, rate * blockAlign, 4);
    AppendLe(bytes, blockAlign, 2);
    AppendLe(bytes, BitsPerSample, 2);
    AppendLe(bytes, 0, 2);
    AppendTag(bytes, "fact");
    AppendLe(bytes, 4, 4);
    AppendLe(bytes, static_cast<uint32_t>(stereo.size() / Channels), 4);
    AppendTag(bytes, "data");
    AppendLe(bytes, static_cast<uint32_t>(dataBytes), 4);
    const size_t at = bytes.size();
    bytes.resize(at + static_cast<size_t>(dataBytes));
    // The samples go out little-endian, as the host holds them here.
    static_assert(std::endian::native == std::endian::little);
    if (dataBytes > 0)
        std::memcpy(bytes.data() + at, stereo.data(), static_cast<size_t>(dataBytes));
    WriteFailure failure;
    if (WriteWholeFile(path.c_str(), bytes.data(), static_cast<ptrdiff_t>(bytes.size()), &failure))
        return true;
    if (reason != nullptr) *reason = failure.reason;
    return false;
}

}  // namespace record
