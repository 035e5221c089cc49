#include "convert/RowShape.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"

namespace {

constexpr int kRowRate = 44100;

int32_t WholeBlocks(int64_t frames) { return static_cast<int32_t>((frames + 15) / 16 * 16); }

int Value(const AudioData& record, int64_t frame) {
    const auto i = static_cast<size_t>(frame);
    return record.channels == 2 ? record.left[i] + record.right[i] : record.left[i];
}

bool IsCrossing(const AudioData& record, int64_t frame, int64_t limit) {
    const int v = Value(record, frame);
    if (v == 0) return true;
    for (const int64_t n : {frame - 1, frame + 1}) {
        if (n < 0 || n >= limit) continue;
        const int w = Value(record, n);
        if ((w < 0) != (v < 0) && std::abs(v) <= std::abs(w)) return true;
    }
    return false;
}

int16_t ToSample(float v) {
    return static_cast<int16_t>(std::lrint(std::clamp(v * 32768.0f, -32768.0f, 32767.0f)));
}

}  // namespace

int64_t SnapReachFrames(int rate) { return rate > 0 ? int64_t{rate} * 5 / 1000 : 0; }

int32_t SoundFrames(const AudioData& record) {
    int32_t frames = std::clamp(record.frames, 0, MaxVoiceFrames);
    const int32_t floor = std::max(0, frames - 15);
    while (frames > floor && record.left[frames - 1] == 0 && record.right[frames - 1] == 0)
        --frames;
    return frames;
}

int64_t NearestZeroCrossing(const AudioData& record, int64_t at, int64_t radius, int64_t limit) {
    limit = std::min<int64_t>(limit, std::clamp(record.frames, 0, MaxVoiceFrames));
    for (int64_t d = 0; d <= radius; ++d) {
        for (const int64_t frame : {at - d, at + d}) {
            if (frame >= 0 && frame < limit && IsCrossing(record, frame, limit)) return frame;
        }
    }
    return -1;
}

int32_t EndAfterLastSound(const AudioData& record, int32_t end) {
    end = std::clamp(end, 0, MaxVoiceFrames);
    for (int32_t k = end - 1; k >= 0; --k) {
        if (std::abs(int{record.left[k]}) >= FirstSoundThreshold16 ||
            std::abs(int{record.right[k]}) >= FirstSoundThreshold16)
            return std::min(end, k + 1 + kRowRate / 1000);
    }
    return end;
}

void CutRowAt(AudioData* record, int32_t end) {
    const int32_t frames = std::clamp(record->frames, 0, MaxVoiceFrames);
    end = std::clamp(end, 0, frames);
    std::fill(record->left + end, record->left + frames, int16_t{0});
    std::fill(record->right + end, record->right + frames, int16_t{0});
    record->frames = WholeBlocks(end);
}

bool PitchRow(AudioData* record, int cents) {
    const int32_t frames = SoundFrames(*record);
    if (cents == 0 || frames == 0) return true;
    const bool stereo = record->channels == 2;
    const double speed = std::pow(2.0, cents / 1200.0);
    const auto length = static_cast<size_t>(
        std::min<double>(MaxVoiceFrames, std::ceil(static_cast<double>(frames) / speed)));
    std::vector<float> in[2];
    std::vector<float> out[2];
    try {
        for (int c = 0; c < (stereo ? 2 : 1); ++c) {
            const int16_t* samples = c == 0 ? record->left : record->right;
            in[c].assign(samples, samples + frames);
            for (float& v : in[c]) v /= 32768.0f;
            out[c].resize(std::max<size_t>(length, 1));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    const float* inputs[2] = {in[0].data(), stereo ? in[1].data() : nullptr};
    float* outputs[2] = {out[0].data(), stereo ? out[1].data() : nullptr};
    const soxr_io_spec_t ioSpec = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    // One thread, as for conversion: the same samples every time.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    size_t done = 0;
    // The sound taken as recorded at speed times the row's rate and played
    // at the row's rate.
    const soxr_error_t error = soxr_oneshot(kRowRate * speed, kRowRate, stereo ? 2u : 1u, inputs,
                                            static_cast<size_t>(frames), nullptr, outputs, length,
                                            &done, &ioSpec, &quality, &runtime);
    if (error != nullptr) return false;
    done = std::min(done, length);
    const int32_t before = std::clamp(record->frames, 0, MaxVoiceFrames);
    std::fill(record->left, record->left + before, int16_t{0});
    std::fill(record->right, record->right + before, int16_t{0});
    for (size_t i = 0; i < done; ++i) {
        record->left[i] = ToSample(out[0][i]);
        if (stereo) record->right[i] = ToSample(out[1][i]);
    }
    record->frames = WholeBlocks(static_cast<int64_t>(done));
    return true;
}

void ReverseRow(AudioData* record) {
    const int32_t frames = SoundFrames(*record);
    std::reverse(record->left, record->left + frames);
    std::reverse(record->right, record->right + frames);
}

int32_t FadeFramesOf(int ms) { return ms <= 0 ? 0 : (ms * 441 + 5) / 10; }

void FadeRowIn(AudioData* record, int32_t length) {
    length = std::min(length, std::clamp(record->frames, 0, MaxVoiceFrames));
    if (length <= 0) return;
    const double q = 100.0 / length;
    for (int32_t j = 0; j < length; ++j) {
        record->left[j] = static_cast<int16_t>(((j * q) * record->left[j]) * 0.01);
        record->right[j] = static_cast<int16_t>(((j * q) * record->right[j]) * 0.01);
    }
}

bool FadeRowOut(AudioData* record, int32_t length, bool whole) {
    if (record->frames <= 0 || record->frames > MaxVoiceFrames) return false;
    const int32_t frames = record->frames;
    const auto count = static_cast<uint32_t>(frames);
    if (length < frames || !whole) {
        const bool left = FadeOutTail(record->left, count, frames - length);
        const bool right = FadeOutTail(record->right, count, frames - length);
        return left && right;
    }
    FadeLastFrames(record->left, count, count);
    FadeLastFrames(record->right, count, count);
    return true;
}
