// Files in the layouts real writers produce, and the result code of every
// refusal.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ReaderTestUtil.h"
#include "audio/SampleConversion.h"

using namespace testsupport;

namespace {

Chunk Bytes_(const char* tag, size_t n, uint8_t fill = 0x41) { return Chunk{tag, Bytes(n, fill)}; }

// The samples a 44,100 Hz file must come back with, unchanged.
void ExpectSamples(const AudioData& d, const Pcm& pcm) {
    const size_t frames = pcm.samples.size() / static_cast<size_t>(pcm.channels);
    ASSERT_GE(static_cast<size_t>(d.frames), frames);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(d.left[i], pcm.samples[i * static_cast<size_t>(pcm.channels)]) << "frame " << i;
        const int16_t right = pcm.channels == 2 ? pcm.samples[i * 2 + 1] : 0;
        ASSERT_EQ(d.right[i], right) << "frame " << i;
    }
    for (size_t i = frames; i < static_cast<size_t>(d.frames); ++i) {
        ASSERT_EQ(d.left[i], 0);
        ASSERT_EQ(d.right[i], 0);
    }
}

}  // namespace

TEST(ReaderFormats, MonoFileAt44kKeepsItsSamplesAndRoundsUpTo16) {
    const Pcm pcm = MakeRamp(1, 16, 44100, 1000);
    const auto r = ReadBytes(MakeWav(pcm));
    ASSERT_EQ(r.code, ReadOk);
    EXPECT_EQ(r.record->channels, 1);
    EXPECT_EQ(+r.record->sampleRate, 44100);
    EXPECT_EQ(r.record->bitsPerSample, 16);
    EXPECT_EQ(r.record->frames, 1008);
    ExpectSamples(*r.record, pcm);
}

TEST(ReaderFormats, OnlyTheFirstSecondIsReadAndTheResultIsCapped) {
    // The data chunk claims three seconds but only the first is in the file:
    // nothing past one second may be read.
    Pcm pcm = MakeRamp(2, 16, 48000, 48000);
    WavLayout layout;
    layout.dataSizeOverride = 3 * 48000 * 4;
    const auto r = ReadBytes(MakeWav(pcm, layout));
    ASSERT_EQ(r.code, ReadOk);
    EXPECT_EQ(r.record->frames, MaxVoiceFrames);
    EXPECT_EQ(+r.record->sampleRate, 48000);
    EXPECT_EQ(r.record->left[0], pcm.samples[0]);
    EXPECT_EQ(r.record->right[0], pcm.samples[1]);
}

TEST(ReaderFormats, EightBitSamplesScaleToSixteen) {
    // WAV 8-bit is unsigned around 128; AIFF 8-bit is signed.
    ByteWriter w;
    w.tag("RIFF").u32le(0).tag("WAVE");
    w.tag("fmt ").u32le(16).u16le(1).u16le(1).u32le(44100).u32le(44100).u16le(1).u16le(8);
    w.tag("data").u32le(3).u8(128).u8(255).u8(0).u8(0);  // odd data, pad byte
    const Bytes wav = w.take();
    auto r = ReadBytes(wav);
    ASSERT_EQ(r.code, ReadOk);
    EXPECT_EQ(r.record->left[0], 0);
    EXPECT_EQ(r.record->left[1], 32512);
    EXPECT_EQ(r.record->left[2], -32768);

    ByteWriter a;
    uint8_t rate[10];
    DoubleToExtended(44100, rate);
    a.tag("FORM").u32be(0).tag("AIFF");
    a.tag("COMM").u32be(18).u16be(1).u32be(2).u16be(8);
    for (uint8_t b : rate) a.u8(b);
    a.tag("SSND").u32be(10).u32be(0).u32be(0).u8(0x80).u8(0x7F);
    r = ReadBytes(a.take());
    ASSERT_EQ(r.code, ReadOk);
    EXPECT_EQ(r.record->left[0], -32768);
    EXPECT_EQ(r.record->left[1], 32512);
}

TEST(ReaderFormats, WaveLayoutsOfOtherWritersAllReadTheSame) {
    const Pcm pcm = MakeRamp(2, 16, 44100, 300);
    const auto reference = ReadBytes(MakeWav(pcm));
    ASSERT_EQ(reference.code, ReadOk);

    struct Case {
        const char* name;
        WavLayout layout;
    };
    std::vector<Case> cases;
    cases.push_back({"fmt of 18 bytes", [] {
                         WavLayout l;
                         l.fmtSize = 18;
                         return l;
                     }()});
    cases.push_back({"extensible fmt of 40 bytes", [] {
                         WavLayout l;
                         l.fmtSize = 40;
                         l.formatTag = 0xFFFE;
                         return l;
                     }()});
    cases.push_back({"fact", [] {
                         WavLayout l;
                         l.afterFmt = {Bytes_("fact", 4)};
                         return l;
                     }()});
    cases.push_back({"LIST, bext and iXML of odd sizes with pad bytes", [] {
                         WavLayout l;
                         l.afterFmt = {Bytes_("LIST", 26), Bytes_("bext", 603), Bytes_("iXML", 77)};
                         return l;
                     }()});
    cases.push_back({"odd chunk without its pad byte", [] {
                         WavLayout l;
                         Chunk c = Bytes_("iXML", 77);
                         c.padOdd = false;
                         l.afterFmt = {c, Bytes_("JUNK", 12)};
                         return l;
                     }()});
    cases.push_back({"fact then LIST", [] {
                         WavLayout l;
                         l.afterFmt = {Bytes_("fact", 4), Bytes_("LIST", 9)};
                         return l;
                     }()});
    cases.push_back({"chunks after the data", [] {
                         WavLayout l;
                         l.afterData = {Bytes_("LIST", 30)};
                         return l;
                     }()});
    for (const auto& c : cases) {
        const auto r = ReadBytes(MakeWav(pcm, c.layout));
        ASSERT_EQ(r.code, ReadOk) << c.name;
        EXPECT_TRUE(*r.record == *reference.record) << c.name;
    }
}

TEST(ReaderFormats, AiffLayoutsOfOtherWritersAllReadTheSame) {
    const Pcm pcm = MakeRamp(2, 16, 44100, 300);
    const auto reference = ReadBytes(MakeAiff(pcm));
    ASSERT_EQ(reference.code, ReadOk);
    ExpectSamples(*reference.record, pcm);

    std::vector<std::pair<const char*, AiffLayout>> cases;
    cases.push_back({"COMT, ANNO and MARK before COMM", [] {
                         AiffLayout l;
                         l.beforeComm = {Bytes_("COMT", 20), Bytes_("ANNO", 13), Bytes_("MARK", 2)};
                         return l;
                     }()});
    cases.push_back({"SSND with an offset", [] {
                         AiffLayout l;
                         l.ssndOffset = 64;
                         return l;
                     }()});
    cases.push_back({"COMM larger than 18 bytes", [] {
                         AiffLayout l;
                         l.commExtraBytes = 6;
                         return l;
                     }()});
    cases.push_back({"COMM of odd size", [] {
                         AiffLayout l;
                         l.commExtraBytes = 3;
                         return l;
                     }()});
    cases.push_back({"chunks between COMM and SSND", [] {
                         AiffLayout l;
                         l.betweenCommSsnd = {Bytes_("APPL", 11), Bytes_("INST", 20)};
                         return l;
                     }()});
    for (const auto& [name, layout] : cases) {
        const auto r = ReadBytes(MakeAiff(pcm, layout));
        ASSERT_EQ(r.code, ReadOk) << name;
        EXPECT_TRUE(*r.record == *reference.record) << name;
    }
}

TEST(ReaderFormats, EveryAcceptedFormatReads) {
    for (int channels : {1, 2})
        for (int bits : {8, 16})
            for (uint32_t rate : {22050u, 24000u, 44100u, 48000u}) {
                const Pcm pcm = MakeRamp(channels, bits, rate, 2000);
                for (const Bytes& file : {MakeWav(pcm), MakeAiff(pcm)}) {
                    const auto r = ReadBytes(file);
                    ASSERT_EQ(r.code, ReadOk) << channels << "ch " << bits << "bit " << rate;
                    EXPECT_EQ(r.record->channels, channels);
                    EXPECT_EQ(r.record->bitsPerSample, bits);
                    EXPECT_EQ(+r.record->sampleRate, static_cast<int32_t>(rate));
                    EXPECT_EQ(r.record->frames % 16, 0);
                }
            }
}

TEST(ReaderFormats, RefusalsCarryTheirCodes) {
    auto withFormat = [](Bytes b, uint16_t channels, uint32_t rate, uint16_t bits) {
        // Patch the standard fmt fields of a canonical file.
        b[22] = static_cast<uint8_t>(channels);
        b[23] = static_cast<uint8_t>(channels >> 8);
        for (int i = 0; i < 4; ++i)
            b[24 + static_cast<size_t>(i)] = static_cast<uint8_t>(rate >> (8 * i));
        b[34] = static_cast<uint8_t>(bits);
        b[35] = static_cast<uint8_t>(bits >> 8);
        return b;
    };
    const Bytes good = MakeWav(MakeRamp(1, 16, 44100, 64));
    EXPECT_EQ(ReadBytes(withFormat(good, 1, 32000, 16)).code, ReadBadSampleRate);
    EXPECT_EQ(ReadBytes(withFormat(good, 1, 44100, 24)).code, ReadBadSampleSize);
    EXPECT_EQ(ReadBytes(withFormat(good, 4, 44100, 16)).code, ReadBadChannels);
    // Several faults: the first in the order channels, size, rate is named.
    EXPECT_EQ(ReadBytes(withFormat(good, 0, 8000, 24)).code, ReadBadChannels);
    EXPECT_EQ(ReadBytes(withFormat(good, 2, 8000, 24)).code, ReadBadSampleSize);

    WavLayout junkFirst;
    junkFirst.beforeFmt = {Bytes_("JUNK", 28)};
    EXPECT_EQ(ReadBytes(MakeWav(MakeRamp(1, 16, 44100, 64), junkFirst)).code, ReadWaveStructure);

    Bytes rifx = good;
    rifx[3] = 'X';
    EXPECT_EQ(ReadBytes(rifx).code, ReadNotRecognised);
    EXPECT_EQ(ReadBytes({}).code, ReadNotRecognised);
    EXPECT_EQ(ReadBytes({'R', 'I', 'F'}).code, ReadNotRecognised);
    Bytes notWave = good;
    notWave[8] = 'A';
    EXPECT_EQ(ReadBytes(notWave).code, ReadWaveStructure);

    AiffLayout ssndFirst;
    ssndFirst.ssndBeforeComm = true;
    EXPECT_EQ(ReadBytes(MakeAiff(MakeRamp(1, 16, 44100, 64), ssndFirst)).code, ReadAiffStructure);
    AiffLayout aifc;
    aifc.aifc = true;
    EXPECT_EQ(ReadBytes(MakeAiff(MakeRamp(1, 16, 44100, 64), aifc)).code, ReadAiffStructure);
    Bytes noSsnd = ByteWriter().tag("FORM").u32be(4).tag("AIFF").take();
    EXPECT_EQ(ReadBytes(noSsnd).code, ReadAiffStructure);
}

TEST(ReaderFormats, AiffRatesConvertExactly) {
    // 22,050 Hz has exponent 16,397 and 48,000 Hz exponent 16,398.
    uint8_t ext[10];
    DoubleToExtended(22050, ext);
    EXPECT_EQ((ext[0] << 8) | ext[1], 16397);
    EXPECT_EQ(ExtendedToDouble(ext), 22050.0);
    DoubleToExtended(48000, ext);
    EXPECT_EQ((ext[0] << 8) | ext[1], 16398);
    EXPECT_EQ(ExtendedToDouble(ext), 48000.0);
    DoubleToExtended(44100.5, ext);
    EXPECT_EQ(ExtendedToDouble(ext), 44100.5);
    // The low 11 significand bits are dropped, not rounded.
    const uint8_t allOnes[10] = {0x40, 0x0E, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ExtendedToDouble(allOnes), 65536.0 - std::ldexp(1.0, -37));
}

TEST(ReaderFiles, FileAndMemoryEntriesAgree) {
    TempDir dir;
    const Bytes file = MakeAiff(MakeRamp(2, 8, 24000, 5000));
    ASSERT_TRUE(WriteFile(dir.file("a.aif"), file));
    auto fromFile = std::make_unique<AudioData>();
    ASSERT_EQ(ReadAudioFile(dir.file("a.aif").c_str(), fromFile.get(), HostLittleEndian), ReadOk);
    const auto fromMemory = ReadBytes(file);
    EXPECT_TRUE(*fromFile == *fromMemory.record);

    int kind = 0;
    EXPECT_TRUE(DetectContainer(dir.file("a.aif").c_str(), &kind));
    EXPECT_EQ(kind, ContainerAiff);

    auto scratch = std::make_unique<AudioData>();
    EXPECT_EQ(ReadAudioFile(dir.file("missing.wav").c_str(), scratch.get(), 1), ReadShort);
    EXPECT_EQ(ReadAudioFile(dir.path().c_str(), scratch.get(), 1), ReadNotRecognised);
    EXPECT_EQ(ReadAudioFile(nullptr, scratch.get(), 1), ReadBadArgument);
    EXPECT_EQ(ReadAudioFile(dir.file("a.aif").c_str(), nullptr, 1), ReadBadArgument);
    EXPECT_FALSE(DetectContainer(dir.file("missing.wav").c_str(), &kind));
}
