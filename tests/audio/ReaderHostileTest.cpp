// Sizes and fields from a file are untrusted: every damaged or lying file
// gets a result code, never a read outside the input.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <string>

#include "ReaderTestUtil.h"
#include "audio/ReadFailure.h"

using namespace testsupport;

namespace {

Bytes CanonicalWav() { return MakeWav(MakeRamp(2, 16, 22050, 400)); }
Bytes CanonicalAiff() {
    AiffLayout l;
    l.beforeComm = {Chunk{"COMT", Bytes(10, 1)}};
    l.ssndOffset = 8;
    return MakeAiff(MakeRamp(2, 16, 22050, 400), l);
}

// Reads a copy on the heap of exactly the given length, so that a read past
// the end is seen by the sanitizers.
int ReadExact(const Bytes& b) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[b.size() + 1]);
    std::copy(b.begin(), b.end(), copy.get());
    auto record = std::make_unique<AudioData>();
    return ReadFromMemory(b.empty() ? nullptr : copy.get(), b.size(), [&](ByteSource& source) {
        return ReadAudioSource(source, record.get(), HostLittleEndian);
    });
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void PutBe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

TEST(ReaderHostile, CutShortAtEveryOffset) {
    // A WAV cut inside its header is short (2); cut inside the samples the
    // declared data no longer fits (2). An AIFF cut between chunks has no
    // SSND (4); inside a chunk it is short (2).
    const Bytes wav = CanonicalWav();
    for (size_t cut = 4; cut < wav.size(); ++cut) {
        const Bytes part(wav.begin(), wav.begin() + static_cast<long>(cut));
        ASSERT_EQ(ReadExact(part), ReadShort) << "WAV cut at " << cut;
    }
    const Bytes aiff = CanonicalAiff();
    for (size_t cut = 4; cut < aiff.size(); ++cut) {
        const Bytes part(aiff.begin(), aiff.begin() + static_cast<long>(cut));
        const int code = ReadExact(part);
        ASSERT_TRUE(code == ReadShort || code == ReadAiffStructure) << "AIFF cut at " << cut;
        // Right after the form type or after the COMT chunk there is no chunk.
        if (cut == 12 || cut == 30) {
            EXPECT_EQ(code, ReadAiffStructure) << cut;
        }
    }
}

TEST(ReaderHostile, ChunkSizesThatLie) {
    // A LIST chunk between fmt and data with absurd sizes.
    for (uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF8u, 1000000u}) {
        WavLayout l;
        Chunk list{"LIST", Bytes(6, 0)};
        list.declaredSize = size;
        l.afterFmt = {list};
        EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 44100, 64), l)), ReadShort) << size;
    }
    // A zero-size chunk is fine.
    WavLayout empty;
    empty.afterFmt = {Chunk{"LIST", {}}};
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 44100, 64), empty)), ReadOk);

    // A data chunk that claims more than the file holds: short when less
    // than a second is there, fine when the first second is complete.
    WavLayout big;
    big.dataSizeOverride = 0xFFFFFFFF;
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 44100, 64), big)), ReadShort);
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 8, 22050, 22050), big)), ReadOk);

    // No sample bytes at all, or less than one frame.
    WavLayout none;
    none.dataSizeOverride = 0;
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 44100, 64), none)), ReadBadArgument);
    Pcm odd = MakeRamp(2, 16, 44100, 0);
    Bytes oneByte = MakeWav(odd);
    PutLe32(oneByte, oneByte.size() - 4, 3);
    oneByte.insert(oneByte.end(), {1, 2, 3, 0});
    EXPECT_EQ(ReadExact(oneByte), ReadBadArgument);

    // Too few frames to resample.
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 48000, 3))), ReadBadArgument);
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 48000, 4))), ReadOk);
}

TEST(ReaderHostile, FmtChunkOddities) {
    Bytes shortFmt = CanonicalWav();
    PutLe32(shortFmt, 16, 14);  // declared shorter than its fields: not used
    EXPECT_EQ(ReadExact(shortFmt), ReadOk);

    // A fmt chunk that really is shorter than its 16 standard bytes: the
    // fields run into the next chunk's header and the walk ends short.
    ByteWriter shortBody;
    shortBody.tag("RIFF").u32le(0).tag("WAVE").tag("fmt ").u32le(14);
    shortBody.u16le(1).u16le(1).u32le(44100).u32le(88200).u16le(2);
    shortBody.tag("data").u32le(8).zeros(8);
    EXPECT_EQ(ReadExact(shortBody.take()), ReadShort);

    Bytes hugeFmt = CanonicalWav();
    PutLe32(hugeFmt, 16, 0xFFFFFFFF);
    EXPECT_EQ(ReadExact(hugeFmt), ReadShort);

    // A second fmt chunk is walked over like any other chunk.
    WavLayout twoFmt;
    twoFmt.afterFmt = {Chunk{"fmt ", Bytes(16, 0)}};
    EXPECT_EQ(ReadExact(MakeWav(MakeRamp(1, 16, 44100, 64), twoFmt)), ReadOk);

    for (uint32_t rate : {0u, 1u, 32000u, 0xFFFFFFFFu}) {
        Bytes b = CanonicalWav();
        PutLe32(b, 24, rate);
        EXPECT_EQ(ReadExact(b), ReadBadSampleRate) << rate;
    }
    for (uint16_t channels : {0, 3, 65535}) {
        Bytes b = CanonicalWav();
        b[22] = static_cast<uint8_t>(channels);
        b[23] = static_cast<uint8_t>(channels >> 8);
        EXPECT_EQ(ReadExact(b), ReadBadChannels) << channels;
    }
    for (uint16_t bits : {0, 4, 24, 32}) {
        Bytes b = CanonicalWav();
        b[34] = static_cast<uint8_t>(bits);
        EXPECT_EQ(ReadExact(b), ReadBadSampleSize) << bits;
    }
}

TEST(ReaderHostile, AiffRatesThatAreNotNumbers) {
    // Infinite, NaN, negative, denormal, huge and tiny rates are refused as
    // unsupported rates, never converted with undefined behaviour.
    const uint8_t rates[][10] = {
        {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0},                       // infinity
        {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0},                       // NaN
        {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0},                    // -44,100
        {0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 1},                       // denormal
        {0x7F, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // huge
        {0x40, 0x3F, 0xFF, 0, 0, 0, 0, 0, 0, 0},                       // 2^64-ish
        {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0},                       // 1.0
    };
    for (const auto& rate : rates) {
        AiffLayout l;
        l.rawRate = true;
        std::copy(std::begin(rate), std::end(rate), l.rateBytes);
        EXPECT_EQ(ReadExact(MakeAiff(MakeRamp(1, 16, 44100, 64), l)), ReadBadSampleRate);
    }
}

TEST(ReaderHostile, SsndOffsetsAndSizes) {
    // An offset beyond the file is a failed skip; one beyond its chunk but
    // inside the file leaves no sample bytes.
    Bytes b = MakeAiff(MakeRamp(1, 16, 44100, 64));
    const size_t ssnd = b.size() - 128 - 16;
    ASSERT_EQ(b[ssnd], 'S');
    Bytes far = b;
    PutBe32(far, ssnd + 8, 0xFFFFFFF0);
    EXPECT_EQ(ReadExact(far), ReadShort);
    Bytes beyondChunk = b;
    PutBe32(beyondChunk, ssnd + 8, 100);
    PutBe32(beyondChunk, ssnd + 4, 20);
    EXPECT_EQ(ReadExact(beyondChunk), ReadBadArgument);
    Bytes tinyChunk = b;
    PutBe32(tinyChunk, ssnd + 4, 4);
    EXPECT_EQ(ReadExact(tinyChunk), ReadBadArgument);

    // Garbage after the last chunk does not matter.
    Bytes tail = b;
    tail.insert(tail.end(), 37, 0xEE);
    EXPECT_EQ(ReadExact(tail), ReadOk);
    Bytes wavTail = CanonicalWav();
    wavTail.insert(wavTail.end(), 37, 0xEE);
    EXPECT_EQ(ReadExact(wavTail), ReadOk);
}

TEST(ReaderHostile, ByteOrderCodeMustBeKnown) {
    const Bytes b = CanonicalWav();
    auto record = std::make_unique<AudioData>();
    EXPECT_EQ(ReadBytes(b, 3).code, ReadBadArgument);
    EXPECT_EQ(ReadFromMemory(nullptr, 5,
                             [&](ByteSource& source) {
                                 return ReadAudioSource(source, record.get(), HostLittleEndian);
                             }),
              ReadBadArgument);
}

// Every reader code has its own reason; a format refusal names what was found.
TEST(ReadFailure, EveryCodeHasItsOwnReason) {
    TempDir dir;
    const std::string path = dir.file("a.wav");
    { std::ofstream(path) << "RIFF"; }
    auto record = std::make_unique<AudioData>();
    record->channels = 3;
    record->bitsPerSample = 24;
    record->sampleRate = 32000;
    std::set<std::string> reasons;
    for (int code = ReadBadArgument; code <= ReadNoMemory; ++code) {
        const std::string reason = DescribeReadFailure(path, code, *record);
        EXPECT_FALSE(reason.empty()) << code;
        EXPECT_TRUE(reasons.insert(reason).second) << code << ": " << reason;
    }
    EXPECT_EQ(DescribeReadFailure(path, ReadBadSampleSize, *record),
              "unsupported sample size 24 bits; use 8 or 16");
    EXPECT_EQ(DescribeReadFailure(path, ReadBadSampleRate, *record),
              "unsupported sample rate 32000 Hz; use 22050, 24000, 44100 or 48000");
    EXPECT_EQ(DescribeReadFailure(dir.file("none.wav"), ReadShort, *record), "no such file");
}
