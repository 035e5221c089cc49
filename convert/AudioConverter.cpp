#include "convert/AudioConverter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "audio/AudioData.h"
#include "audio/ByteSource.h"
#include "convert/SndfileIo.h"

// The resampler is libsoxr at its very-high-quality setting rather than
// libsamplerate's best sinc: both are far beyond what 16 bits can show, but
// soxr is several times faster for the same quality, which keeps a slot load
// of a 96 kHz file within a few milliseconds.

namespace {

constexpr int kTargetRate = 44100;
// Frames asked of the decoder per call: a bounded buffer whatever the
// channel count.
constexpr sf_count_t kBlockSamples = 65536;
// Input samples beyond this are clipped before resampling, so a float file
// holding huge or infinite values cannot turn the filter's sums into NaN.
constexpr float kInputLimit = 4.0f;

float Sanitize(float v) {
    if (std::isnan(v)) return 0.0f;
    return std::clamp(v, -kInputLimit, kInputLimit);
}

// Full scale is 1.0 (libsndfile's normalised float), so 16-bit sources come
// back exactly; rounding is to the nearest value, never dithered.
int16_t ToSample(float v) {
    const float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::lrint(scaled));
}

// Reads up to `wanted` frames, keeping channels 1 and 2. Returns the frames
// read; *reason is set when the decoder failed before the first frame.
size_t ReadFirstFrames(SNDFILE* file, int channels, size_t wanted, std::vector<float>& first,
                       std::vector<float>& second, std::string* reason) {
    const sf_count_t block = std::max<sf_count_t>(1, kBlockSamples / channels);
    std::vector<float> interleaved(static_cast<size_t>(block * channels));
    size_t got = 0;
    while (got < wanted) {
        const sf_count_t ask = std::min<sf_count_t>(block, static_cast<sf_count_t>(wanted - got));
        const sf_count_t n = sf_readf_float(file, interleaved.data(), ask);
        if (n <= 0 || n > ask) break;
        for (sf_count_t i = 0; i < n; ++i) {
            const float* frame = interleaved.data() + i * channels;
            first[got] = Sanitize(frame[0]);
            if (channels > 1) second[got] = Sanitize(frame[1]);
            ++got;
        }
    }
    if (got == 0)
        *reason = sf_error(file) != SF_ERR_NO_ERROR ? sf_strerror(file) : "holds no sound frames";
    return got;
}

// Moves to frame start: by seeking where the format allows, else by
// decoding and dropping what comes before. Returns the frames passed over.
int64_t PassOver(SNDFILE* file, int channels, int64_t start) {
    if (start <= 0) return 0;
    if (sf_seek(file, start, SEEK_SET) == start) return start;
    (void)sf_seek(file, 0, SEEK_SET);
    const sf_count_t block = std::max<sf_count_t>(1, kBlockSamples / channels);
    std::vector<float> interleaved(static_cast<size_t>(block * channels));
    int64_t done = 0;
    while (done < start) {
        const sf_count_t ask = std::min<sf_count_t>(block, start - done);
        const sf_count_t n = sf_readf_float(file, interleaved.data(), ask);
        if (n <= 0 || n > ask) break;
        done += n;
    }
    return done;
}

// Channels 1 and 2 of the frames converted, full scale 1.0; second is
// empty for a mono source.
struct Channels {
    std::vector<float> first;
    std::vector<float> second;
};

// Passes over the window's start. False (the start past the end) when the
// sound holds nothing from there.
bool ReachStart(SNDFILE* file, const SF_INFO& info, ConvertWindow* window, int64_t* start,
                std::string* reason) {
    window->sourceFrames = info.frames;
    window->startPastEnd = false;
    window->sampleRate = info.samplerate;
    *start = std::max<int64_t>(window->startFrame, 0);
    if ((info.frames > 0 && *start >= info.frames) ||
        PassOver(file, info.channels, *start) < *start) {
        window->startPastEnd = true;
        *reason = "the start lies at or past the end of the sound";
        return false;
    }
    return true;
}

// One second from the start; fewer frames when the file says it holds
// fewer or the window asks for fewer.
size_t WantedFrames(const SF_INFO& info, int64_t start, const ConvertWindow* window) {
    size_t wanted = static_cast<size_t>(info.samplerate);
    if (info.frames > 0 && static_cast<uint64_t>(info.frames - start) < wanted)
        wanted = static_cast<size_t>(info.frames - start);
    if (window != nullptr && window->frameLimit > 0 &&
        static_cast<uint64_t>(window->frameLimit) < wanted)
        wanted = static_cast<size_t>(window->frameLimit);
    return wanted;
}

// Resamples count frames of in from rate to the row's rate into out; count
// becomes the frames made. False with the reason when nothing came out.
bool Resample(int rate, const Channels& in, size_t* count, Channels* out, std::string* reason) {
    const bool stereo = !in.second.empty();
    const auto from = static_cast<uint64_t>(rate);
    const size_t length =
        std::min<size_t>(static_cast<size_t>((*count * uint64_t{kTargetRate} + from / 2) / from),
                         static_cast<size_t>(MaxVoiceFrames));
    if (length == 0) {
        *reason = "too short to convert";
        return false;
    }
    out->first.resize(length);
    if (stereo) out->second.resize(length);
    const float* inputs[2] = {in.first.data(), stereo ? in.second.data() : nullptr};
    float* outputs[2] = {out->first.data(), stereo ? out->second.data() : nullptr};
    const soxr_io_spec_t ioSpec = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    // One thread: the same samples every time, and no threads to watch.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    size_t done = 0;
    const soxr_error_t error =
        soxr_oneshot(static_cast<double>(rate), kTargetRate, stereo ? 2u : 1u, inputs, *count,
                     nullptr, outputs, length, &done, &ioSpec, &quality, &runtime);
    if (error != nullptr || done == 0) {
        *reason = "resampling failed: ";
        *reason += error != nullptr ? error : "no output";
        return false;
    }
    *count = done;
    return true;
}

// Rounds count frames into the record, with the source's format fields.
void StoreRecord(const Channels& made, size_t count, const SF_INFO& info, AudioData* record) {
    const bool stereo = !made.second.empty();
    count = std::min(count, static_cast<size_t>(MaxVoiceFrames));
    for (size_t i = 0; i < count; ++i) {
        record->left[i] = ToSample(made.first[i]);
        record->right[i] = stereo ? ToSample(made.second[i]) : int16_t{0};
    }
    record->channels = static_cast<int16_t>(stereo ? 2 : 1);
    record->sampleRate = info.samplerate;
    record->bitsPerSample = NominalBits(info.format);
    // Whole 16-frame blocks; the added frames are the record's zeros.
    record->frames = static_cast<int32_t>((count + 15) / 16 * 16);
}

}  // namespace

bool ConvertAudioSource(ByteSource& source, AudioData* record, std::string* reason) {
    return ConvertAudioSourceWindow(source, record, nullptr, reason);
}

bool ConvertAudioSourceWindow(ByteSource& source, AudioData* record, ConvertWindow* window,
                              std::string* reason) {
    std::string ignored;
    if (reason == nullptr) reason = &ignored;
    if (record == nullptr) {
        *reason = "nothing to read";
        return false;
    }
    SF_INFO info{};
    SoundFile file = OpenConvertible(source, &info, reason);
    if (!file) return false;
    // Every allocation below is bounded by the checks of the open; any that
    // still fails refuses the file.
    try {
        int64_t start = 0;
        if (window != nullptr && !ReachStart(file.get(), info, window, &start, reason))
            return false;
        const size_t wanted = WantedFrames(info, start, window);
        Channels read;
        read.first.resize(wanted);
        if (info.channels > 1) read.second.resize(wanted);
        size_t count =
            ReadFirstFrames(file.get(), info.channels, wanted, read.first, read.second, reason);
        if (count == 0) {
            if (start > 0 && window != nullptr) window->startPastEnd = true;
            return false;
        }
        if (info.samplerate == kTargetRate) {
            StoreRecord(read, count, info, record);
            return true;
        }
        Channels resampled;
        if (!Resample(info.samplerate, read, &count, &resampled, reason)) return false;
        StoreRecord(resampled, count, info, record);
        return true;
    } catch (const std::bad_alloc&) {
        *reason = "not enough memory to convert it";
        return false;
    }
}

std::vector<std::string> ConvertibleExtensions() {
    std::vector<std::string> out;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO format{};
        format.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &format, sizeof format) != 0) continue;
        if (format.extension == nullptr) continue;
        const std::string ext = format.extension;
        // Headerless data cannot be recognised, so it is never converted.
        if (ext.empty() || ext == "raw") continue;
        out.push_back(ext);
        if (ext == "aiff") out.insert(out.end(), {"aif", "aifc"});
        if (ext == "oga") out.insert(out.end(), {"ogg", "opus"});
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}
