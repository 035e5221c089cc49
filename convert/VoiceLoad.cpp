#include "convert/VoiceLoad.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ByteSource.h"
#include "audio/RowMark.h"
#include "audio/SampleConversion.h"
#include "convert/AudioConverter.h"
#include "convert/ConvertingReader.h"

namespace {

constexpr int64_t kNoStart = std::numeric_limits<int64_t>::max();

// 1 ms before the first loud frame, never before the first frame; the
// first frame when nothing is loud.
int64_t BeforeFirstSound(int64_t loudFrame, int rate) {
    if (loudFrame < 0) return 0;
    return std::max<int64_t>(0, loudFrame - rate / 1000);
}

// Source frames a row with options takes at most; 0 for no limit.
int64_t LengthFrames(const VoiceOptions& options, int rate) {
    if (options.lengthNanoseconds <= 0) return 0;
    return std::max<int64_t>(1, StartFrameAt(options.lengthNanoseconds, rate));
}

// The strict reader's view of the file: the row from the chosen start.
// Returns the reader's code; *start receives the frame used.
int ReadStrict(ByteSource& source, const VoiceOptions& options, AudioData* record, int64_t* start,
               bool* pastEnd) {
    // The format first, without reading samples: the start needs the rate.
    SampleWindow probe;
    probe.startFrame = kNoStart;
    int code = ReadAudioSourceWindow(source, record, HostLittleEndian, &probe);
    if (code != ReadOk) return code;
    const int rate = record->sampleRate;
    *start = 0;
    if (options.start == VoiceOptions::Start::At) {
        *start = StartFrameAt(options.startNanoseconds, rate);
    } else if (options.start == VoiceOptions::Start::FirstSound) {
        SampleWindow scan;
        scan.scanOnly = true;
        code = ReadAudioSourceWindow(source, record, HostLittleEndian, &scan);
        if (code != ReadOk) return code;
        *start = BeforeFirstSound(scan.loudFrame, rate);
    }
    std::memset(record, 0, sizeof *record);
    SampleWindow window;
    window.startFrame = *start;
    window.frameLimit = LengthFrames(options, rate);
    code = ReadAudioSourceWindow(source, record, HostLittleEndian, &window);
    *pastEnd = code == ReadOk && window.startPastEnd;
    return code;
}

// The converter's view: true with the row from the chosen start.
bool ReadConverted(ByteSource& source, const VoiceOptions& options, AudioData* record,
                   int64_t* start, bool* pastEnd, std::string* reason) {
    ConvertWindow probe;
    probe.probeOnly = true;
    if (!ConvertAudioSourceWindow(source, record, &probe, reason)) return false;
    *start = 0;
    if (options.start == VoiceOptions::Start::At) {
        *start = StartFrameAt(options.startNanoseconds, probe.sampleRate);
    } else if (options.start == VoiceOptions::Start::FirstSound) {
        ConvertWindow scan;
        scan.scanOnly = true;
        if (!ConvertAudioSourceWindow(source, record, &scan, reason)) return false;
        *start = BeforeFirstSound(scan.loudFrame, probe.sampleRate);
    }
    ConvertWindow window;
    window.startFrame = *start;
    window.frameLimit = LengthFrames(options, probe.sampleRate);
    const bool ok = ConvertAudioSourceWindow(source, record, &window, reason);
    *pastEnd = !ok && window.startPastEnd;
    return ok;
}

// Scales the made row so its largest magnitude is the level's; silence
// stays silence. Rounded to the nearest value, halves away from zero.
bool NormalizeRow(AudioData* record, double dbfs) {
    const auto frames = static_cast<size_t>(std::clamp(record->frames, 0, MaxVoiceFrames));
    const bool stereo = record->channels == 2;
    int peak = 0;
    for (size_t i = 0; i < frames; ++i) {
        peak = std::max(peak, std::abs(int{record->left[i]}));
        if (stereo) peak = std::max(peak, std::abs(int{record->right[i]}));
    }
    if (peak == 0) return false;
    const auto target = static_cast<double>(std::lround(32767.0 * std::pow(10.0, dbfs / 20.0)));
    const double gain = target / peak;
    auto scale = [gain](int16_t s) {
        return static_cast<int16_t>(std::clamp<long>(std::lround(s * gain), -32768, 32767));
    };
    for (size_t i = 0; i < frames; ++i) {
        record->left[i] = scale(record->left[i]);
        if (stereo) record->right[i] = scale(record->right[i]);
    }
    return true;
}

// The row of a file without options: a row file whose mark matches is kept
// as it stands, anything else is faded.
bool LoadWhole(ByteSource& source, bool convert, AudioData* record, VoiceLoadOutcome* outcome) {
    outcome->code = ReadStrictThenConverted(
        record, convert, &outcome->converter,
        [&](AudioData* r) { return ReadAudioSource(source, r, HostLittleEndian); },
        [&](AudioData* r, std::string* reason) { return ConvertAudioSource(source, r, reason); });
    if (outcome->code != ReadOk) return false;
    // A row already made keeps its samples and its fade as they are.
    if (!outcome->converter.converted && FindRowMark(source, *record, &outcome->origin)) {
        outcome->exactRow = true;
        return true;
    }
    return FadeVoiceTail(record);
}

// The row's samples from the options' start, not yet normalised or faded.
// False when the file cannot be read or the start lies past its end.
bool ReadFromStart(ByteSource& source, const VoiceOptions& options, bool convert, AudioData* record,
                   VoiceLoadOutcome* outcome) {
    int64_t start = 0;
    bool pastEnd = false;
    outcome->code = ReadStrictThenConverted(
        record, convert, &outcome->converter,
        [&](AudioData* r) { return ReadStrict(source, options, r, &start, &pastEnd); },
        [&](AudioData* r, std::string* reason) {
            return ReadConverted(source, options, r, &start, &pastEnd, reason) || pastEnd;
        });
    if (outcome->code != ReadOk) return false;
    if (pastEnd) {
        outcome->converter.converted = false;
        outcome->startPastEnd = true;
        std::memset(record->left, 0, sizeof record->left);
        std::memset(record->right, 0, sizeof record->right);
        record->frames = 0;
        return false;
    }
    outcome->startFrame = start;
    return true;
}

// After the fade, so the row as stored measures at its target.
bool ApplyLoudness(const VoiceOptions& options, AudioData* record, VoiceLoadOutcome* outcome) {
    if (!options.loudness) return true;
    return ScaleRowToLoudness(record, options.loudnessLufs, &outcome->loudness);
}

}  // namespace

int64_t StartFrameAt(int64_t nanoseconds, int rate) {
    if (nanoseconds <= 0 || rate <= 0) return 0;
    // Whole seconds and the rest apart, so no product overflows 64 bits.
    constexpr int64_t kSecond = 1'000'000'000;
    return nanoseconds / kSecond * rate + nanoseconds % kSecond * rate / kSecond;
}

int64_t NanosecondsOfFrame(int64_t frame, int rate) {
    if (frame <= 0 || rate <= 0) return 0;
    // ceil(frame * 1e9 / rate): the first instant that falls in the frame.
    constexpr int64_t kSecond = 1'000'000'000;
    return frame / rate * kSecond + (frame % rate * kSecond + rate - 1) / rate;
}

bool FindFirstSound(const char* path, bool convert, int64_t* frame, int* sampleRate) {
    if (path == nullptr || frame == nullptr) return false;
    const auto source = FileSource::Open(path);
    const std::unique_ptr<AudioData> record(new (std::nothrow) AudioData());
    if (!source || !record) return false;
    int64_t loudFrame = -1;
    int rate = 0;
    ConvertOutcome ignored;
    const int code = ReadStrictThenConverted(
        record.get(), convert, &ignored,
        [&](AudioData* r) {
            SampleWindow scan;
            scan.scanOnly = true;
            const int c = ReadAudioSourceWindow(*source, r, HostLittleEndian, &scan);
            loudFrame = scan.loudFrame;
            rate = r->sampleRate;
            return c;
        },
        [&](AudioData* r, std::string* reason) {
            ConvertWindow scan;
            scan.scanOnly = true;
            if (!ConvertAudioSourceWindow(*source, r, &scan, reason)) return false;
            loudFrame = scan.loudFrame;
            rate = scan.sampleRate;
            return true;
        });
    if (code != ReadOk) return false;
    *frame = BeforeFirstSound(loudFrame, rate);
    if (sampleRate != nullptr) *sampleRate = rate;
    return true;
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
    if (options.normalize && options.loudness) {
        outcome->code = ReadBadArgument;
        outcome->levelsConflict = true;
        return false;
    }
    // One open serves the whole load: the read, the mark check, the scan.
    const auto source = FileSource::Open(path);
    if (!source) {
        outcome->code = ReadShort;
        outcome->converter.strictCode = ReadShort;
        return false;
    }
    VoiceOptions shape = options;  // how the row is cut and levelled, apart from its loudness
    shape.loudness = false;
    if (shape.IsDefault())
        return LoadWhole(*source, convert, record, outcome) &&
               ApplyLoudness(options, record, outcome);
    if (!ReadFromStart(*source, options, convert, record, outcome)) return false;
    if (options.normalize) {
        const double level = std::clamp(options.normalizeDbfs, NormalizeMinDbfs, NormalizeMaxDbfs);
        outcome->normalized = NormalizeRow(record, level);
    }
    return FadeVoiceTail(record) && ApplyLoudness(options, record, outcome);
}
