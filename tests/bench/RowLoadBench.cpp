// Loading a row from a sound file as the window and glwtool do (LoadVoice,
// converting when the strict reader refuses the file): a 10 s 44.1 kHz mono
// WAV, a 10 s 48 kHz stereo WAV and a 10 s 96 kHz 24-bit stereo FLAC. And
// the first-sound scan of a 60-minute 96 kHz 24-bit FLAC whose first sound
// comes at 54 minutes. The long file is made once per run (about 20 s).

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "convert/VoiceLoad.h"
#include "core/SlotModel.h"

using namespace testsupport;

namespace {

TempDir& Folder() {
    static TempDir dir;
    return dir;
}

std::vector<float> Tone(int rate, int channels, int seconds) {
    std::vector<float> samples;
    for (int i = 0; i < rate * seconds; ++i) {
        for (int c = 0; c < channels; ++c)
            samples.push_back(static_cast<float>(
                0.4 * std::sin(2 * std::numbers::pi * (220 + 110 * c) * i / rate)));
    }
    return samples;
}

const std::string& File(int which) {
    static const std::string paths[3] = {
        [] {
            const std::string p = Folder().file("mono44.wav");
            WriteSoundFile(p, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, Tone(44100, 1, 10));
            return p;
        }(),
        [] {
            const std::string p = Folder().file("stereo48.wav");
            WriteSoundFile(p, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, Tone(48000, 2, 10));
            return p;
        }(),
        [] {
            const std::string p = Folder().file("hires.flac");
            WriteSoundFile(p, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2, Tone(96000, 2, 10));
            return p;
        }(),
    };
    return paths[which];
}

void BM_LoadRow(benchmark::State& state) {
    const std::string& path = File(static_cast<int>(state.range(0)));
    auto record = std::make_unique<AudioData>();
    for (auto _ : state) {
        std::memset(record.get(), 0, sizeof(AudioData));
        VoiceLoadOutcome outcome;
        if (!LoadVoice(path.c_str(), {}, true, record.get(), &outcome)) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(record->left[100]);
    }
}
// A file onto a row as the window's load does it: made on a worker
// (MakeRow), then stored in the rows and armed on the device (StoreRow),
// replacing the row's sound before.
void BM_LoadRowIntoModel(benchmark::State& state) {
    const std::string& path = File(static_cast<int>(state.range(0)));
    SlotModel model;
    if (!model.Open()) {
        state.SkipWithError("no sound device");
        return;
    }
    for (auto _ : state) {
        if (!model.StoreRow(0, SlotModel::MakeRow(path, {}, true))) {
            state.SkipWithError("load failed");
            break;
        }
    }
}
BENCHMARK(BM_LoadRowIntoModel)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// 0: 44.1 kHz mono WAV, 1: 48 kHz stereo WAV, 2: 96 kHz 24-bit FLAC.
BENCHMARK(BM_LoadRow)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// 60 minutes of silence but for a tone from 54 minutes on, written in
// pieces so it never sits in memory whole.
const std::string& LongFlac() {
    static const std::string path = [] {
        const std::string p = Folder().file("long.flac");
        SF_INFO info{};
        info.samplerate = 96000;
        info.channels = 1;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        if (f == nullptr) return std::string();
        std::vector<int> block(96000);
        for (int second = 0; second < 3600; ++second) {
            for (int i = 0; i < 96000; ++i) {
                block[static_cast<size_t>(i)] =
                    second < 3240
                        ? 0
                        : static_cast<int>(0.4 * 2147483647.0 *
                                           std::sin(2 * std::numbers::pi * 440 * i / 96000.0));
            }
            sf_writef_int(f, block.data(), 96000);
        }
        sf_close(f);
        return p;
    }();
    return path;
}

void BM_FirstSoundScan(benchmark::State& state) {
    const std::string& path = LongFlac();
    for (auto _ : state) {
        int64_t frame = 0;
        int rate = 0;
        if (!FindFirstSound(path.c_str(), true, &frame, &rate) || frame < 3240LL * 96000 - 96) {
            state.SkipWithError("scan failed");
            break;
        }
    }
}
BENCHMARK(BM_FirstSoundScan)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
