// Writes the fuzz targets' seed corpora, committed under tests/fuzz/corpus
// (run again after changing this program):
//   reader/  every accepted format in both containers, the layouts other
//            writers produce, and malformed variants;
//   bank_check/  banks from the builder in several shapes, and damaged copies;
//   convert/  tiny files in the formats only the converter reads, written by
//             libsndfile, beside one the strict reader takes.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

using namespace testsupport;

namespace {

int written = 0;
std::string outDir;

void Put(const std::string& name, const Bytes& b) {
    if (WriteFile(outDir + "/" + name, b)) ++written;
}

Chunk Filler(const char* tag, size_t n) { return Chunk{tag, Bytes(n, 0x33)}; }

void PatchLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-corpus CORPUS-DIR\n");
        return 2;
    }
    const std::string root = argv[1];
    outDir = root + "/reader";
    std::filesystem::create_directories(outDir);

    for (int ch : {1, 2})
        for (int bits : {8, 16})
            for (uint32_t rate : {22050u, 24000u, 44100u, 48000u}) {
                const Pcm pcm = MakeRamp(ch, bits, rate, 40);
                const std::string tag = std::to_string(ch) + "ch-" + std::to_string(bits) + "bit-" +
                                        std::to_string(rate);
                Put("ok-" + tag + ".wav", MakeWav(pcm));
                Put("ok-" + tag + ".aif", MakeAiff(pcm));
            }

    const Pcm pcm = MakeRamp(2, 16, 22050, 24);
    WavLayout l;
    l.fmtSize = 18;
    Put("ok-fmt18.wav", MakeWav(pcm, l));
    l = {};
    l.fmtSize = 40;
    l.formatTag = 0xFFFE;
    Put("ok-extensible.wav", MakeWav(pcm, l));
    l = {};
    l.afterFmt = {Filler("fact", 4), Filler("LIST", 9), Filler("bext", 5), Filler("iXML", 3)};
    l.afterData = {Filler("JUNK", 6)};
    Put("ok-chunks.wav", MakeWav(pcm, l));
    l = {};
    Chunk noPad = Filler("iXML", 7);
    noPad.padOdd = false;
    l.afterFmt = {noPad};
    Put("ok-nopad.wav", MakeWav(pcm, l));

    AiffLayout a;
    a.beforeComm = {Filler("COMT", 10), Filler("ANNO", 5), Filler("MARK", 2)};
    a.ssndOffset = 12;
    a.commExtraBytes = 3;
    Put("ok-chunks.aif", MakeAiff(pcm, a));

    // Malformed.
    l = {};
    l.beforeFmt = {Filler("JUNK", 4)};
    Put("bad-junk-first.wav", MakeWav(pcm, l));
    Bytes b = MakeWav(pcm);
    b[3] = 'X';
    Put("bad-rifx.wav", b);
    b = MakeWav(pcm);
    PatchLe32(b, 16, 0xFFFFFFFF);
    Put("bad-fmt-size.wav", b);
    b = MakeWav(pcm);
    PatchLe32(b, 24, 32000);
    Put("bad-rate.wav", b);
    b = MakeWav(pcm);
    b[34] = 24;
    Put("bad-bits.wav", b);
    b = MakeWav(pcm);
    b[22] = 4;
    Put("bad-channels.wav", b);
    l = {};
    l.dataSizeOverride = 0xFFFFFFFF;
    Put("bad-data-size.wav", MakeWav(pcm, l));
    b = MakeWav(pcm);
    b.resize(50);
    Put("bad-cut.wav", b);
    a = {};
    a.aifc = true;
    Put("bad-aifc.aif", MakeAiff(pcm, a));
    a = {};
    a.ssndBeforeComm = true;
    Put("bad-ssnd-first.aif", MakeAiff(pcm, a));
    a = {};
    a.rawRate = true;
    const uint8_t nan[10] = {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0};
    std::copy(std::begin(nan), std::end(nan), a.rateBytes);
    Put("bad-nan-rate.aif", MakeAiff(pcm, a));
    Put("bad-empty", {});

    outDir = root + "/bank_check";
    std::filesystem::create_directories(outDir);
    struct Shape {
        const char* name;
        std::vector<std::pair<int, int>> rows;  // (channels, frames) for slots 0..
    };
    const Shape shapes[] = {
        {"empty", {}},
        {"one-mono", {{1, 16}}},
        {"mixed", {{1, 32}, {0, 0}, {2, 48}, {0, 0}, {2, 16}}},
        {"all-rows", std::vector<std::pair<int, int>>(16, {2, 16})},
    };
    for (const Shape& shape : shapes) {
        auto image = std::make_unique<VoiceBankImage>();
        (void)InitVoiceBankImage(image.get());
        for (size_t k = 0; k < shape.rows.size(); ++k) {
            AudioData& slot = image->voices[k];
            slot.channels = static_cast<int16_t>(shape.rows[k].first);
            slot.frames = shape.rows[k].second;
            for (int i = 0; i < slot.frames; ++i) {
                slot.left[i] = static_cast<int16_t>(i * 1031 + static_cast<int>(k));
                slot.right[i] = static_cast<int16_t>(-i * 517);
            }
        }
        std::vector<uint8_t> bank;
        if (!FillVoiceAddresses(image.get(), "SEED-1") || !BuildVoiceBankFile(image.get(), &bank))
            return 1;
        Put(std::string("ok-") + shape.name + ".glw", bank);
        Bytes damaged = bank;
        damaged[(bank::Element2Offset + bank::KeyMapOffset + 107) ^ 1u] ^= 0x01;  // a key-map entry
        Put(std::string("bad-") + shape.name + "-param.glw", damaged);
        damaged = bank;
        damaged.resize(damaged.size() - 2);
        Put(std::string("bad-") + shape.name + "-short.glw", damaged);
    }
    outDir = root + "/convert";
    std::filesystem::create_directories(outDir);
    struct Kind {
        const char* name;
        int format;
        int rate;
        int channels;
    };
    const Kind kinds[] = {
        {"pcm24-48000.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 1},
        {"float-96000.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, 2},
        {"six-channels.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 6},
        {"ulaw-8000.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1},
        {"float-32000.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 32000, 2},
        {"pcm24-96000.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2},
        {"vorbis-44100.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 1},
        {"pcm16-44100.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2},
    };
    for (const Kind& k : kinds) {
        std::vector<float> samples;
        for (int i = 0; i < 64 * k.channels; ++i)
            samples.push_back(static_cast<float>(0.5 * std::sin(i * 0.3)));
        if (WriteSoundFile(outDir + "/" + k.name, k.format, k.rate, k.channels, samples)) ++written;
    }
    std::printf("wrote %d files below %s\n", written, root.c_str());
    return 0;
}
