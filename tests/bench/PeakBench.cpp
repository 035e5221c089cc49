// The peak overview of a whole 10-minute 48 kHz 16-bit stereo file, as a
// WAV (the strict reader's format) and as a FLAC (converter only), in bins
// of 1,000 frames. The files are written once, block by block, into a
// temporary folder: a tone on each channel with a little noise.

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "convert/PeakOverview.h"
#include "convert/VoiceLoad.h"

using namespace testsupport;

namespace {

constexpr int kRate = 48000;
constexpr int64_t kFrames = int64_t{kRate} * 600;
constexpr int64_t kFramesPerBin = 1000;

TempDir& Folder() {
    static TempDir dir;
    return dir;
}

bool WriteTenMinutes(const std::string& path, int format) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    std::vector<short> block(2 * 65536);
    uint32_t noise = 12345;
    bool ok = true;
    for (int64_t start = 0; ok && start < kFrames; start += 65536) {
        const int64_t n = std::min<int64_t>(65536, kFrames - start);
        for (int64_t i = 0; i < n; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double r = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.02;
            const double t = static_cast<double>(start + i) / kRate;
            block[static_cast<size_t>(2 * i)] =
                static_cast<short>(32767 * (0.4 * std::sin(2 * std::numbers::pi * 220 * t) + r));
            block[static_cast<size_t>(2 * i + 1)] =
                static_cast<short>(32767 * (0.4 * std::sin(2 * std::numbers::pi * 330 * t) - r));
        }
        ok = sf_writef_short(f, block.data(), n) == n;
    }
    return sf_close(f) == 0 && ok;
}

const std::string& File(int format, const char* name) {
    static std::string paths[2];
    std::string& p = paths[(format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? 1 : 0];
    if (p.empty()) {
        p = Folder().file(name);
        if (!WriteTenMinutes(p, format)) p = "(not written)";
    }
    return p;
}

void Overview(benchmark::State& state, const std::string& path, bool convert) {
    for (auto _ : state) {
        size_t bins = 0;
        std::string why;
        const bool ok = ComputePeakOverview(
            path.c_str(), convert, kFramesPerBin,
            [&](const std::vector<PeakBin>& b, int64_t) {
                bins += b.size();
                return true;
            },
            &why);
        if (!ok || bins != static_cast<size_t>(kFrames / kFramesPerBin)) {
            state.SkipWithError(("overview failed: " + why).c_str());
            break;
        }
        benchmark::DoNotOptimize(bins);
    }
}

void BM_PeakOverviewWav(benchmark::State& state) {
    Overview(state, File(SF_FORMAT_WAV | SF_FORMAT_PCM_16, "ten.wav"), false);
}
BENCHMARK(BM_PeakOverviewWav)->Unit(benchmark::kMillisecond);

void BM_PeakOverviewFlac(benchmark::State& state) {
    Overview(state, File(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "ten.flac"), true);
}
BENCHMARK(BM_PeakOverviewFlac)->Unit(benchmark::kMillisecond);

// A row made from 9 minutes into the same files: the WAV seeks in its
// sample data, the FLAC through its seek table.
void RowAtNineMinutes(benchmark::State& state, const std::string& path, bool convert) {
    VoiceOptions options;
    options.start = VoiceOptions::Start::At;
    options.startNanoseconds = int64_t{540} * 1'000'000'000;
    auto record = std::make_unique<AudioData>();
    for (auto _ : state) {
        *record = {};
        VoiceLoadOutcome outcome;
        if (!LoadVoice(path.c_str(), options, convert, record.get(), &outcome) ||
            outcome.startFrame != int64_t{540} * kRate) {
            state.SkipWithError("row load failed");
            break;
        }
        benchmark::DoNotOptimize(record->frames);
    }
}

void BM_RowAtNineMinutesWav(benchmark::State& state) {
    RowAtNineMinutes(state, File(SF_FORMAT_WAV | SF_FORMAT_PCM_16, "ten.wav"), false);
}
BENCHMARK(BM_RowAtNineMinutesWav)->Unit(benchmark::kMillisecond);

void BM_RowAtNineMinutesFlac(benchmark::State& state) {
    RowAtNineMinutes(state, File(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "ten.flac"), true);
}
BENCHMARK(BM_RowAtNineMinutesFlac)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
