#pragma once

// Small writers for WAV and AIFF test files. They produce the layouts other
// programs write (extra chunks, extensible fmt, odd chunks with pad bytes,
// AIFF with an SSND offset) and, on request, deliberately broken ones.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// Appends fields in either byte order.
class ByteWriter {
public:
    ByteWriter& u8(uint8_t v);
    ByteWriter& u16le(uint16_t v);
    ByteWriter& u32le(uint32_t v);
    ByteWriter& u16be(uint16_t v);
    ByteWriter& u32be(uint32_t v);
    ByteWriter& tag(const char (&t)[5]);
    ByteWriter& bytes(const Bytes& b);
    ByteWriter& zeros(size_t n);
    [[nodiscard]] const Bytes& data() const { return data_; }
    [[nodiscard]] Bytes take() { return std::move(data_); }

private:
    Bytes data_;
};

// A chunk as it stands in a file: tag, declared size, body. When padOdd is
// set and the body is odd, a zero pad byte follows (as RIFF and AIFF want).
struct Chunk {
    std::string tag;  // four characters
    Bytes body;
    bool padOdd = true;
    int64_t declaredSize = -1;  // -1: the body's length
};

// Interleaved PCM samples for a test sound.
struct Pcm {
    int channels = 1;
    int bitsPerSample = 16;
    uint32_t sampleRate = 44100;
    std::vector<int16_t> samples;  // interleaved; 8-bit files use the high byte
};

// A ramp, sine-like pattern or constant that makes decoding errors visible.
Pcm MakeRamp(int channels, int bits, uint32_t rate, size_t frames);

// 16-bit, 44,100 Hz: bursts of decaying noise, length frames each, starting
// at the frames in hits, silence between; a second channel is the first
// inverted. A loop whose hits are known to the frame.
Pcm MakeNoiseBursts(int channels, size_t frames, const std::vector<size_t>& hits, size_t length);

// Raw sample bytes in a container's convention (WAV: LE, 8-bit unsigned;
// AIFF: BE, 8-bit signed).
Bytes WavSampleBytes(const Pcm& pcm);
Bytes AiffSampleBytes(const Pcm& pcm);

struct WavLayout {
    int fmtSize = 16;              // 16, 18 or 40 (extensible)
    uint16_t formatTag = 1;        // 0xFFFE for extensible
    std::vector<Chunk> beforeFmt;  // between "WAVE" and "fmt " (makes the file invalid)
    std::vector<Chunk> afterFmt;   // between "fmt " and "data" (fact, LIST, bext ...)
    std::vector<Chunk> afterData;  // trailing chunks
    int64_t dataSizeOverride = -1;
};

// A whole WAV file. Format fields come from pcm.
Bytes MakeWav(const Pcm& pcm, const WavLayout& layout = {});

struct AiffLayout {
    bool aifc = false;              // form type AIFC instead of AIFF
    std::vector<Chunk> beforeComm;  // COMT, ANNO, MARK ...
    std::vector<Chunk> betweenCommSsnd;
    std::vector<Chunk> afterSsnd;
    bool ssndBeforeComm = false;
    uint32_t ssndOffset = 0;  // bytes of padding before the samples
    int commExtraBytes = 0;   // COMM larger than its 18 standard bytes
    bool rawRate = false;     // use rateBytes instead of the pcm's rate
    uint8_t rateBytes[10] = {};
};

Bytes MakeAiff(const Pcm& pcm, const AiffLayout& layout = {});

// The 80-bit extended encoding of a positive value (exact for integers).
void DoubleToExtended(double value, uint8_t out[10]);

// Writes bytes to a file; throws nothing, returns false on failure.
bool WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

// A fresh empty folder below the system's temporary folder, removed by the
// destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace testsupport
