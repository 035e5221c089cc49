#include "audio/AudioReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "audio/ByteSource.h"
#include "audio/SampleConversionDetail.h"

namespace {

// Chunk tags, compared byte for byte.
using Tag = char[4];
constexpr char kRiff[4] = {'R', 'I', 'F', 'F'};
constexpr char kWave[4] = {'W', 'A', 'V', 'E'};
constexpr char kFmt[4] = {'f', 'm', 't', ' '};
constexpr char kFact[4] = {'f', 'a', 'c', 't'};
constexpr char kData[4] = {'d', 'a', 't', 'a'};
constexpr char kForm[4] = {'F', 'O', 'R', 'M'};
constexpr char kAiff[4] = {'A', 'I', 'F', 'F'};
constexpr char kComm[4] = {'C', 'O', 'M', 'M'};
constexpr char kSsnd[4] = {'S', 'S', 'N', 'D'};

// Fields the standard fmt and COMM chunks carry.
constexpr uint32_t kFmtStandardBytes = 16;
constexpr uint32_t kFmtWithExtensionSize = 18;
constexpr uint32_t kCommStandardBytes = 18;
// A chunk claiming 2 GiB or more is not something this reader walks over.
constexpr uint32_t kLargestChunk = 0x7FFFFFFFu;
constexpr size_t kMaxFrames = MaxVoiceFrames;

bool Is(const Tag& a, const char (&b)[4]) { return std::memcmp(a, b, 4) == 0; }

bool ReadTag(ByteSource& s, Tag& tag) { return s.Read(tag, 4) == 4; }

// Which fields need reversing: WAV fields on a big-endian host, AIFF fields
// on a little-endian one.
struct FieldOrder {
    bool reverse;
};
FieldOrder WaveOrder(int hostByteOrder) { return {hostByteOrder == HostBigEndian}; }
FieldOrder AiffOrder(int hostByteOrder) { return {hostByteOrder == HostLittleEndian}; }

template <typename T>
bool ReadField(ByteSource& s, FieldOrder order, T* value) {
    T v{};
    if (s.Read(&v, sizeof v) != sizeof v) return false;
    if (order.reverse) (void)ReverseBytes(&v, sizeof v);
    *value = v;
    return true;
}

// Walks over a chunk body of the declared size, then over the zero pad byte
// that RIFF and AIFF put after an odd body (a writer that left it out is
// still read right: a chunk tag never starts with a zero byte).
int SkipChunkBody(ByteSource& s, uint32_t size) {
    if (size > kLargestChunk || !s.Skip(size)) return ReadShort;
    if ((size & 1u) != 0 && s.Peek() == 0) (void)s.Skip(1);
    return ReadOk;
}

bool AcceptedRate(int32_t rate) {
    return rate == 22050 || rate == 24000 || rate == 44100 || rate == 48000;
}

// A rate converted from an 80-bit float becomes an int32 only when it fits;
// anything else (NaN, infinite, huge, negative beyond range) is stored as 0,
// which fails the rate check like any other unsupported rate.
int32_t TruncateRate(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return 0;
    return static_cast<int32_t>(d);
}

}  // namespace

bool ReverseBytes(void* p, size_t n) {
    if (p == nullptr || n == 0) return false;
    std::reverse(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + n);
    return true;
}

double ExtendedToDouble(const uint8_t bytes[10]) {
    if (bytes == nullptr) return 0.0;
    const uint64_t sign = bytes[0] >> 7;
    const uint32_t e = (static_cast<uint32_t>(bytes[0] & 0x7F) << 8) | bytes[1];
    uint64_t significand = 0;
    for (int i = 2; i < 10; ++i) significand = (significand << 8) | bytes[i];
    // Drop the explicit integer bit, keep the next 52 bits (truncated).
    const uint64_t fraction = (significand << 1) >> 12;
    // Exponent bits: E's top bit, a zero, E's bit 8, E's bits 7..0.
    const uint64_t exponent = (((e >> 14) & 1u) << 10) | (((e >> 8) & 1u) << 8) | (e & 0xFFu);
    const uint64_t bits = (sign << 63) | (exponent << 52) | fraction;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool DetectContainer(ByteSource& source, int* kind) {
    if (kind == nullptr || !source.SeekTo(0)) return false;
    Tag tag;
    if (!ReadTag(source, tag)) return false;
    if (Is(tag, kRiff)) {
        *kind = ContainerWave;
        return true;
    }
    if (Is(tag, kForm)) {
        *kind = ContainerAiff;
        return true;
    }
    return false;
}

bool DetectContainer(const char* path, int* kind) {
    auto source = FileSource::Open(path);
    if (!source) return false;
    return DetectContainer(*source, kind);
}

namespace {

int ReadSamplesFor(ByteSource& s, uint32_t dataBytes, AudioData* record, int sourceKind,
                   SampleWindow* window);

int ParseWaveFor(ByteSource& s, AudioData* record, int hostByteOrder, SampleWindow* window) {
    if (record == nullptr || !s.SeekTo(0)) return ReadBadArgument;
    const FieldOrder order = WaveOrder(hostByteOrder);
    Tag tag;
    uint32_t size = 0;

    if (!ReadTag(s, tag)) return ReadShort;
    if (!Is(tag, kRiff)) return ReadWaveStructure;
    if (!ReadField(s, order, &size)) return ReadShort;  // RIFF size, not used
    if (!ReadTag(s, tag)) return ReadShort;
    if (!Is(tag, kWave)) return ReadWaveStructure;
    // "fmt " must follow "WAVE" directly.
    if (!ReadTag(s, tag)) return ReadShort;
    if (!Is(tag, kFmt)) return ReadWaveStructure;

    uint32_t fmtSize = 0;
    uint16_t formatTag = 0;
    int16_t channels = 0;
    int32_t sampleRate = 0;
    uint8_t rateAndAlign[6];
    int16_t bits = 0;
    // Any format tag passes; channels, sample size and rate decide.
    if (!ReadField(s, order, &fmtSize) || !ReadField(s, order, &formatTag) ||
        !ReadField(s, order, &channels) || !ReadField(s, order, &sampleRate) ||
        s.Read(rateAndAlign, sizeof rateAndAlign) != sizeof rateAndAlign ||
        !ReadField(s, order, &bits))
        return ReadShort;
    record->channels = channels;
    record->sampleRate = sampleRate;
    record->bitsPerSample = bits;
    uint32_t fieldsRead = kFmtStandardBytes;
    if (fmtSize == kFmtWithExtensionSize) {
        uint16_t extensionSize = 0;
        if (!ReadField(s, order, &extensionSize)) return ReadShort;
        fieldsRead = kFmtWithExtensionSize;
    }
    // A larger fmt (extensible: 40 bytes) is walked to its declared end.
    if (fmtSize > fieldsRead) {
        if (const int r = SkipChunkBody(s, fmtSize - fieldsRead); r != ReadOk) return r;
    }

    if (!ReadTag(s, tag)) return ReadShort;
    if (Is(tag, kFact)) {
        if (!ReadField(s, order, &size)) return ReadShort;
        if (const int r = SkipChunkBody(s, size); r != ReadOk) return r;
        if (!ReadTag(s, tag)) return ReadShort;
    }
    while (!Is(tag, kData)) {
        if (!ReadField(s, order, &size)) return ReadShort;
        if (const int r = SkipChunkBody(s, size); r != ReadOk) return r;
        if (!ReadTag(s, tag)) return ReadShort;
    }
    uint32_t dataBytes = 0;
    if (!ReadField(s, order, &dataBytes)) return ReadShort;
    return ReadSamplesFor(s, dataBytes, record, SourceKindWave, window);
}

int ParseAiffFor(ByteSource& s, AudioData* record, int hostByteOrder, SampleWindow* window) {
    if (record == nullptr || !s.SeekTo(0)) return ReadBadArgument;
    const FieldOrder order = AiffOrder(hostByteOrder);
    Tag tag;
    uint32_t size = 0;

    if (!ReadTag(s, tag)) return ReadShort;
    if (!Is(tag, kForm)) return ReadAiffStructure;
    if (!ReadField(s, order, &size)) return ReadShort;  // FORM size, not used
    if (!ReadTag(s, tag)) return ReadShort;
    if (!Is(tag, kAiff)) return ReadAiffStructure;  // AIFC (compressed) included

    bool commSeen = false;
    for (;;) {
        if (!ReadTag(s, tag)) return ReadAiffStructure;  // ended before SSND
        if (Is(tag, kComm)) {
            int16_t channels = 0;
            uint32_t frameCount = 0;
            int16_t bits = 0;
            uint8_t rate[10];
            if (!ReadField(s, order, &size) || !ReadField(s, order, &channels) ||
                !ReadField(s, order, &frameCount) || !ReadField(s, order, &bits) ||
                s.Read(rate, sizeof rate) != sizeof rate)
                return ReadShort;
            record->channels = channels;
            record->bitsPerSample = bits;
            record->sampleRate = TruncateRate(ExtendedToDouble(rate));
            commSeen = true;
            if (size > kCommStandardBytes) {
                // Both standard sizes are even, so an odd chunk's pad is found here.
                if (const int r = SkipChunkBody(s, size - kCommStandardBytes); r != ReadOk)
                    return r;
            }
        } else if (Is(tag, kSsnd)) {
            if (!commSeen) return ReadAiffStructure;
            uint32_t offset = 0;
            uint32_t blockSize = 0;
            if (!ReadField(s, order, &size) || !ReadField(s, order, &offset) ||
                !ReadField(s, order, &blockSize))
                return ReadShort;
            if (offset > kLargestChunk || !s.Skip(offset)) return ReadShort;
            // An offset that reaches past the chunk leaves no sample bytes.
            const int64_t count = static_cast<int64_t>(size) - 8 - static_cast<int64_t>(offset);
            return ReadSamplesFor(s, count > 0 ? static_cast<uint32_t>(count) : 0u, record,
                                  SourceKindAiff, window);
        } else {
            if (!ReadField(s, order, &size)) return ReadShort;
            if (const int r = SkipChunkBody(s, size); r != ReadOk) return r;
        }
    }
}

int ReadSamplesFor(ByteSource& s, uint32_t dataBytes, AudioData* record, int sourceKind,
                   SampleWindow* window) {
    if (window == nullptr) return ReadSampleData(s, dataBytes, record, sourceKind);
    if (record == nullptr || dataBytes == 0) return ReadBadArgument;
    const int channels = record->channels;
    const int bits = record->bitsPerSample;
    if (channels != 1 && channels != 2) return ReadBadChannels;
    if (bits != 8 && bits != 16) return ReadBadSampleSize;
    if (!AcceptedRate(record->sampleRate)) return ReadBadSampleRate;
    // Whole frames the data chunk holds, as far as the file really has them.
    const auto frameBytes = static_cast<uint64_t>(channels) * static_cast<uint64_t>(bits / 8);
    const uint64_t present = std::min<uint64_t>(dataBytes, s.Size() - s.Position());
    window->dataFrames = static_cast<int64_t>(present / frameBytes);
    window->dataOffset = s.Position();
    window->sourceKind = sourceKind;
    const auto start = static_cast<uint64_t>(std::max<int64_t>(window->startFrame, 0));
    if (start >= present / frameBytes) {
        window->startPastEnd = true;
        return ReadOk;
    }
    // The read begins start frames in: as if the data chunk began there.
    if (!s.Skip(start * frameBytes)) return ReadShort;
    uint64_t bytes = dataBytes - start * frameBytes;
    if (window->frameLimit > 0)
        bytes = std::min(bytes, static_cast<uint64_t>(window->frameLimit) * frameBytes);
    return ReadSampleData(s, static_cast<uint32_t>(bytes), record, sourceKind);
}

}  // namespace

int ParseWave(ByteSource& s, AudioData* record, int hostByteOrder) {
    return ParseWaveFor(s, record, hostByteOrder, nullptr);
}

int ParseAiff(ByteSource& s, AudioData* record, int hostByteOrder) {
    return ParseAiffFor(s, record, hostByteOrder, nullptr);
}

int ReadAudioSourceWindow(ByteSource& source, AudioData* record, int hostByteOrder,
                          SampleWindow* window) {
    if (record == nullptr || window == nullptr) return ReadBadArgument;
    if (hostByteOrder != HostLittleEndian && hostByteOrder != HostBigEndian) return ReadBadArgument;
    window->dataFrames = 0;
    window->startPastEnd = false;
    int kind = 0;
    if (!DetectContainer(source, &kind)) return ReadNotRecognised;
    return kind == ContainerWave ? ParseWaveFor(source, record, hostByteOrder, window)
                                 : ParseAiffFor(source, record, hostByteOrder, window);
}

int ReadSampleData(ByteSource& s, uint32_t dataBytes, AudioData* record, int sourceKind) {
    if (record == nullptr || dataBytes == 0) return ReadBadArgument;
    const int channels = record->channels;
    const int bits = record->bitsPerSample;
    const int32_t rate = record->sampleRate;
    if (channels != 1 && channels != 2) return ReadBadChannels;
    if (bits != 8 && bits != 16) return ReadBadSampleSize;
    if (!AcceptedRate(rate)) return ReadBadSampleRate;

    // Never more than the first second of the source.
    const uint32_t bytesPerSample = static_cast<uint32_t>(bits) / 8u;
    const uint32_t oneSecond =
        static_cast<uint32_t>(channels) * bytesPerSample * static_cast<uint32_t>(rate);
    const uint32_t bytes = std::min(dataBytes, oneSecond);
    const size_t n = bytes / static_cast<uint32_t>(channels) / bytesPerSample;

    // Working buffers are filled completely before use, so they are not
    // zero-filled first; the conversion writes straight into the record.
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[bytes]);
    if (!raw) return ReadNoMemory;
    if (s.Read(raw.get(), bytes) != bytes) return ReadShort;
    if (n == 0) return ReadBadArgument;  // less than one whole frame

    const bool stereo = channels == 2;
    size_t count = n;
    if (rate == 44100) {
        conversion::DecodeInto(raw.get(), std::min(n, kMaxFrames), stereo, bits, sourceKind,
                               record->left, record->right);
    } else {
        if (n < 4) return ReadBadArgument;  // too short to interpolate
        std::unique_ptr<int16_t[]> decoded(new (std::nothrow) int16_t[2 * n]);
        if (!decoded) return ReadNoMemory;
        int16_t* first = decoded.get();
        int16_t* second = first + n;
        conversion::DecodeInto(raw.get(), n, stereo, bits, sourceKind, first, second);
        count = conversion::ResampledLength(n, static_cast<uint32_t>(rate));
        conversion::ResampleInto(first, second, n, static_cast<uint32_t>(rate), record->left,
                                 stereo ? record->right : nullptr, std::min(count, kMaxFrames));
    }
    count = std::min(count, kMaxFrames);
    if (!stereo) std::fill(record->right, record->right + count, int16_t{0});
    // Round up to whole 16-frame blocks; the added frames are the zeros the
    // caller's record already holds.
    record->frames = static_cast<int32_t>((count + 15) / 16 * 16);
    return ReadOk;
}

int ReadAudioSource(ByteSource& source, AudioData* record, int hostByteOrder) {
    if (record == nullptr) return ReadBadArgument;
    if (hostByteOrder != HostLittleEndian && hostByteOrder != HostBigEndian) return ReadBadArgument;
    int kind = 0;
    if (!DetectContainer(source, &kind)) return ReadNotRecognised;
    return kind == ContainerWave ? ParseWave(source, record, hostByteOrder)
                                 : ParseAiff(source, record, hostByteOrder);
}

int ReadAudioFile(const char* path, AudioData* record, int hostByteOrder) {
    if (path == nullptr || record == nullptr) return ReadBadArgument;
    auto source = FileSource::Open(path);
    if (!source) return ReadShort;
    return ReadAudioSource(*source, record, hostByteOrder);
}
