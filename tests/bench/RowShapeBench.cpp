// The row editor on a 60-minute 96 kHz 16-bit stereo FLAC (written once
// into a temporary folder, a tone with a slow swell): drawing one zoom level
// of the detail (the whole file and 10 s from its bins; 16 frames at 54:00
// from the samples a worker reads, that read included), and making a
// pitched row end to end (LoadVoice with --pitch from 54:00 of the FLAC and
// from a 44.1 kHz WAV).

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <QImage>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "QtBenchMain.h"
#include "SoundFileWriter.h"
#include "app/WaveformView.h"
#include "audio/AudioData.h"
#include "convert/PeakOverview.h"
#include "convert/VoiceLoad.h"

using namespace testsupport;

namespace {

constexpr int kRate = 96000;
constexpr int64_t kFrames = int64_t{kRate} * 3600;
// As the editor bins it: about 262,144 bins for the whole file.
constexpr int64_t kFramesPerBin = (kFrames + 262143) / 262144;
constexpr int64_t kAt = int64_t{kRate} * 3240;  // 54:00

TempDir& Folder() {
    static TempDir dir;
    return dir;
}

const std::string& LongFlac() {
    static const std::string path = [] {
        std::string p = Folder().file("hour.flac");
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        if (f == nullptr) return std::string("(not written)");
        std::vector<short> block(2 * kRate);
        for (int second = 0; second < 3600; ++second) {
            const double swell = 0.2 + 0.2 * std::sin(second * 0.1);
            for (int i = 0; i < kRate; ++i) {
                const double t = i / double{kRate};
                block[size_t(2 * i)] =
                    static_cast<short>(32767 * swell * std::sin(2 * std::numbers::pi * 220 * t));
                block[size_t(2 * i + 1)] =
                    static_cast<short>(32767 * swell * std::sin(2 * std::numbers::pi * 330 * t));
            }
            sf_writef_short(f, block.data(), kRate);
        }
        return sf_close(f) == 0 ? p : std::string("(not written)");
    }();
    return path;
}

std::shared_ptr<const std::vector<PeakBin>> Bins() {
    static const auto bins = [] {
        auto all = std::make_shared<std::vector<PeakBin>>();
        std::string why;
        (void)ComputePeakOverview(
            LongFlac().c_str(), true, kFramesPerBin,
            [&](const std::vector<PeakBin>& b, int64_t) {
                all->insert(all->end(), b.begin(), b.end());
                return true;
            },
            &why);
        return std::shared_ptr<const std::vector<PeakBin>>(all);
    }();
    return bins;
}

// One zoom level of the detail drawn into an image as the editor's detail
// (640 x 140); at single samples the samples are read first, as the
// editor's worker reads them.
void DrawZoomLevel(benchmark::State& state, int64_t count) {
    WaveformView view(WaveformView::DragMoves::Waveform);
    view.resize(640, 140);
    view.SetSource(kFrames, kFramesPerBin, true, Bins());
    if (Bins()->size() * size_t(kFramesPerBin) < size_t(kFrames)) {
        state.SkipWithError("the overview could not be computed");
        return;
    }
    QImage image(view.size(), QImage::Format_RGB32);
    const bool samples = count < 640 * kFramesPerBin;
    for (auto _ : state) {
        view.SetVisibleRange(kAt - count / 4, count);
        if (samples) {
            std::vector<int16_t> read;
            if (!ReadStereoFrames(LongFlac().c_str(), true, kAt - count, 2 * count, &read)) {
                state.SkipWithError("the samples could not be read");
                return;
            }
            view.SetSamples(kAt - count, 2 * count, std::move(read));
        }
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_DrawWholeFile(benchmark::State& state) { DrawZoomLevel(state, kFrames); }
void BM_DrawTenSeconds(benchmark::State& state) { DrawZoomLevel(state, int64_t{kRate} * 10); }
void BM_DrawSingleSamples(benchmark::State& state) { DrawZoomLevel(state, 16); }

// A pitched row, from reading its part to the fades.
void PitchedRow(benchmark::State& state, const std::string& path, int64_t startNanoseconds) {
    VoiceOptions options;
    options.start = VoiceOptions::Start::At;
    options.startNanoseconds = startNanoseconds;
    options.pitchCents = static_cast<int>(state.range(0));
    auto record = std::make_unique<AudioData>();
    for (auto _ : state) {
        VoiceLoadOutcome outcome;
        if (!LoadVoice(path.c_str(), options, true, record.get(), &outcome)) {
            state.SkipWithError("the row could not be made");
            return;
        }
        benchmark::DoNotOptimize(record->frames);
    }
}

void BM_PitchedRowFromHourFlac(benchmark::State& state) {
    PitchedRow(state, LongFlac(), 3'240'000'000'000);
}

void BM_PitchedRowFromWav(benchmark::State& state) {
    static const std::string path = [] {
        const std::string p = Folder().file("hit.wav");
        return WriteFile(p, MakeWav(MakeRamp(2, 16, 44100, 88200))) ? p : std::string();
    }();
    PitchedRow(state, path, 500'000'000);
}

}  // namespace

BENCHMARK(BM_DrawWholeFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTenSeconds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSingleSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PitchedRowFromHourFlac)->Arg(0)->Arg(-1200)->Arg(702)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PitchedRowFromWav)->Arg(0)->Arg(-1200)->Arg(702)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
