#include "convert/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

#include "audio/AudioData.h"
#include "convert/VoiceLoad.h"

namespace {

constexpr int kRate = 44100;
constexpr int kStep = kRate / 100;       // 10 ms between momentary readings
constexpr int kWindow = kRate * 4 / 10;  // 400 ms of silence after the row

struct StateDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

size_t FramesOf(const AudioData& record) {
    return static_cast<size_t>(std::clamp(record.frames, 0, MaxVoiceFrames));
}

int PeakOf(const AudioData& record) {
    int peak = 0;
    for (size_t i = 0; i < FramesOf(record); ++i) {
        peak = std::max(peak, std::abs(int{record.left[i]}));
        if (record.channels == 2) peak = std::max(peak, std::abs(int{record.right[i]}));
    }
    return peak;
}

// The wave between the samples, as a converter rebuilds it: 8 points per
// sample, each a windowed sinc over 48 samples either side (Blackman; flat
// to about 20.7 kHz). The 4-times interpolator of the loudness library
// reads high cymbals and hats as much as 0.5 dB under this.
constexpr int kPhases = 8;
constexpr int kHalfTaps = 48;
constexpr int kTaps = 2 * kHalfTaps;  // a multiple of 4
// What the 8 points may miss of a crest between them (under 0.02 dB for
// anything a converter passes), kept as headroom.
constexpr double kGridMarginDb = 0.02;

using PhaseTaps = std::array<std::array<float, kTaps>, kPhases>;

PhaseTaps MakePhaseTaps() {
    constexpr double pi = 3.14159265358979323846;
    PhaseTaps taps{};
    for (int p = 1; p < kPhases; ++p) {
        double sum = 0.0;
        std::array<double, kTaps> h{};
        for (int j = 0; j < kTaps; ++j) {
            // Tap j weighs the sample kHalfTaps - 1 - j before the one at
            // the point's left.
            const double d = static_cast<double>(p) / kPhases + (kHalfTaps - 1 - j);
            const double x = pi * d / kHalfTaps;  // -pi ... pi over the span
            const double window = 0.42 + 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
            h[static_cast<size_t>(j)] = window * std::sin(pi * d) / (pi * d);
            sum += h[static_cast<size_t>(j)];
        }
        // Each point passes a constant as it is.
        for (int j = 0; j < kTaps; ++j)
            taps[static_cast<size_t>(p)][static_cast<size_t>(j)] =
                static_cast<float>(h[static_cast<size_t>(j)] / sum);
    }
    return taps;
}

// The largest absolute value of the rebuilt wave of one channel, 1.0 being
// full scale, with silence before and after the samples, into *truePeak
// when larger. False without memory for it.
bool TruePeakOf(const int16_t* samples, size_t frames, double* truePeak) {
    static const PhaseTaps taps = MakePhaseTaps();
    const size_t size = frames + 2 * kTaps;
    const std::unique_ptr<float[]> padded(new (std::nothrow) float[size]());
    if (!padded) return false;
    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i) {
        padded[i + kTaps] = static_cast<float>(samples[i]) / 32768.0f;
        peak = std::max(peak, std::abs(padded[i + kTaps]));
    }
    // Points between padded[n] and padded[n + 1], for every n whose span
    // reaches a sample: from kHalfTaps before the first to kHalfTaps after
    // the last.
    for (size_t n = kTaps - kHalfTaps; n + 1 < kTaps + frames + kHalfTaps; ++n) {
        const float* window = padded.get() + n - (kHalfTaps - 1);
        for (size_t p = 1; p < kPhases; ++p) {
            // Four sums apart, so the products need not wait on each other.
            std::array<float, 4> sums{};
            for (size_t j = 0; j < kTaps; j += 4)
                for (size_t k = 0; k < 4; ++k) sums[k] += window[j + k] * taps[p][j + k];
            peak = std::max(peak, std::abs((sums[0] + sums[1]) + (sums[2] + sums[3])));
        }
    }
    *truePeak = std::max(*truePeak, static_cast<double>(peak));
    return true;
}

// The ceiling as a true peak (1.0 full scale), one step of the samples
// below it: rounding the scaled samples moves the wave between them by
// less than that, so the made row measures at or under the ceiling.
double CeilingTruePeak() {
    return std::pow(10.0, (LoudnessCeilingDbtp - kGridMarginDb) / 20.0) - 1.0 / 32768.0;
}

}  // namespace

bool MeasureRow(const AudioData& record, RowLevel* level) {
    *level = {};
    level->peak = PeakOf(record);
    if (level->peak == 0) return true;
    level->peakDbfs = 20.0 * std::log10(level->peak / 32767.0);
    const unsigned channels = record.channels == 2 ? 2 : 1;
    const std::unique_ptr<ebur128_state, StateDeleter> state(
        ebur128_init(channels, kRate, EBUR128_MODE_M));
    if (!state) return false;
    if (channels == 1 && ebur128_set_channel(state.get(), 0, EBUR128_DUAL_MONO) != EBUR128_SUCCESS)
        return false;
    const size_t frames = FramesOf(record);
    const size_t total = frames + kWindow;
    short block[kStep * 2];
    double loudest = -HUGE_VAL;
    for (size_t at = 0; at < total; at += kStep) {
        const size_t count = std::min<size_t>(kStep, total - at);
        for (size_t i = 0; i < count; ++i) {
            const size_t frame = at + i;
            block[i * channels] = frame < frames ? record.left[frame] : 0;
            if (channels == 2) block[i * 2 + 1] = frame < frames ? record.right[frame] : 0;
        }
        double momentary = -HUGE_VAL;
        if (ebur128_add_frames_short(state.get(), block, count) != EBUR128_SUCCESS ||
            ebur128_loudness_momentary(state.get(), &momentary) != EBUR128_SUCCESS)
            return false;
        loudest = std::max(loudest, momentary);
    }
    level->sounding = std::isfinite(loudest);
    level->loudnessLufs = level->sounding ? loudest : 0.0;
    return true;
}

bool MeasureTruePeak(const AudioData& record, double* truePeak) {
    *truePeak = 0.0;
    const size_t frames = FramesOf(record);
    return TruePeakOf(record.left, frames, truePeak) &&
           (record.channels != 2 || TruePeakOf(record.right, frames, truePeak));
}

bool ScaleRowToLoudness(AudioData* record, double targetLufs, LoudnessApplied* applied) {
    *applied = {};
    RowLevel before;
    if (!MeasureRow(*record, &before)) return false;
    if (!before.sounding) {
        applied->level = before;
        return true;
    }
    double truePeak = 0.0;
    if (!MeasureTruePeak(*record, &truePeak)) return false;
    targetLufs = std::clamp(targetLufs, LoudnessMinLufs, LoudnessMaxLufs);
    double gain = std::pow(10.0, (targetLufs - before.loudnessLufs) / 20.0);
    if (const double ceiling = CeilingTruePeak(); truePeak * gain > ceiling) {
        gain = ceiling / truePeak;
        applied->atCeiling = true;
    }
    auto scale = [gain](int16_t s) {
        return static_cast<int16_t>(std::clamp<long>(std::lround(s * gain), -32768, 32767));
    };
    for (size_t i = 0; i < FramesOf(*record); ++i) {
        record->left[i] = scale(record->left[i]);
        if (record->channels == 2) record->right[i] = scale(record->right[i]);
    }
    applied->scaled = true;
    return MeasureRow(*record, &applied->level);
}

namespace {

std::string Tenths(double value) {
    char text[32];
    const double rounded = RoundToTenth(value);
    std::snprintf(text, sizeof text, "%.1f", rounded == 0.0 ? 0.0 : rounded);
    return text;
}

}  // namespace

std::string DescribeRowLevel(const RowLevel& level) {
    if (!level.sounding) return "silent";
    return "loudness " + Tenths(level.loudnessLufs) + " LUFS, peak " + Tenths(level.peakDbfs) +
           " dBFS";
}

std::string DescribeLoudnessApplied(double targetLufs, const LoudnessApplied& applied) {
    if (!applied.scaled) return "silent, loudness not set";
    if (!applied.atCeiling) return "loudness " + Tenths(targetLufs) + " LUFS";
    return "loudness " + Tenths(applied.level.loudnessLufs) + " LUFS, held at the " +
           Tenths(LoudnessCeilingDbtp) + " dBTP ceiling (" + Tenths(targetLufs) + " asked)";
}

std::string DescribeLoudnessTarget(double targetLufs, bool median) {
    return Tenths(targetLufs) + " LUFS" + (median ? " (the median of the rows)" : "");
}

double RoundToTenth(double value) { return std::round(value * 10.0) / 10.0; }

std::optional<double> MedianLoudness(const std::vector<MatchRow>& rows) {
    std::vector<double> values;
    for (const MatchRow& row : rows)
        if (row.level.sounding) values.push_back(row.level.loudnessLufs);
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    const double median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
    return RoundToTenth(median);
}

std::vector<LoudnessMatch> MatchLoudness(const std::vector<MatchRow>& rows, double target,
                                         bool keepGroups) {
    // Each group's loudest row; a row alone is its own group.
    std::map<std::string, double> loudest;
    if (keepGroups) {
        for (const MatchRow& row : rows) {
            if (!row.level.sounding) continue;
            const auto [it, added] = loudest.emplace(row.group, row.level.loudnessLufs);
            if (!added) it->second = std::max(it->second, row.level.loudnessLufs);
        }
    }
    std::vector<LoudnessMatch> matches(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const RowLevel& level = rows[i].level;
        if (!level.sounding) continue;
        const double shift =
            keepGroups ? target - loudest[rows[i].group] : target - level.loudnessLufs;
        LoudnessMatch& match = matches[i];
        match.lufs = RoundToTenth(level.loudnessLufs + shift);
        if (match.lufs >= LoudnessMinLufs && match.lufs <= LoudnessMaxLufs) {
            match.step = LoudnessMatch::Step::Set;
        } else {
            // No option names such a level; a row that needs no change
            // needs none.
            match.step = match.lufs == RoundToTenth(level.loudnessLufs)
                             ? LoudnessMatch::Step::AsIs
                             : LoudnessMatch::Step::Outside;
        }
    }
    return matches;
}

std::string SourceGroup(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

VoiceOptions MatchedRowOptions(const VoiceOptions& options, const LoudnessMatch& match) {
    VoiceOptions matched = options;
    if (match.step == LoudnessMatch::Step::Set) {
        matched.loudness = true;
        matched.loudnessLufs = match.lufs;
    } else if (match.step == LoudnessMatch::Step::AsIs) {
        matched.loudness = false;
    }
    return matched;
}
