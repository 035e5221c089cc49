// Finding the slices of a 10 s 44.1 kHz stereo drum loop (goal: under
// 20 ms) and of a 10-minute one (goal: under 1 s), each read from a WAV
// file, analysed and its hits placed at the default sensitivity; and the
// memory the slice dialog holds for a two-hour one (goal: a peak under
// 200 MB), its analysis kept while markers follow the sensitivity. The
// files are written once into a temporary folder: a noise burst or a
// falling tone every 125 ms, decaying. With GLW_DRUM_LOOPS naming a folder
// that scripts/make-drum-loops.py filled, its recorded drum loops too: each
// sliced at the default sensitivity, per_10s the wall time for 10 s of loop
// (goal: under 27 ms).

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "SoundFileWriter.h"
#include "convert/Onsets.h"

using namespace testsupport;

namespace {

constexpr int kRate = 44100;

bool WriteLoop(const std::string& path, int64_t frames) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    std::vector<short> block(2 * 65536);
    uint32_t noise = 12345;
    const int64_t beat = kRate / 8;
    bool ok = true;
    for (int64_t start = 0; ok && start < frames; start += 65536) {
        const int64_t n = std::min<int64_t>(65536, frames - start);
        for (int64_t i = 0; i < n; ++i) {
            const int64_t at = start + i;
            const double t = static_cast<double>(at % beat) / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double r = static_cast<double>(noise >> 8) / (1 << 24) - 0.5;
            const double v = (at / beat) % 2 == 0 ? 0.8 * std::sin(2 * std::numbers::pi * 80 * t) *
                                                        std::exp(-t / 0.05)
                                                  : r * std::exp(-t / 0.02);
            block[static_cast<size_t>(2 * i)] = static_cast<short>(32767 * 0.9 * v);
            block[static_cast<size_t>(2 * i + 1)] = static_cast<short>(32767 * 0.7 * v);
        }
        ok = sf_writef_short(f, block.data(), n) == n;
    }
    return sf_close(f) == 0 && ok;
}

void FindLoopSlices(benchmark::State& state) {
    static TempDir dir;
    const int64_t seconds = state.range(0);
    const std::string path = dir.file("loop" + std::to_string(seconds) + ".wav");
    if (!WriteLoop(path, seconds * kRate)) {
        state.SkipWithError("cannot write the loop");
        return;
    }
    size_t count = 0;
    for (auto _ : state) {
        std::vector<Slice> slices;
        int rate = 0;
        std::string why;
        if (!FindSlices(path.c_str(), false, {}, &slices, &rate, &why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        count = slices.size();
        benchmark::DoNotOptimize(slices.data());
    }
    state.counters["slices"] = static_cast<double>(count);
}

// The process's peak resident memory so far, in MB.
double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void HoldTwoHourAnalysis(benchmark::State& state) {
    static TempDir dir;
    const std::string path = dir.file("loop7200.wav");
    if (!WriteLoop(path, int64_t{7200} * kRate)) {
        state.SkipWithError("cannot write the loop");
        return;
    }
    const double before = PeakMegabytes();
    size_t markers = 0;
    for (auto _ : state) {
        OnsetAnalysis analysis;
        std::string why;
        if (!analysis.Analyse(path.c_str(), false, &why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        for (const int sensitivity : {50, 60, 70})
            markers = analysis.Transients(sensitivity).size();
        benchmark::DoNotOptimize(analysis.Overview(2048).data());
    }
    state.counters["peak_MB_before"] = before;
    state.counters["peak_MB"] = PeakMegabytes();
    state.counters["markers"] = static_cast<double>(markers);
}

void FindDrumLoopSlices(benchmark::State& state, const std::string& folder) {
    std::vector<std::string> loops;
    double seconds = 0.0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".wav") continue;
        SF_INFO info{};
        SNDFILE* f = sf_open(entry.path().c_str(), SFM_READ, &info);
        if (f == nullptr) continue;
        sf_close(f);
        loops.push_back(entry.path().string());
        seconds += static_cast<double>(info.frames) / info.samplerate;
    }
    if (loops.empty()) {
        state.SkipWithError("no WAV loops in GLW_DRUM_LOOPS");
        return;
    }
    std::sort(loops.begin(), loops.end());
    size_t count = 0;
    for (auto _ : state) {
        count = 0;
        for (const std::string& path : loops) {
            std::vector<Slice> slices;
            int rate = 0;
            std::string why;
            if (!FindSlices(path.c_str(), false, {}, &slices, &rate, &why)) {
                state.SkipWithError((path + ": " + why).c_str());
                return;
            }
            count += slices.size();
        }
    }
    state.counters["loops"] = static_cast<double>(loops.size());
    state.counters["slices"] = static_cast<double>(count);
    state.counters["per_10s"] =
        benchmark::Counter(seconds / 10.0, benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(FindLoopSlices)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(FindLoopSlices)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(HoldTwoHourAnalysis)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (const char* folder = std::getenv("GLW_DRUM_LOOPS"); folder != nullptr && *folder != 0)
        benchmark::RegisterBenchmark("FindDrumLoopSlices", FindDrumLoopSlices, std::string(folder))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
