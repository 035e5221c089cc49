#include "audio/SampleConversion.h"

#include <algorithm>
#include <new>
#include <type_traits>

#include "audio/AudioData.h"
#include "audio/SampleConversionDetail.h"

namespace {

constexpr uint32_t kTargetRate = 44100;
constexpr int kFracBits = 10;  // the resampler's phase is in 1/1024 frame
constexpr int32_t kFracOne = 1 << kFracBits;

bool AcceptedFormat(int channels, int bits, int rate) {
    return (channels == 1 || channels == 2) && (bits == 8 || bits == 16) &&
           (rate == 22050 || rate == 24000 || rate == 44100 || rate == 48000);
}

inline int16_t Wave16(const uint8_t* b) {
    return static_cast<int16_t>(static_cast<uint16_t>((b[1] << 8) | b[0]));
}
inline int16_t Aiff16(const uint8_t* b) {
    return static_cast<int16_t>(static_cast<uint16_t>((b[0] << 8) | b[1]));
}
// WAV bytes are unsigned with 128 as silence, AIFF bytes signed.
inline int16_t Wave8(const uint8_t* b) { return static_cast<int16_t>((b[0] - 128) * 256); }
inline int16_t Aiff8(const uint8_t* b) {
    return static_cast<int16_t>(static_cast<int8_t>(b[0]) * 256);
}

template <int16_t (*Sample)(const uint8_t*), size_t SampleBytes, typename Out>
void DecodeLoop(const uint8_t* bytes, size_t frames, bool stereo, Out* first, Out* second) {
    if (stereo) {
        for (size_t i = 0; i < frames; ++i, bytes += 2 * SampleBytes) {
            first[i] = Sample(bytes);
            second[i] = Sample(bytes + SampleBytes);
        }
    } else {
        for (size_t i = 0; i < frames; ++i, bytes += SampleBytes) first[i] = Sample(bytes);
    }
}

}  // namespace

namespace conversion {

template <typename Out>
void DecodeInto(const uint8_t* bytes, size_t frames, bool stereo, int bitsPerSample, int sourceKind,
                Out* first, Out* second) {
    const bool wave = sourceKind == SourceKindWave;
    if (bitsPerSample == 16) {
        if (wave)
            DecodeLoop<Wave16, 2>(bytes, frames, stereo, first, second);
        else
            DecodeLoop<Aiff16, 2>(bytes, frames, stereo, first, second);
    } else {
        if (wave)
            DecodeLoop<Wave8, 1>(bytes, frames, stereo, first, second);
        else
            DecodeLoop<Aiff8, 1>(bytes, frames, stereo, first, second);
    }
}

size_t ResampledLength(size_t n, uint32_t sourceRate) {
    return static_cast<size_t>((static_cast<uint64_t>(n) + 4) * kTargetRate / sourceRate);
}

template <typename In, typename Out>
void ResampleInto(const In* first, const In* second, size_t n, uint32_t sourceRate, Out* outFirst,
                  Out* outSecond, size_t limit) {
    // The step is base/1024 frames; the remainder is spread so that every run
    // of 44,100 outputs advances exactly sourceRate input frames: the first
    // rem outputs of a run step base + 1 (the very first output starts a run).
    const auto scaled = static_cast<uint64_t>(sourceRate) * kFracOne;
    const auto base = static_cast<int32_t>(scaled / kTargetRate);
    const auto rem = static_cast<uint32_t>(scaled % kTargetRate);
    size_t idx = 0;
    int32_t frac = 0;
    int32_t step = base;
    uint32_t phase = kTargetRate;
    // 16-bit samples times a frac below 1024 fit in 32 bits; wider input
    // gets 64-bit products. >> on a negative value rounds towards minus
    // infinity.
    using Wide = std::conditional_t<sizeof(In) <= 2, int32_t, int64_t>;
    Wide a0 = first[0], a1 = first[1];
    Wide b0 = outSecond ? second[0] : 0, b1 = outSecond ? second[1] : 0;

    size_t i = 0;
    for (; i < limit; ++i) {
        outFirst[i] = static_cast<Out>(a0 + (((a1 - a0) * frac) >> kFracBits));
        if (outSecond) outSecond[i] = static_cast<Out>(b0 + (((b1 - b0) * frac) >> kFracBits));
        if (rem != 0) {
            if (phase == rem) {
                --step;
            } else if (phase == kTargetRate) {
                ++step;
                phase = 0;
            }
            ++phase;
        }
        frac += step;
        if (frac >= kFracOne) {
            idx += static_cast<size_t>(frac >> kFracBits);
            frac &= kFracOne - 1;
            if (idx > n - 2) {
                ++i;
                break;  // no output at or beyond the last input frame
            }
            a0 = first[idx];
            a1 = first[idx + 1];
            if (outSecond) {
                b0 = second[idx];
                b1 = second[idx + 1];
            }
        }
    }
    std::fill(outFirst + i, outFirst + limit, Out{0});
    if (outSecond) std::fill(outSecond + i, outSecond + limit, Out{0});
}

template void DecodeInto<int16_t>(const uint8_t*, size_t, bool, int, int, int16_t*, int16_t*);
template void ResampleInto<int16_t, int16_t>(const int16_t*, const int16_t*, size_t, uint32_t,
                                             int16_t*, int16_t*, size_t);

}  // namespace conversion

bool DecodeFrames(const uint8_t* bytes, size_t byteCount, int32_t* first, int32_t* second, size_t n,
                  int channels, int bitsPerSample, int sampleRate, int sourceKind) {
    if (bytes == nullptr || first == nullptr || second == nullptr || byteCount == 0 || n == 0)
        return false;
    if (!AcceptedFormat(channels, bitsPerSample, sampleRate)) return false;
    if (sourceKind != SourceKindWave && sourceKind != SourceKindAiff) return false;

    const size_t frameBytes = static_cast<size_t>(channels * bitsPerSample / 8);
    // Only whole frames that lie inside the bytes are decoded.
    const size_t frames = std::min(n, byteCount / frameBytes);
    conversion::DecodeInto(bytes, frames, channels == 2, bitsPerSample, sourceKind, first, second);
    if (channels == 1) std::fill(second, second + frames, 0);
    return true;
}

bool ResampleTo44k(const int32_t* first, const int32_t* second, size_t n, uint32_t sourceRate,
                   std::vector<int32_t>& outFirst, std::vector<int32_t>& outSecond,
                   size_t* outCount) {
    if (first == nullptr || second == nullptr || outCount == nullptr) return false;
    if (!outFirst.empty() || !outSecond.empty() || n < 4 || sourceRate == 0) return false;

    const size_t count = conversion::ResampledLength(n, sourceRate);
    std::vector<int32_t> a;
    std::vector<int32_t> b;
    try {
        a.resize(count);
        b.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    conversion::ResampleInto(first, second, n, sourceRate, a.data(), b.data(), count);
    outFirst.swap(a);
    outSecond.swap(b);
    *outCount = count;
    return true;
}

bool FadeOutTail(int16_t* samples, uint32_t frames, int32_t start) {
    if (samples == nullptr || frames == 0 || static_cast<int64_t>(start) > frames) return false;
    if (start <= 0 || static_cast<int64_t>(frames) - 1 <= start) return true;
    // The frames at and before start keep their value.
    FadeLastFrames(samples, frames, frames - static_cast<uint32_t>(start));
    return true;
}

void FadeLastFrames(int16_t* samples, uint32_t frames, uint32_t length) {
    const double q = 100.0 / length;
    // The order of the double operations is fixed: every build of a bank
    // must give the same samples.
    for (uint32_t j = 0; j + 2 <= length; ++j) {
        const uint32_t k = frames - 1 - j;
        const double v = ((j * q) * samples[k]) * 0.01;
        samples[k] = static_cast<int16_t>(v);
    }
}

bool FadeVoiceTail(AudioData* record) {
    if (record == nullptr || record->frames < 0 || record->frames > MaxVoiceFrames) return false;
    const auto frames = static_cast<uint32_t>(record->frames);
    const int32_t start = record->frames - FadeFrames;
    const bool left = FadeOutTail(record->left, frames, start);
    const bool right = FadeOutTail(record->right, frames, start);
    return left && right;
}
