// From MIDI note-on to the row's first frame, on a real JACK server, for the
// program that is running there (the window or glwtool play --midi). Run by
// hand:
//
//   jackd --no-realtime -d dummy -r 44100 -p 256 &
//   sox -n -r 44100 -b 16 -c 1 click.wav synth 0.1 square 1000   # starts loud
//   glwtool play --midi click.wav &            # or the window, row 1 = click.wav
//   build-bench/tests/bench/glw_bench_midi_latency
//
// With busy processes beside it, start jackd in real time (jackd -R, where
// the user may): a server without real-time priority is itself starved,
// and its cycles, not the program, come late.
//
// BM_NoteToSoundAtJackOutputs: at the program's own JACK outputs
// (gridlume-voice-manager:out_1/out_2), 500 notes for row 1, each at a
// random frame within its cycle, 150 ms apart. Every note should sound
// exactly one period (256 frames) after its own frame: reports the median,
// the least and the most in frames, the notes off by more than one frame
// and the notes not heard.
//
// BM_NoteToFirstFrame: through a sound server that feeds JACK, its ports
// named by GLW_BENCH_SOUND_PORTS (a regular expression, "^PulseAudio JACK
// Sink" when unset: PulseAudio's module-jack-sink on the same server, with
// the window's "Sound output" on "Sound device" and the program on
// ALSOFT_DRIVERS=pulse); that figure includes the server's own buffering.
// 100 notes for row 1, 300 ms apart, at the cycle's first frame. Reports
// the median and the worst in milliseconds.
//
// Latency = first output frame of the row (above -40 dBFS) - the frame the
// note went out at, both on the server's clock.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "JackProbe.h"

namespace {

constexpr int Notes = 100;
constexpr auto NoteSpacing = std::chrono::milliseconds(300);

void BM_NoteToFirstFrame(benchmark::State& state) {
    jackprobe::Probe probe(Notes * 0.3 + 2.0);
    const char* ports = std::getenv("GLW_BENCH_SOUND_PORTS");
    if (ports == nullptr || *ports == '\0') ports = "^PulseAudio JACK Sink";
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

constexpr int JackNotes = 500;
constexpr auto JackNoteSpacing = std::chrono::milliseconds(150);

void BM_NoteToSoundAtJackOutputs(benchmark::State& state) {
    // Room for the spacing and each send's wait for its cycle.
    jackprobe::Probe probe(JackNotes * 0.2 + 3.0);
    if (!probe.Ok() || !probe.ConnectToProgram(std::chrono::seconds(5))) {
        state.SkipWithError("no JACK server with gridlume-voice-manager:midi_in, out_1 and out_2");
        return;
    }
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> frame(0, jackprobe::Period - 1);
    std::vector<long> latencies;
    int lost = 0;
    for (auto _ : state) {
        probe.StartRecording();
        std::vector<long> sent;
        for (int i = 0; i < JackNotes; ++i) {
            sent.push_back(probe.SendNoteOn(60, 127, frame(random)));
            if (sent.back() < 0) {
                state.SkipWithError("the recording was full before the last note");
                return;
            }
            std::this_thread::sleep_for(JackNoteSpacing);
        }
        for (size_t i = 0; i < sent.size(); ++i) {
            const long at = sent[i];
            // Heard only before the next note went out.
            const long heard = at < 0 ? -1 : probe.FirstSound(at);
            const bool inTime = heard >= 0 && (i + 1 == sent.size() || heard < sent[i + 1]);
            if (inTime) {
                latencies.push_back(heard - at);
            } else {
                ++lost;
            }
            // Each note off the period, named, for a look at the recording.
            if (!inTime || std::labs(heard - at - jackprobe::Period) > 1) {
                std::fprintf(stderr, "note %zu at frame %ld (offset %ld): %s %ld\n", i, at,
                             at % jackprobe::Period,
                             inTime ? "heard after" : "not heard, first sound",
                             inTime ? heard - at : heard);
            }
        }
    }
    if (latencies.empty()) {
        state.SkipWithError("no note was heard");
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto offPeriod = std::count_if(latencies.begin(), latencies.end(), [](long frames) {
        return frames < jackprobe::Period - 1 || frames > jackprobe::Period + 1;
    });
    state.counters["median_frames"] = static_cast<double>(latencies[latencies.size() / 2]);
    state.counters["least_frames"] = static_cast<double>(latencies.front());
    state.counters["most_frames"] = static_cast<double>(latencies.back());
    state.counters["off_by_more_than_1"] = static_cast<double>(offPeriod);
    state.counters["lost"] = lost;
    state.counters["median_ms"] = latencies[latencies.size() / 2] * 1000.0 / jackprobe::Rate;
}
BENCHMARK(BM_NoteToSoundAtJackOutputs)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
