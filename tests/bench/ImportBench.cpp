// Reading and converting a sound, and building and writing a full bank.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "SoundFileWriter.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

#ifdef GLW_HAVE_SNDFILE
#include <sndfile.h>
#endif

using namespace testsupport;

namespace {

// A 3 s 48 kHz 16-bit stereo WAV in a temporary folder, made once.
const std::string& ThreeSecondWav() {
    static TempDir dir;
    static const std::string path = [] {
        const std::string p = dir.file("three-seconds.wav");
        WriteFile(p, MakeWav(MakeRamp(2, 16, 48000, 3 * 48000)));
        return p;
    }();
    return path;
}

void BM_ReadAndConvert(benchmark::State& state) {
    const std::string& path = ThreeSecondWav();
    auto record = std::make_unique<AudioData>();
    for (auto _ : state) {
        std::memset(record.get(), 0, sizeof(AudioData));
        const int r = ReadAudioFile(path.c_str(), record.get(), HostLittleEndian);
        if (r != ReadOk) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(record->frames);
    }
}
BENCHMARK(BM_ReadAndConvert)->Unit(benchmark::kMicrosecond);

#ifdef GLW_HAVE_SNDFILE
// The first second through the general-purpose library, then a plain linear
// resampler to 44,100 Hz in double precision: what the reader must beat.
void BM_YardstickReadPlusLinearResample(benchmark::State& state) {
    const std::string& path = ThreeSecondWav();
    std::vector<short> frames(48000 * 2);
    std::vector<int16_t> left(MaxVoiceFrames), right(MaxVoiceFrames);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        const sf_count_t n = sf_readf_short(f, frames.data(), 48000);
        sf_close(f);
        const double step = 48000.0 / 44100.0;
        for (size_t i = 0; i < left.size(); ++i) {
            const double pos = static_cast<double>(i) * step;
            const auto k = static_cast<size_t>(pos);
            if (k + 1 >= static_cast<size_t>(n)) break;
            const double t = pos - static_cast<double>(k);
            left[i] = static_cast<int16_t>(frames[2 * k] + (frames[2 * k + 2] - frames[2 * k]) * t);
            right[i] = static_cast<int16_t>(frames[2 * k + 1] +
                                            (frames[2 * k + 3] - frames[2 * k + 1]) * t);
        }
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
}
BENCHMARK(BM_YardstickReadPlusLinearResample)->Unit(benchmark::kMicrosecond);

void BM_YardstickReadOnly(benchmark::State& state) {
    const std::string& path = ThreeSecondWav();
    std::vector<short> frames(48000 * 2);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        benchmark::DoNotOptimize(sf_readf_short(f, frames.data(), 48000));
        sf_close(f);
    }
}
BENCHMARK(BM_YardstickReadOnly)->Unit(benchmark::kMicrosecond);
#endif

std::unique_ptr<VoiceBankImage> FullImage() {
    auto image = std::make_unique<VoiceBankImage>();
    (void)InitVoiceBankImage(image.get());
    for (auto& slot : image->voices) {
        slot.channels = 2;
        slot.frames = MaxVoiceFrames;
        for (int i = 0; i < MaxVoiceFrames; ++i) {
            slot.left[i] = static_cast<int16_t>(i * 7);
            slot.right[i] = static_cast<int16_t>(-i * 3);
        }
    }
    return image;
}

// A full bank (16 stereo rows of MaxVoiceFrames) laid out in memory.
void BM_BuildFullBank(benchmark::State& state) {
    const auto image = FullImage();
    for (auto _ : state) {
        auto copy = std::make_unique<VoiceBankImage>(*image);
        std::vector<uint8_t> out;
        if (!FillVoiceAddresses(copy.get(), "FULL") || !BuildVoiceBankFile(copy.get(), &out))
            state.SkipWithError("build failed");
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_BuildFullBank)->Unit(benchmark::kMillisecond);

// The same, written safely to a file (temporary file, sync, read back,
// rename, folder sync): what a save costs.
void BM_BuildAndWriteFullBank(benchmark::State& state) {
    TempDir dir;
    const auto image = FullImage();
    const std::string path = dir.file("FULL.glw");
    for (auto _ : state) {
        if (!ExportImageToFile(*image, path.c_str())) state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bank::MaxFileBytes));
}
BENCHMARK(BM_BuildAndWriteFullBank)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
