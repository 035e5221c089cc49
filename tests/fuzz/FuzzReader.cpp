// Fuzz target for the audio reader, over bytes in memory. Beyond "no crash":
// whatever the reader accepts must be a record the rest of the system can
// trust.

#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "MemorySource.h"
#include "audio/AudioReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto record = std::make_unique<AudioData>();
    std::memset(record.get(), 0, sizeof(AudioData));
    const int code = testsupport::ReadFromMemory(data, size, [](ByteSource& source) {
        return ReadAudioSource(source, record.get(), HostLittleEndian);
    });
    FuzzCheck(code >= -1 && code <= 8, "result code outside the table");
    if (code != ReadOk) return 0;

    const AudioData& d = *record;
    FuzzCheck(d.channels == 1 || d.channels == 2, "channels");
    FuzzCheck(d.bitsPerSample == 8 || d.bitsPerSample == 16, "bits");
    const int32_t rate = d.sampleRate;
    FuzzCheck(rate == 22050 || rate == 24000 || rate == 44100 || rate == 48000, "rate");
    FuzzCheck(d.frames > 0 && d.frames % 16 == 0 && d.frames <= MaxVoiceFrames, "frames");
    for (int32_t i = d.frames; i < MaxVoiceFrames; ++i)
        FuzzCheck(d.left[i] == 0 && d.right[i] == 0, "sample past frames");
    if (d.channels == 1)
        for (int32_t i = 0; i < d.frames; ++i) FuzzCheck(d.right[i] == 0, "mono right channel");
    // An 8-bit source only ever yields multiples of 256 before resampling;
    // at 44,100 Hz nothing is interpolated.
    if (d.bitsPerSample == 8 && rate == 44100)
        for (int32_t i = 0; i < d.frames; ++i) FuzzCheck(d.left[i] % 256 == 0, "8-bit scaling");
    return 0;
}
