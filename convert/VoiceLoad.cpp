#include "convert/VoiceLoad.h"

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"

int64_t StartFrameAt(int64_t nanoseconds, int rate) {
    if (nanoseconds <= 0 || rate <= 0) return 0;
    const auto product = static_cast<unsigned __int128>(nanoseconds) * static_cast<unsigned>(rate);
    return static_cast<int64_t>(product / 1'000'000'000u);
}

int64_t NanosecondsOfFrame(int64_t frame, int rate) {
    if (frame <= 0 || rate <= 0) return 0;
    // ceil(frame * 1e9 / rate): the first instant that falls in the frame.
    const auto scaled = static_cast<unsigned __int128>(frame) * 1'000'000'000u;
    const auto r = static_cast<unsigned>(rate);
    return static_cast<int64_t>((scaled + r - 1) / r);
}

bool LoadVoice(const char* path, const VoiceOptions& options, bool convert, AudioData* record,
               VoiceLoadOutcome* outcome) {
    VoiceLoadOutcome ignored;
    if (outcome == nullptr) outcome = &ignored;
    *outcome = {};
    if (path == nullptr || record == nullptr) {
        outcome->code = ReadBadArgument;
        return false;
    }
    outcome->code =
        convert ? ReadAudioFileConverting(path, record, HostLittleEndian, &outcome->converter)
                : ReadAudioFile(path, record, HostLittleEndian);
    if (outcome->code != ReadOk) return false;
    // A row already made keeps its samples and its fade as they are.
    if (options.IsDefault() && !outcome->converter.converted &&
        FindRowMark(path, *record, &outcome->origin)) {
        outcome->exactRow = true;
        return true;
    }
    return FadeVoiceTail(record);
}
