#include "convert/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include "audio/AudioData.h"

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

int CeilingSample() {
    return static_cast<int>(std::lround(32767.0 * std::pow(10.0, LoudnessCeilingDbfs / 20.0)));
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

bool ScaleRowToLoudness(AudioData* record, double targetLufs, LoudnessApplied* applied) {
    *applied = {};
    RowLevel before;
    if (!MeasureRow(*record, &before)) return false;
    if (!before.sounding) {
        applied->level = before;
        return true;
    }
    targetLufs = std::clamp(targetLufs, LoudnessMinLufs, LoudnessMaxLufs);
    double gain = std::pow(10.0, (targetLufs - before.loudnessLufs) / 20.0);
    const int ceiling = CeilingSample();
    if (std::lround(before.peak * gain) > ceiling) {
        gain = static_cast<double>(ceiling) / before.peak;
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
           Tenths(LoudnessCeilingDbfs) + " dBFS ceiling (" + Tenths(targetLufs) + " asked)";
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

std::vector<std::optional<double>> MatchLoudness(const std::vector<MatchRow>& rows, double target,
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
    std::vector<std::optional<double>> targets(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const RowLevel& level = rows[i].level;
        if (!level.sounding) continue;
        const double shift =
            keepGroups ? target - loudest[rows[i].group] : target - level.loudnessLufs;
        targets[i] =
            std::clamp(RoundToTenth(level.loudnessLufs + shift), LoudnessMinLufs, LoudnessMaxLufs);
    }
    return targets;
}

std::string SourceGroup(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}
