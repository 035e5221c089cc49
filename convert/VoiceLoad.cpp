#include "convert/VoiceLoad.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ByteSource.h"
#include "audio/SampleConversion.h"
#include "convert/AudioConverter.h"
#include "convert/SourceStream.h"

namespace {

// -40 dBFS: 0.01 of full scale. On the 16-bit scale that is 327.68, so
// the first value that reaches it is 328.
constexpr int kFirstSound16 = 328;
constexpr double kFirstSoundFull = 0.01;

// The first frame of the stream with a sample at or above -40 dBFS on any
// channel; -1 when there is none. False when the stream fails on the way.
bool FirstLoudFrame(SourceStream& stream, int64_t* found) {
    *found = -1;
    int64_t base = 0;
    StreamBlock block;
    while (stream.Next(&block)) {
        if (block.interleaved != nullptr) {
            const size_t samples = block.frames * static_cast<size_t>(block.channels);
            for (size_t i = 0; i < samples; ++i) {
                if (std::fabs(static_cast<double>(block.interleaved[i])) >= kFirstSoundFull) {
                    *found = base + static_cast<int64_t>(i / static_cast<size_t>(block.channels));
                    return true;
                }
            }
        } else {
            for (size_t i = 0; i < block.frames; ++i) {
                if (std::abs(block.first[i]) >= kFirstSound16 ||
                    std::abs(block.second[i]) >= kFirstSound16) {
                    *found = base + static_cast<int64_t>(i);
                    return true;
                }
            }
        }
        base += static_cast<int64_t>(block.frames);
    }
    return stream.Failure().empty();
}

// The frame a row made by the given reader begins at. False when the file
// cannot be streamed through that reader.
bool ResolveStart(const char* path, const VoiceOptions& options, bool converter, int sampleRate,
                  int64_t* frame) {
    *frame = 0;
    switch (options.start) {
    case VoiceOptions::Start::Beginning: return true;
    case VoiceOptions::Start::At:
        *frame = StartFrameAt(options.startNanoseconds, sampleRate);
        return true;
    case VoiceOptions::Start::FirstSound: break;
    }
    auto stream = SourceStream::Open(
        path, converter ? SourceStream::Reader::Converter : SourceStream::Reader::Strict, nullptr);
    int64_t found = -1;
    if (!stream || !FirstLoudFrame(*stream, &found)) return false;
    // A little before the sound, so its attack is kept whole.
    if (found > 0) *frame = std::max<int64_t>(0, found - stream->Info().sampleRate / 1000);
    return true;
}

// Scales the row so that its largest absolute sample is the level's; each
// sample rounded to nearest, halves away from zero. A silent row stays so.
void Normalize(AudioData* record, double dbfs) {
    const auto target = static_cast<int64_t>(std::llround(32767.0 * std::pow(10.0, dbfs / 20.0)));
    const auto frames = static_cast<size_t>(record->frames);
    int64_t peak = 0;
    for (size_t i = 0; i < frames; ++i)
        peak = std::max({peak, static_cast<int64_t>(std::abs(record->left[i])),
                         static_cast<int64_t>(std::abs(record->right[i]))});
    if (peak == 0) return;
    const auto scale = [&](int16_t s) {
        const int64_t magnitude =
            (2 * std::abs(static_cast<int64_t>(s)) * target + peak) / (2 * peak);
        return static_cast<int16_t>(s < 0 ? -magnitude : magnitude);
    };
    for (size_t i = 0; i < frames; ++i) {
        record->left[i] = scale(record->left[i]);
        record->right[i] = scale(record->right[i]);
    }
}

// The row of a file with options: the strict reader from the start frame,
// or (when convert is set and it refuses the file) the converter. Fills
// outcome's code, converter fields, startFrame and startPastEnd.
void ReadWithOptions(const char* path, const VoiceOptions& options, bool convert, AudioData* record,
                     VoiceLoadOutcome* outcome) {
    auto source = FileSource::Open(path);
    if (!source) {
        outcome->code = ReadShort;
        if (convert) outcome->converter.strictCode = ReadShort;
        return;
    }
    SampleDataSpan span;
    int code = LocateSampleData(*source, record, HostLittleEndian, &span);
    int64_t frame = 0;
    bool pastEnd = false;
    if (code == ReadOk) {
        if (!ResolveStart(path, options, false, record->sampleRate, &frame))
            code = ReadShort;
        else
            code = ReadAudioSourceFrom(*source, frame, record, HostLittleEndian, &pastEnd);
    }
    outcome->code = code;
    if (!convert) {
        outcome->startFrame = frame;
        outcome->startPastEnd = code == ReadOk && pastEnd;
        return;
    }
    outcome->converter.strictCode = code;
    if (code == ReadOk) {
        outcome->startFrame = frame;
        outcome->startPastEnd = pastEnd;
        return;
    }
    // As the converting reader: the strict reader's header fields are put
    // back when the converter fails too, for its reason text.
    const int16_t channels = record->channels;
    const int32_t sampleRate = record->sampleRate;
    const int16_t bitsPerSample = record->bitsPerSample;
    std::memset(record, 0, sizeof *record);
    auto stream = SourceStream::Open(path, SourceStream::Reader::Converter,
                                     &outcome->converter.convertReason);
    std::string& reason = outcome->converter.convertReason;
    if (stream) {
        reason.clear();
        const int rate = stream->Info().sampleRate;
        stream.reset();
        if (!ResolveStart(path, options, true, rate, &frame)) {
            reason = "cannot be read to its end";
        } else if (ConvertAudioSourceFrom(*source, frame, record, &reason, &pastEnd)) {
            outcome->converter.converted = true;
            outcome->code = ReadOk;
            outcome->startFrame = frame;
            return;
        } else if (pastEnd) {
            reason.clear();
            outcome->code = ReadOk;
            outcome->startFrame = frame;
            outcome->startPastEnd = true;
            return;
        }
    }
    std::memset(record, 0, sizeof *record);
    record->channels = channels;
    record->sampleRate = sampleRate;
    record->bitsPerSample = bitsPerSample;
}

}  // namespace

int64_t StartFrameAt(int64_t nanoseconds, int rate) {
    if (nanoseconds <= 0 || rate <= 0) return 0;
    // Whole seconds and the rest apart, so that no product can overflow.
    constexpr uint64_t kSecond = 1'000'000'000u;
    const auto ns = static_cast<uint64_t>(nanoseconds);
    const auto r = static_cast<uint64_t>(rate);
    const uint64_t seconds = ns / kSecond;
    const uint64_t part = (ns % kSecond) * r / kSecond;
    if (seconds > static_cast<uint64_t>(INT64_MAX) / r) return INT64_MAX;
    return static_cast<int64_t>(seconds * r + part);
}

int64_t NanosecondsOfFrame(int64_t frame, int rate) {
    if (frame <= 0 || rate <= 0) return 0;
    // ceil(frame * 1e9 / rate): the first instant that falls in the frame.
    constexpr uint64_t kSecond = 1'000'000'000u;
    const auto f = static_cast<uint64_t>(frame);
    const auto r = static_cast<uint64_t>(rate);
    const uint64_t seconds = f / r;
    const uint64_t part = ((f % r) * kSecond + r - 1) / r;
    if (seconds > (static_cast<uint64_t>(INT64_MAX) - part) / kSecond) return INT64_MAX;
    return static_cast<int64_t>(seconds * kSecond + part);
}

bool FindFirstSound(const char* path, bool convert, int64_t* frame, int* sampleRate) {
    if (path == nullptr || frame == nullptr) return false;
    auto stream = SourceStream::Open(
        path, convert ? SourceStream::Reader::Either : SourceStream::Reader::Strict, nullptr);
    if (!stream) return false;
    VoiceOptions options;
    options.start = VoiceOptions::Start::FirstSound;
    const int rate = stream->Info().sampleRate;
    const bool converted = stream->Converted();
    stream.reset();
    int64_t found = 0;
    if (!ResolveStart(path, options, converted, rate, &found)) return false;
    *frame = found;
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
    if (options.IsDefault()) {
        outcome->code =
            convert ? ReadAudioFileConverting(path, record, HostLittleEndian, &outcome->converter)
                    : ReadAudioFile(path, record, HostLittleEndian);
        if (outcome->code != ReadOk) return false;
        // A row already made keeps its samples and its fade as they are.
        if (!outcome->converter.converted && FindRowMark(path, *record, &outcome->origin)) {
            outcome->exactRow = true;
            return true;
        }
        return FadeVoiceTail(record);
    }
    ReadWithOptions(path, options, convert, record, outcome);
    if (outcome->code != ReadOk || outcome->startPastEnd) return false;
    if (options.normalize) {
        Normalize(record, std::clamp(options.normalizeDbfs, NormalizeMinDbfs, NormalizeMaxDbfs));
        outcome->normalized = true;
    }
    return FadeVoiceTail(record);
}
