// Writes a few short demonstration sounds (drum-like hits and tones) into a
// folder, in the formats the instrument accepts, for the README's first run.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "SoundFileWriter.h"

using namespace testsupport;

namespace {

Pcm Synth(int channels, int bits, uint32_t rate, double seconds, double freq, double decay,
          double noise) {
    Pcm p;
    p.channels = channels;
    p.bitsPerSample = bits;
    p.sampleRate = rate;
    const auto frames = static_cast<size_t>(seconds * rate);
    p.samples.resize(frames * static_cast<size_t>(channels));
    uint32_t seed = 0x1234567u;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        seed = seed * 1664525u + 1013904223u;
        const double n = (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) * noise;
        const double env = std::exp(-t * decay);
        const double tone = std::sin(2 * M_PI * freq * t * (1.0 + 0.5 * std::exp(-t * 30)));
        for (int c = 0; c < channels; ++c) {
            const double pan = channels == 2 ? (c == 0 ? 0.9 : 0.7) : 1.0;
            const double v = (tone * (1.0 - noise) + n) * env * pan * 24000.0;
            auto s = static_cast<int16_t>(std::lround(v));
            if (bits == 8) s = static_cast<int16_t>(s & ~0xFF);
            p.samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = s;
        }
    }
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-sounds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);
    bool ok = true;
    ok &= WriteFile(dir + "/01-kick.wav", MakeWav(Synth(1, 16, 44100, 0.45, 55, 9, 0.05)));
    ok &= WriteFile(dir + "/02-snare.wav", MakeWav(Synth(2, 16, 48000, 0.30, 190, 14, 0.6)));
    ok &= WriteFile(dir + "/03-hat.aif", MakeAiff(Synth(1, 16, 22050, 0.12, 4000, 35, 0.9)));
    ok &= WriteFile(dir + "/04-tom.aiff", MakeAiff(Synth(2, 16, 24000, 0.40, 110, 8, 0.1)));
    ok &= WriteFile(dir + "/05-blip.wav", MakeWav(Synth(1, 8, 22050, 0.20, 880, 12, 0.0)));
    ok &= WriteFile(dir + "/06-pad.wav", MakeWav(Synth(2, 16, 44100, 1.50, 220, 1.5, 0.02)));
    if (!ok) {
        std::fprintf(stderr, "make-demo-sounds: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
