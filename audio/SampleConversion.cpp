#include "audio/SampleConversion.h"

#include <algorithm>
#include <new>

#include "audio/AudioData.h"

namespace {

constexpr uint32_t kTargetRate = 44100;
constexpr int kFracBits = 10;  // the resampler's phase is in 1/1024 frame
constexpr int32_t kFracOne = 1 << kFracBits;

bool AcceptedFormat(int channels, int bits, int rate) {
    return (channels == 1 || channels == 2) && (bits == 8 || bits == 16) &&
           (rate == 22050 || rate == 24000 || rate == 44100 || rate == 48000);
}

int16_t DecodeSample(const uint8_t* b, int bits, int sourceKind) {
    if (bits == 16) {
        const auto hi = sourceKind == SourceKindWave ? b[1] : b[0];
        const auto lo = sourceKind == SourceKindWave ? b[0] : b[1];
        return static_cast<int16_t>(static_cast<uint16_t>((hi << 8) | lo));
    }
    // WAV bytes are unsigned with 128 as silence, AIFF bytes signed.
    const int v = sourceKind == SourceKindWave ? b[0] - 128 : static_cast<int8_t>(b[0]);
    return static_cast<int16_t>(v * 256);
}

}  // namespace

int DecodeFrames(const uint8_t* bytes, size_t byteCount, int32_t* first, int32_t* second, size_t n,
                 int channels, int bitsPerSample, int sampleRate, int sourceKind) {
    if (bytes == nullptr || first == nullptr || second == nullptr || byteCount == 0 || n == 0)
        return 0;
    if (!AcceptedFormat(channels, bitsPerSample, sampleRate)) return 0;
    if (sourceKind != SourceKindWave && sourceKind != SourceKindAiff) return 0;

    const size_t sampleBytes = static_cast<size_t>(bitsPerSample) / 8;
    const size_t frameBytes = static_cast<size_t>(channels) * sampleBytes;
    // Only whole frames that lie inside the bytes are decoded.
    const size_t frames = std::min(n, byteCount / frameBytes);
    for (size_t i = 0; i < frames; ++i) {
        const uint8_t* f = bytes + i * frameBytes;
        first[i] = DecodeSample(f, bitsPerSample, sourceKind);
        second[i] = channels == 2 ? DecodeSample(f + sampleBytes, bitsPerSample, sourceKind) : 0;
    }
    return 1;
}

int ResampleTo44k(const int32_t* first, const int32_t* second, size_t n, uint32_t sourceRate,
                  std::vector<int32_t>& outFirst, std::vector<int32_t>& outSecond,
                  size_t* outCount) {
    if (first == nullptr || second == nullptr || outCount == nullptr) return 0;
    if (!outFirst.empty() || !outSecond.empty() || n < 4 || sourceRate == 0) return 0;

    const auto count =
        static_cast<size_t>((static_cast<uint64_t>(n) + 4) * kTargetRate / sourceRate);
    std::vector<int32_t> a;
    std::vector<int32_t> b;
    try {
        a.resize(count);
        b.resize(count);
    } catch (const std::bad_alloc&) {
        return 0;
    }

    // The step is base/1024 frames; the remainder is spread so that every run
    // of 44,100 outputs advances exactly sourceRate input frames: the first
    // rem outputs of a run step base + 1.
    const auto scaled = static_cast<uint64_t>(sourceRate) * kFracOne;
    const auto base = static_cast<int32_t>(scaled / kTargetRate);
    const auto rem = static_cast<uint32_t>(scaled % kTargetRate);
    size_t idx = 0;
    int32_t frac = 0;
    int32_t step = base;
    uint32_t phase = kTargetRate;
    int64_t a0 = first[0], a1 = first[1], b0 = second[0], b1 = second[1];

    for (size_t i = 0; i < count; ++i) {
        // Arithmetic shift: negative quotients round towards minus infinity.
        a[i] = static_cast<int32_t>(a0 + (((a1 - a0) * frac) >> kFracBits));
        b[i] = static_cast<int32_t>(b0 + (((b1 - b0) * frac) >> kFracBits));
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
            idx += static_cast<size_t>(frac / kFracOne);
            frac %= kFracOne;
            if (idx > n - 2) break;  // the rest stays silent
            a0 = first[idx];
            a1 = first[idx + 1];
            b0 = second[idx];
            b1 = second[idx + 1];
        }
    }
    outFirst.swap(a);
    outSecond.swap(b);
    *outCount = count;
    return 1;
}

int FadeOutTail(int16_t* samples, uint32_t frames, int32_t start) {
    if (samples == nullptr || frames == 0 || static_cast<int64_t>(start) > frames) return 0;
    if (start <= 0 || static_cast<int64_t>(frames) - 1 <= start) return 1;
    const uint32_t length = frames - static_cast<uint32_t>(start);
    const double q = 100.0 / length;
    // Gain j/length at frame frames-1-j: the last sample becomes 0, the
    // frames at and before start keep their value. The order of the double
    // operations is fixed: every build of a bank must give the same samples.
    for (uint32_t j = 0; j + 2 <= length; ++j) {
        const uint32_t k = frames - 1 - j;
        const double v = ((j * q) * samples[k]) * 0.01;
        samples[k] = static_cast<int16_t>(v);
    }
    return 1;
}

int FadeVoiceTail(AudioData* record) {
    if (record == nullptr || record->frames < 0 || record->frames > MaxVoiceFrames) return 0;
    const auto frames = static_cast<uint32_t>(record->frames);
    const int32_t start = record->frames - FadeFrames;
    const int left = FadeOutTail(record->left, frames, start);
    const int right = FadeOutTail(record->right, frames, start);
    return left && right ? 1 : 0;
}
