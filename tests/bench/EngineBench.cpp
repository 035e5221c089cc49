// Sound engine figures: loading a slot from a file, the CPU that idle loaded
// slots cost (beside a bare OpenAL context's), the time from a sound's end to
// its stop report, and exporting a full bank.

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"

namespace {

using enginetest::ArmFile;

using Clock = std::chrono::steady_clock;

// Notes when each stop report arrived.
class TimingListener final : public SoundEngine::Listener {
public:
    void SlotStopped(int) override {
        m_lastReport.store(Clock::now().time_since_epoch().count());
        ++m_reports;
    }
    [[nodiscard]] int Reports() const { return m_reports.load(); }
    [[nodiscard]] Clock::time_point LastReport() const {
        return Clock::time_point(Clock::duration(m_lastReport.load()));
    }

private:
    std::atomic<int> m_reports{0};
    std::atomic<Clock::rep> m_lastReport{0};
};

std::string WriteSound(const testsupport::TempDir& dir, uint32_t rate) {
    const std::string path = dir.file("sound.wav");
    testsupport::WriteFile(path, testsupport::MakeWav(testsupport::MakeRamp(2, 16, rate, rate)));
    return path;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The process's CPU time while the calling thread sleeps for 10 s, as % of
// one core.
double CpuPercentOverTenSeconds() {
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    return 100.0 * cpu / wall.count();
}

// Opens the engine and loads the sound into slots 0 ... slots - 1; reports
// an error to the benchmark and returns false on failure.
bool OpenWithSlots(benchmark::State& state, SoundEngine& engine, SoundEngine::Listener& listener,
                   const std::string& path, int slots) {
    if (!engine.Open(&listener, 16)) {
        state.SkipWithError("no sound device");
        return false;
    }
    for (int slot = 0; slot < slots; ++slot) {
        if (!ArmFile(engine, slot, path)) {
            state.SkipWithError("load failed");
            return false;
        }
    }
    return true;
}

// A 1 s, 48 kHz stereo WAV into an empty slot: read, convert, fade, copy,
// and arm (buffer, source).
void BM_LoadSlot(benchmark::State& state) {
    testsupport::TempDir dir;
    const std::string path = WriteSound(dir, 48000);
    TimingListener listener;
    SoundEngine engine;
    if (!OpenWithSlots(state, engine, listener, path, 0)) return;
    for (auto _ : state) {
        if (!ArmFile(engine, 0, path)) {
            state.SkipWithError("load failed");
            break;
        }
        state.PauseTiming();
        engine.ClearSlot(0);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadSlot)->Unit(benchmark::kMicrosecond);

// Process CPU over 10 s with the engine open and range(0) slots loaded and
// idle, as % of one core. The run with 0 slots is the baseline (OpenAL's
// own mixer thread); the difference is what idle loaded slots cost.
void BM_IdleSlotsCpu(benchmark::State& state) {
    testsupport::TempDir dir;
    const std::string path = WriteSound(dir, 44100);
    TimingListener listener;
    SoundEngine engine;
    if (!OpenWithSlots(state, engine, listener, path, static_cast<int>(state.range(0)))) return;
    double percent = 0;
    for (auto _ : state) percent = CpuPercentOverTenSeconds();
    state.counters["cpu_percent_of_one_core"] = percent;
}
BENCHMARK(BM_IdleSlotsCpu)->Arg(0)->Arg(16)->Iterations(1)->Unit(benchmark::kSecond);

// The reference for the figure above: a bare OpenAL context on the same
// device with 17 stopped sources, each holding a 0.1 s buffer, over 10 s.
// range(0): 0 takes the library's defaults (its output limiter on), 1
// turns the limiter off as the engine does.
void BM_BareContextIdleCpu(benchmark::State& state) {
    ALCdevice* device = alcOpenDevice(nullptr);
    if (device == nullptr) {
        state.SkipWithError("no sound device");
        return;
    }
    const ALCint attributes[] = {ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, 0};
    ALCcontext* context = alcCreateContext(device, state.range(0) == 1 ? attributes : nullptr);
    alcMakeContextCurrent(context);
    constexpr ALsizei Sources = 17;
    ALuint buffers[Sources] = {};
    ALuint sources[Sources] = {};
    const std::vector<int16_t> sound(4410 * 2, 1000);
    alGenBuffers(Sources, buffers);
    alGenSources(Sources, sources);
    for (ALsizei i = 0; i < Sources; ++i) {
        alBufferData(buffers[i], AL_FORMAT_STEREO16, sound.data(),
                     static_cast<ALsizei>(sound.size() * 2), 44100);
        alSourcei(sources[i], AL_BUFFER, static_cast<ALint>(buffers[i]));
    }
    double percent = 0;
    for (auto _ : state) percent = CpuPercentOverTenSeconds();
    state.counters["cpu_percent_of_one_core"] = percent;
    alDeleteSources(Sources, sources);
    alDeleteBuffers(Sources, buffers);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}
BENCHMARK(BM_BareContextIdleCpu)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// The floor under the figure above: range(0) bare threads that only sleep
// 1 ms in a loop, without the engine, over 10 s.
void BM_SleepingThreadsCpu(benchmark::State& state) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int64_t i = 0; i < state.range(0); ++i) {
        threads.emplace_back([&stop] {
            while (!stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    double percent = 0;
    for (auto _ : state) percent = CpuPercentOverTenSeconds();
    stop.store(true);
    for (std::thread& t : threads) t.join();
    state.counters["cpu_percent_of_one_core"] = percent;
}
BENCHMARK(BM_SleepingThreadsCpu)->Arg(16)->Iterations(1)->Unit(benchmark::kSecond);

// From the moment the engine's thread sees a 10 ms sound stopped to its
// stop report, over 100 plays: median and worst in microseconds. A report
// that came first counts as 0.
void BM_StopReportLatency(benchmark::State& state) {
    testsupport::TempDir dir;
    const std::string path = dir.file("short.wav");
    testsupport::WriteFile(path, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 441)));
    TimingListener listener;
    SoundEngine engine;
    if (!OpenWithSlots(state, engine, listener, path, 1)) return;
    std::vector<double> micros;
    for (auto _ : state) {
        micros.clear();
        for (int play = 0; play < 100; ++play) {
            const int before = listener.Reports();
            if (!engine.PlaySlot(0)) {
                state.SkipWithError("play failed");
                return;
            }
            while (engine.IsSlotPlaying(0)) {
            }
            const auto ended = Clock::now();
            while (listener.Reports() == before) std::this_thread::yield();
            const std::chrono::duration<double, std::micro> late = listener.LastReport() - ended;
            micros.push_back(std::max(0.0, late.count()));
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["worst_us"] = micros.back();
}
BENCHMARK(BM_StopReportLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Headless by default; a real device is used when asked for.
    setenv("ALSOFT_DRIVERS", "null", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
