// From MIDI note-on to the row's first frame at the sound device, on a real
// JACK server, for the program that is running there (the window or
// glwtool play --midi). Run by hand:
//
//   jackd --no-realtime -d dummy -r 44100 -p 256 &
//   sox -n -r 44100 -b 16 -c 1 click.wav synth 0.1 square 1000   # starts loud
//   ALSOFT_DRIVERS=jack glwtool play --midi click.wav &           # or the window, row 1 =
//   click.wav build-bench/tests/bench/glw_bench_midi_latency
//
// The sound may also reach JACK through a sound server: GLW_BENCH_SOUND_PORTS
// names its ports (a regular expression, "^alsoft" when unset), e.g.
// "^PulseAudio JACK Sink" for PulseAudio's module-jack-sink with the
// program on ALSOFT_DRIVERS=pulse; that figure includes the server's own
// buffering.
//
// 100 notes for row 1, 300 ms apart; latency = first output frame of the row
// (above -40 dBFS) - the frame the note went out at, both on the server's
// clock. Reports the median and the worst, in milliseconds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "JackProbe.h"

namespace {

constexpr int Notes = 100;
constexpr auto NoteSpacing = std::chrono::milliseconds(300);

void BM_NoteToFirstFrame(benchmark::State& state) {
    jackprobe::Probe probe(Notes * 0.3 + 2.0);
    const char* ports = std::getenv("GLW_BENCH_SOUND_PORTS");
    if (ports == nullptr || *ports == '\0') ports = "^alsoft";
    if (!probe.Ok() || !probe.ConnectToProgram(std::chrono::seconds(5), ports)) {
        state.SkipWithError(
            "no JACK server with gridlume-voice-manager:midi_in and the sound's outputs");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        probe.StartRecording();
        std::vector<long> sent;
        for (int i = 0; i < Notes; ++i) {
            sent.push_back(probe.SendNoteOn(60, 127));
            std::this_thread::sleep_for(NoteSpacing);
        }
        for (const long at : sent) {
            const long heard = at < 0 ? -1 : probe.FirstSound(at);
            if (heard >= 0) latencies.push_back((heard - at) * 1000.0 / jackprobe::Rate);
        }
    }
    if (latencies.size() < Notes) {
        state.SkipWithError("some notes were not heard");
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = (latencies[Notes / 2 - 1] + latencies[Notes / 2]) / 2;
    state.counters["worst_ms"] = latencies.back();
    state.counters["best_ms"] = latencies.front();
}
BENCHMARK(BM_NoteToFirstFrame)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
