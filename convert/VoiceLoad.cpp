#include "convert/VoiceLoad.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ByteSource.h"
#include "audio/RowMark.h"
#include "audio/SampleConversion.h"
#include "convert/AudioConverter.h"
#include "convert/ConvertingReader.h"
#include "convert/RowShape.h"
#include "convert/SoundSource.h"

namespace {

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

// Reads the row of the opened file from a source frame, taking at most
// limit source frames (0: up to the row limit); false when nothing lies
// there.
using WindowRead = std::function<bool(int64_t start, int64_t limit, AudioData* record)>;

// A row frame (44,100 Hz) of a source frame at rate, and back, rounded.
int64_t RowFrameOf(int64_t frame, int rate) { return (frame * 44100 + rate / 2) / rate; }
int64_t SourceFrameOf(int64_t frame, int rate) { return (frame * rate + 22050) / 44100; }

// Moves a start to the nearest zero crossing within 5 ms, read around it;
// a start with none near stays.
void SnapStart(int rate, const WindowRead& read, int64_t* start) {
    const int64_t reach = SnapReachFrames(rate);
    const int64_t from = std::max<int64_t>(0, *start - reach);
    const auto near = std::make_unique<AudioData>();
    if (reach == 0 || !read(from, *start - from + reach + 1, near.get())) return;
    const int64_t crossing = NearestZeroCrossing(*near, RowFrameOf(*start - from, rate),
                                                 SnapReachFrames(44100), SoundFrames(*near));
    if (crossing >= 0) *start = from + SourceFrameOf(crossing, rate);
}

// Where the options start the row in the opened file, in its frames.
// False when cancelled while looking for the first sound.
bool ChooseStart(SoundSource& sound, const VoiceOptions& options,
                 const std::atomic<bool>& cancelled, const WindowRead& read, int64_t* start) {
    const int rate = sound.Info().sampleRate;
    *start = 0;
    if (options.start == VoiceOptions::Start::At) {
        *start = StartFrameAt(options.startNanoseconds, rate);
    } else if (options.start == VoiceOptions::Start::FirstSound) {
        int64_t loudFrame = -1;
        if (!sound.FindLoudFrame(&loudFrame, cancelled)) return false;
        *start = BeforeFirstSound(loudFrame, rate);
    }
    if (options.snap && rate > 0) SnapStart(rate, read, start);
    return true;
}

// Source frames read for the row: its length, and 5 ms more when a snapped
// end may lie past it; 0 for no limit.
int64_t ReadLimit(const VoiceOptions& options, int rate) {
    const int64_t length = LengthFrames(options, rate);
    return length > 0 && options.snap ? length + SnapReachFrames(rate) + 1 : length;
}

// The strict reader's view of the file: the row from the chosen start.
// Returns the reader's code; *start receives the frame used.
int ReadStrict(SoundSource& sound, const VoiceOptions& options, const std::atomic<bool>& cancelled,
               AudioData* record, int64_t* start, bool* pastEnd) {
    const auto read = [&](int64_t from, int64_t limit, AudioData* r) {
        SampleWindow window;
        window.startFrame = from;
        window.frameLimit = limit;
        return ReadAudioSourceWindow(sound.Bytes(), r, HostLittleEndian, &window) == ReadOk &&
               !window.startPastEnd;
    };
    if (!ChooseStart(sound, options, cancelled, read, start)) return ReadBadArgument;
    SampleWindow window;
    window.startFrame = *start;
    window.frameLimit = ReadLimit(options, sound.Info().sampleRate);
    const int code = ReadAudioSourceWindow(sound.Bytes(), record, HostLittleEndian, &window);
    *pastEnd = code == ReadOk && window.startPastEnd;
    return code;
}

// The converter's view: true with the row from the chosen start.
bool ReadConverted(SoundSource& sound, const VoiceOptions& options,
                   const std::atomic<bool>& cancelled, AudioData* record, int64_t* start,
                   bool* pastEnd, std::string* reason) {
    const auto read = [&](int64_t from, int64_t limit, AudioData* r) {
        ConvertWindow window;
        window.startFrame = from;
        window.frameLimit = limit;
        std::string ignored;
        return ConvertAudioSourceWindow(sound.Bytes(), r, &window, &ignored);
    };
    if (!ChooseStart(sound, options, cancelled, read, start)) return false;
    ConvertWindow window;
    window.startFrame = *start;
    window.frameLimit = ReadLimit(options, sound.Info().sampleRate);
    const bool ok = ConvertAudioSourceWindow(sound.Bytes(), record, &window, reason);
    *pastEnd = !ok && window.startPastEnd;
    return ok;
}

// The strict-then-converter fallback over the opened file: the strict
// reader reads unless the converter serves the file already, and the
// converter takes over a file whose samples the strict reader could not
// read. readStrict and readConverted make the record as for
// ReadStrictThenConverted.
int ReadOpened(SoundSource& sound, bool convert, AudioData* record, ConvertOutcome* outcome,
               const std::function<int(AudioData*)>& readStrict,
               const std::function<bool(AudioData*, std::string*)>& readConverted) {
    return ReadStrictThenConverted(
        record, convert, outcome,
        [&](AudioData* r) {
            if (!sound.Converted()) return readStrict(r);
            r->channels = sound.Strict().channels;
            r->sampleRate = sound.Strict().sampleRate;
            r->bitsPerSample = sound.Strict().bitsPerSample;
            return sound.Strict().code;
        },
        [&](AudioData* r, std::string* reason) {
            return sound.UseConverter(reason) && readConverted(r, reason);
        });
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
bool LoadWhole(SoundSource& sound, bool convert, AudioData* record, VoiceLoadOutcome* outcome) {
    ByteSource& bytes = sound.Bytes();
    outcome->code = ReadOpened(
        sound, convert, record, &outcome->converter,
        [&](AudioData* r) { return ReadAudioSource(bytes, r, HostLittleEndian); },
        [&](AudioData* r, std::string* reason) { return ConvertAudioSource(bytes, r, reason); });
    if (outcome->code != ReadOk) return false;
    // A row already made keeps its samples and its fade as they are.
    if (!outcome->converter.converted && FindRowMark(bytes, *record, &outcome->origin)) {
        outcome->exactRow = true;
        return true;
    }
    return FadeVoiceTail(record);
}

// The row's samples from the options' start, not yet normalised or faded.
// False when the file cannot be read, the start lies past its end, or the
// load was cancelled.
bool ReadFromStart(SoundSource& sound, const VoiceOptions& options, bool convert,
                   const std::atomic<bool>& cancelled, AudioData* record,
                   VoiceLoadOutcome* outcome) {
    int64_t start = 0;
    bool pastEnd = false;
    outcome->code = ReadOpened(
        sound, convert, record, &outcome->converter,
        [&](AudioData* r) { return ReadStrict(sound, options, cancelled, r, &start, &pastEnd); },
        [&](AudioData* r, std::string* reason) {
            return ReadConverted(sound, options, cancelled, r, &start, &pastEnd, reason) || pastEnd;
        });
    if (cancelled.load()) {
        outcome->cancelled = true;
        outcome->code = ReadBadArgument;
        return false;
    }
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

// Where the row's part ends in its frames: after the length, or after the
// last sound, snapped; the frames read when neither sets an end.
int32_t ChooseEnd(const VoiceOptions& options, const AudioData& record) {
    const int32_t frames = SoundFrames(record);
    const int rate = record.sampleRate;
    const int64_t length = LengthFrames(options, rate);
    int32_t end = frames;
    if (length > 0 && rate > 0)
        end = static_cast<int32_t>(std::min<int64_t>(frames, RowFrameOf(length, rate)));
    if (options.endAtLastSound) end = EndAfterLastSound(record, end);
    if (options.snap && (length > 0 || options.endAtLastSound) && end > 0) {
        // The crossing becomes the row's last frame.
        const int64_t crossing =
            NearestZeroCrossing(record, end - 1, SnapReachFrames(44100), frames);
        if (crossing >= 0) end = static_cast<int32_t>(crossing + 1);
    }
    return end;
}

// A row cut at a start or to a length or end, pitched, reversed,
// normalised, faded and levelled, in that order.
bool LoadShaped(SoundSource& sound, const VoiceOptions& options, bool convert,
                const std::atomic<bool>& cancelled, AudioData* record, VoiceLoadOutcome* outcome) {
    if (!ReadFromStart(sound, options, convert, cancelled, record, outcome)) return false;
    if (options.endAtLastSound || options.snap) {
        const int32_t end = ChooseEnd(options, *record);
        if (end < record->frames) CutRowAt(record, end);
    }
    if (!PitchRow(record, std::clamp(options.pitchCents, -MaxPitchCents, MaxPitchCents)))
        return false;
    if (options.reverse) ReverseRow(record);
    if (options.normalize) {
        const double level = std::clamp(options.normalizeDbfs, NormalizeMinDbfs, NormalizeMaxDbfs);
        outcome->normalized = NormalizeRow(record, level);
    }
    FadeRowIn(record, FadeFramesOf(std::clamp(options.fadeInMs, 0, MaxFadeMs)));
    const int fadeOut = std::clamp(options.fadeOutMs, 0, MaxFadeMs);
    return FadeRowOut(record, FadeFramesOf(fadeOut), fadeOut != DefaultFadeOutMs) &&
           ApplyLoudness(options, record, outcome);
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

bool FindFirstSound(const char* path, bool convert, int64_t* frame, int* sampleRate,
                    const std::atomic<bool>& cancelled) {
    if (path == nullptr || frame == nullptr) return false;
    const auto sound = SoundSource::Open(path, convert, nullptr);
    int64_t loudFrame = -1;
    if (!sound || !sound->FindLoudFrame(&loudFrame, cancelled)) return false;
    const int rate = sound->Info().sampleRate;
    *frame = BeforeFirstSound(loudFrame, rate);
    if (sampleRate != nullptr) *sampleRate = rate;
    return true;
}

bool LoadVoice(const char* path, const VoiceOptions& options, bool convert, AudioData* record,
               VoiceLoadOutcome* outcome, const std::atomic<bool>& cancelled) {
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
    SoundRefusal refusal;
    const auto sound = SoundSource::Open(path, convert, &refusal);
    if (!sound) {
        outcome->code = refusal.strict.code;
        outcome->converter.strictCode = refusal.strict.code;
        outcome->converter.convertReason = refusal.convertReason;
        outcome->convertible = refusal.convertible;
        record->channels = refusal.strict.channels;
        record->sampleRate = refusal.strict.sampleRate;
        record->bitsPerSample = refusal.strict.bitsPerSample;
        return false;
    }
    VoiceOptions shape = options;  // how the row is cut and levelled, apart from its loudness
    shape.loudness = false;
    const bool made =
        shape.IsDefault()
            ? LoadWhole(*sound, convert, record, outcome) && ApplyLoudness(options, record, outcome)
            : LoadShaped(*sound, options, convert, cancelled, record, outcome);
    // Without convert, a file the strict reader could not read is offered
    // for conversion when the converter would take it.
    if (!made && !convert && outcome->code != ReadOk)
        outcome->convertible = sound->ConverterTakes();
    return made;
}
