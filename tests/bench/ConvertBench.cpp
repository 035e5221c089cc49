// Converting the first second of a 96 kHz 24-bit stereo FLAC into a row (the
// load with conversion plus the tail fade), beside the same file converted
// to a 16-bit 44.1 kHz WAV by the sox program at its very-high-quality rate
// setting, when sox is installed (a whole process per run, as a user would
// run it).

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"
#include "convert/ConvertingReader.h"

extern char** environ;

using namespace testsupport;

namespace {

TempDir& Folder() {
    static TempDir dir;
    return dir;
}

// One second of a two-tone chord with a little noise, made once.
const std::string& FlacSecond() {
    static const std::string path = [] {
        const std::string p = Folder().file("pad.flac");
        std::vector<float> samples;
        uint32_t noise = 12345;
        for (int i = 0; i < 96000; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double n = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.02;
            const double t = i / 96000.0;
            samples.push_back(
                static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 220 * t) + n));
            samples.push_back(
                static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 330 * t) - n));
        }
        WriteSoundFile(p, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2, samples);
        return p;
    }();
    return path;
}

void BM_ConvertFlacToRow(benchmark::State& state) {
    const std::string& path = FlacSecond();
    auto record = std::make_unique<AudioData>();
    for (auto _ : state) {
        std::memset(record.get(), 0, sizeof(AudioData));
        ConvertOutcome outcome;
        if (ReadAudioFileConverting(path.c_str(), record.get(), HostLittleEndian, &outcome) !=
                ReadOk ||
            !outcome.converted || FadeVoiceTail(record.get()) != 1)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(record->left[100]);
    }
}
BENCHMARK(BM_ConvertFlacToRow)->Unit(benchmark::kMillisecond);

void BM_SoxFlacToWav(benchmark::State& state) {
    const std::string& path = FlacSecond();
    const std::string out = Folder().file("out.wav");
    std::vector<std::string> args = {"sox", path, "-b", "16", out, "rate", "-v", "44100"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("sox is not installed");
            break;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("sox failed");
            break;
        }
    }
}
BENCHMARK(BM_SoxFlacToWav)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
