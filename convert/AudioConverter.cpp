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
#include "convert/SndfileSource.h"

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

}  // namespace

SoundFile OpenSoundFile(ByteSource& source, SF_INFO* info) {
    static SF_VIRTUAL_IO io{VioLength, VioSeek, VioRead, VioWrite, VioTell};
    *info = {};
    if (!source.SeekTo(0)) return nullptr;
    return SoundFile(sf_open_virtual(&io, SFM_READ, info, &source));
}

namespace {

float Sanitize(float v) {
    if (std::isnan(v)) return 0.0f;
    return std::clamp(v, -kInputLimit, kInputLimit);
}

}  // namespace

// Full scale is 1.0 (libsndfile's normalised float), so 16-bit sources come
// back exactly; rounding is to the nearest value, never dithered.
int16_t ToSample(float v) {
    const float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::lrint(scaled));
}

namespace {

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

// Moves an open file to startFrame: a seek where the format allows, else
// the file is opened again and the frames before it read and dropped.
// False with *pastEnd set when the file ends first; false with *reason when
// it cannot be read that far.
bool MoveTo(ByteSource& source, SoundFile& file, SF_INFO& info, int64_t startFrame, bool* pastEnd,
            std::string* reason) {
    if (info.frames >= 0 && info.frames != SF_COUNT_MAX && startFrame >= info.frames) {
        *pastEnd = true;
        return false;
    }
    if (info.seekable && sf_seek(file.get(), startFrame, SEEK_SET) == startFrame) return true;
    file = OpenSoundFile(source, &info);
    if (!file) {
        *reason = sf_strerror(nullptr);
        return false;
    }
    const sf_count_t block = std::max<sf_count_t>(1, kBlockSamples / info.channels);
    std::vector<float> scratch(static_cast<size_t>(block * info.channels));
    int64_t left = startFrame;
    while (left > 0) {
        const sf_count_t n = sf_readf_float(file.get(), scratch.data(), std::min(block, left));
        if (n <= 0) {
            if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
                *reason = sf_strerror(file.get());
                return false;
            }
            *pastEnd = true;
            return false;
        }
        left -= n;
    }
    return true;
}

}  // namespace

bool ConvertAudioSource(ByteSource& source, AudioData* record, std::string* reason) {
    return ConvertAudioSourceFrom(source, 0, record, reason, nullptr);
}

bool ConvertAudioSourceFrom(ByteSource& source, int64_t startFrame, AudioData* record,
                            std::string* reason, bool* pastEnd) {
    std::string ignored;
    if (reason == nullptr) reason = &ignored;
    bool ignoredEnd = false;
    if (pastEnd == nullptr) pastEnd = &ignoredEnd;
    *pastEnd = false;
    if (record == nullptr || !source.SeekTo(0)) {
        *reason = "nothing to read";
        return false;
    }
    SF_INFO info{};
    SoundFile file = OpenSoundFile(source, &info);
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

    int64_t held = info.frames;
    if (startFrame > 0) {
        try {
            if (!MoveTo(source, file, info, startFrame, pastEnd, reason)) return false;
        } catch (const std::bad_alloc&) {
            *reason = "not enough memory to convert it";
            return false;
        }
        held = info.frames > 0 ? info.frames - startFrame : info.frames;
    }
    // The first second only; fewer frames when the file says it holds fewer.
    size_t wanted = static_cast<size_t>(info.samplerate);
    if (held > 0 && static_cast<uint64_t>(held) < wanted) wanted = static_cast<size_t>(held);
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
            // Past a start, a file that simply ends there holds nothing more.
            if (startFrame > 0 && sf_error(file.get()) == SF_ERR_NO_ERROR) *pastEnd = true;
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
