// Fuzz target for the load with conversion: the strict reader, then the
// converter (libsndfile through bounded in-memory reads, libsoxr). Beyond
// "no crash": a record it accepts is one the rest of the system can trust,
// the same input always gives the same record, and a refusal keeps the
// strict reader's code.

#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "MemorySource.h"
#include "audio/AudioReader.h"
#include "convert/AudioConverter.h"
#include "convert/ConvertingReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto record = std::make_unique<AudioData>();
    static auto again = std::make_unique<AudioData>();
    std::memset(record.get(), 0, sizeof(AudioData));
    ConvertOutcome outcome;
    auto readConverting = [&](AudioData* into, ConvertOutcome* outcomeOf) {
        return testsupport::ReadFromMemory(data, size, [&](ByteSource& source) {
            return ReadAudioSourceConverting(source, into, HostLittleEndian, outcomeOf);
        });
    };
    const int code = readConverting(record.get(), &outcome);
    FuzzCheck(code >= -1 && code <= 8, "result code outside the table");
    if (code != ReadOk) {
        FuzzCheck(code == outcome.strictCode, "a refusal keeps the strict code");
        FuzzCheck(!outcome.converted && record->frames == 0, "a refusal leaves no sound");
        return 0;
    }
    const AudioData& d = *record;
    FuzzCheck(d.channels == 1 || d.channels == 2, "channels");
    FuzzCheck(d.frames > 0 && d.frames % 16 == 0 && d.frames <= MaxVoiceFrames, "frames");
    for (int32_t i = d.frames; i < MaxVoiceFrames; ++i)
        FuzzCheck(d.left[i] == 0 && d.right[i] == 0, "sample past frames");
    if (d.channels == 1)
        for (int32_t i = 0; i < d.frames; ++i) FuzzCheck(d.right[i] == 0, "mono right channel");
    if (!outcome.converted) {
        FuzzCheck(outcome.strictCode == ReadOk, "strict file not converted");
        return 0;
    }
    FuzzCheck(d.sampleRate >= ConvertMinRate && d.sampleRate <= ConvertMaxRate, "rate");
    FuzzCheck(d.bitsPerSample >= 0 && d.bitsPerSample <= 64, "bits");

    std::memset(again.get(), 0, sizeof(AudioData));
    FuzzCheck(readConverting(again.get(), nullptr) == ReadOk &&
                  std::memcmp(record.get(), again.get(), sizeof(AudioData)) == 0,
              "the same input gives the same record");
    return 0;
}
