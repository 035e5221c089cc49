#include "convert/AudioConverter.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "audio/AudioData.h"
#include "audio/ByteSource.h"

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

// libsndfile's virtual I/O over a ByteSource. Seeks are clamped to the
// source, reads are bounded by it; nothing is ever written.
sf_count_t VioLength(void* user) {
    const uint64_t size = static_cast<ByteSource*>(user)->Size();
    return static_cast<sf_count_t>(
        std::min<uint64_t>(size, static_cast<uint64_t>(std::numeric_limits<sf_count_t>::max())));
}

sf_count_t VioTell(void* user) {
    return static_cast<sf_count_t>(static_cast<ByteSource*>(user)->Position());
}

sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
    auto* source = static_cast<ByteSource*>(user);
    const sf_count_t size = VioLength(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = VioTell(user);
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return VioTell(user);
    // Saturating base + offset, then clamped into [0, size].
    sf_count_t target = 0;
    if (offset > 0 && base > size - offset)
        target = size;
    else
        target = std::clamp<sf_count_t>(base + offset, 0, size);
    (void)source->SeekTo(static_cast<uint64_t>(target));
    return VioTell(user);
}

sf_count_t VioRead(void* dst, sf_count_t count, void* user) {
    if (dst == nullptr || count <= 0) return 0;
    return static_cast<sf_count_t>(
        static_cast<ByteSource*>(user)->Read(dst, static_cast<size_t>(count)));
}

sf_count_t VioWrite(const void*, sf_count_t, void*) { return 0; }

struct SoundFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

// The size each sample is stored with, or 0 where the format has none.
int16_t NominalBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_DPCM_8: return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ALAC_16: return 16;
    case SF_FORMAT_ALAC_20: return 20;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_ALAC_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_ALAC_32: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    case SF_FORMAT_DWVW_12: return 12;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32: return 4;
    case SF_FORMAT_G723_24: return 3;
    case SF_FORMAT_G723_40: return 5;
    default: return 0;
    }
}

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

// Scans every channel from the current frame for the first sample whose
// magnitude reaches level. Returns its frame, or -1.
int64_t FindLoudFrame(SNDFILE* file, int channels, double level) {
    const sf_count_t block = std::max<sf_count_t>(1, kBlockSamples / channels);
    std::vector<float> interleaved(static_cast<size_t>(block * channels));
    int64_t done = 0;
    for (;;) {
        const sf_count_t n = sf_readf_float(file, interleaved.data(), block);
        if (n <= 0 || n > block) return -1;
        const size_t samples = static_cast<size_t>(n * channels);
        for (size_t i = 0; i < samples; ++i) {
            if (std::fabs(static_cast<double>(interleaved[i])) >= level)
                return done + static_cast<int64_t>(i / static_cast<size_t>(channels));
        }
        done += n;
    }
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

}  // namespace

bool ConvertAudioSource(ByteSource& source, AudioData* record, std::string* reason) {
    return ConvertAudioSourceWindow(source, record, nullptr, reason);
}

bool ConvertAudioSourceWindow(ByteSource& source, AudioData* record, ConvertWindow* window,
                              std::string* reason) {
    std::string ignored;
    if (reason == nullptr) reason = &ignored;
    if (record == nullptr || !source.SeekTo(0)) {
        *reason = "nothing to read";
        return false;
    }
    SF_VIRTUAL_IO io{VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SF_INFO info{};
    SoundFile file(sf_open_virtual(&io, SFM_READ, &info, &source));
    if (!file) {
        *reason = sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.channels > ConvertMaxChannels) {
        *reason = "unsupported channel count " + std::to_string(info.channels) +
                  " (the converter takes 1 to " + std::to_string(ConvertMaxChannels) + ")";
        return false;
    }
    if (info.samplerate < ConvertMinRate || info.samplerate > ConvertMaxRate) {
        *reason = "unsupported sample rate " + std::to_string(info.samplerate) +
                  " Hz (the converter takes " + std::to_string(ConvertMinRate) + " to " +
                  std::to_string(ConvertMaxRate) + ")";
        return false;
    }

    int64_t start = 0;
    if (window != nullptr) {
        window->sourceFrames = info.frames;
        window->startPastEnd = false;
        window->loudFrame = -1;
        window->sampleRate = info.samplerate;
        if (window->probeOnly) return true;
        try {
            if (window->scanOnly) {
                window->loudFrame = FindLoudFrame(file.get(), info.channels, window->loudLevel);
                return true;
            }
            start = std::max<int64_t>(window->startFrame, 0);
            if ((info.frames > 0 && start >= info.frames) ||
                PassOver(file.get(), info.channels, start) < start) {
                window->startPastEnd = true;
                *reason = "the start lies at or past the end of the sound";
                return false;
            }
        } catch (const std::bad_alloc&) {
            *reason = "not enough memory to convert it";
            return false;
        }
    }

    // One second from the start; fewer frames when the file says it holds
    // fewer.
    size_t wanted = static_cast<size_t>(info.samplerate);
    if (info.frames > 0 && static_cast<uint64_t>(info.frames - start) < wanted)
        wanted = static_cast<size_t>(info.frames - start);
    if (window != nullptr && window->frameLimit > 0 &&
        static_cast<uint64_t>(window->frameLimit) < wanted)
        wanted = static_cast<size_t>(window->frameLimit);
    const bool stereo = info.channels > 1;
    std::vector<float> first;
    std::vector<float> second;
    std::vector<float> outFirst;
    std::vector<float> outSecond;
    const float* outLeft = nullptr;
    const float* outRight = nullptr;
    size_t count = 0;
    // Every allocation below is bounded by the checks above; any that still
    // fails refuses the file.
    try {
        first.resize(wanted);
        if (stereo) second.resize(wanted);
        count = ReadFirstFrames(file.get(), info.channels, wanted, first, second, reason);
        if (count == 0) {
            if (start > 0 && window != nullptr) window->startPastEnd = true;
            return false;
        }
        outLeft = first.data();
        outRight = stereo ? second.data() : nullptr;
        if (info.samplerate != kTargetRate) {
            const auto rate = static_cast<uint64_t>(info.samplerate);
            const size_t length = std::min<size_t>(
                static_cast<size_t>((count * uint64_t{kTargetRate} + rate / 2) / rate),
                static_cast<size_t>(MaxVoiceFrames));
            if (length == 0) {
                *reason = "too short to convert";
                return false;
            }
            outFirst.resize(length);
            if (stereo) outSecond.resize(length);
            const float* in[2] = {first.data(), stereo ? second.data() : nullptr};
            float* out[2] = {outFirst.data(), stereo ? outSecond.data() : nullptr};
            const soxr_io_spec_t ioSpec = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
            // One thread: the same samples every time, and no threads to watch.
            const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
            size_t done = 0;
            const soxr_error_t error =
                soxr_oneshot(static_cast<double>(info.samplerate), kTargetRate, stereo ? 2u : 1u,
                             in, count, nullptr, out, length, &done, &ioSpec, &quality, &runtime);
            if (error != nullptr || done == 0) {
                *reason =
                    std::string("resampling failed: ") + (error != nullptr ? error : "no output");
                return false;
            }
            count = done;
            outLeft = outFirst.data();
            outRight = stereo ? outSecond.data() : nullptr;
        }
    } catch (const std::bad_alloc&) {
        *reason = "not enough memory to convert it";
        return false;
    }
    count = std::min(count, static_cast<size_t>(MaxVoiceFrames));
    for (size_t i = 0; i < count; ++i) {
        record->left[i] = ToSample(outLeft[i]);
        record->right[i] = outRight != nullptr ? ToSample(outRight[i]) : int16_t{0};
    }
    record->channels = static_cast<int16_t>(stereo ? 2 : 1);
    record->sampleRate = info.samplerate;
    record->bitsPerSample = NominalBits(info.format);
    // Whole 16-frame blocks; the added frames are the record's zeros.
    record->frames = static_cast<int32_t>((count + 15) / 16 * 16);
    return true;
}

bool ConvertAudioMemory(const uint8_t* data, size_t size, AudioData* record, std::string* reason) {
    static const uint8_t kEmpty = 0;
    if (data == nullptr) size = 0;
    MemorySource source(data != nullptr ? data : &kEmpty, size);
    return ConvertAudioSource(source, record, reason);
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
