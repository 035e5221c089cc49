#include "SoundFileWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testsupport {

ByteWriter& ByteWriter::u8(uint8_t v) {
    data_.push_back(v);
    return *this;
}
ByteWriter& ByteWriter::u16le(uint16_t v) {
    return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8));
}
ByteWriter& ByteWriter::u32le(uint32_t v) {
    return u16le(static_cast<uint16_t>(v)).u16le(static_cast<uint16_t>(v >> 16));
}
ByteWriter& ByteWriter::u16be(uint16_t v) {
    return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v));
}
ByteWriter& ByteWriter::u32be(uint32_t v) {
    return u16be(static_cast<uint16_t>(v >> 16)).u16be(static_cast<uint16_t>(v));
}
ByteWriter& ByteWriter::tag(const char (&t)[5]) {
    for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(t[i]));
    return *this;
}
ByteWriter& ByteWriter::bytes(const Bytes& b) {
    data_.insert(data_.end(), b.begin(), b.end());
    return *this;
}
ByteWriter& ByteWriter::zeros(size_t n) {
    data_.insert(data_.end(), n, 0);
    return *this;
}

Pcm MakeRamp(int channels, int bits, uint32_t rate, size_t frames) {
    Pcm p;
    p.channels = channels;
    p.bitsPerSample = bits;
    p.sampleRate = rate;
    p.samples.resize(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        // Different, recognisable values on each channel that cover the
        // whole range, including negative ones.
        const auto l = static_cast<int16_t>(static_cast<int32_t>((i * 7919u) % 65536u) - 32768);
        const auto r =
            static_cast<int16_t>(static_cast<int32_t>((i * 104729u + 12345u) % 65536u) - 32768);
        if (bits == 8) {
            p.samples[i * static_cast<size_t>(channels)] = static_cast<int16_t>(l & ~0xFF);
            if (channels == 2) p.samples[i * 2 + 1] = static_cast<int16_t>(r & ~0xFF);
        } else {
            p.samples[i * static_cast<size_t>(channels)] = l;
            if (channels == 2) p.samples[i * 2 + 1] = r;
        }
    }
    return p;
}

Pcm MakeNoiseBursts(int channels, size_t frames, const std::vector<size_t>& hits, size_t length) {
    Pcm p;
    p.channels = channels;
    p.samples.assign(frames * static_cast<size_t>(channels), 0);
    uint32_t noise = 1;
    for (const size_t hit : hits) {
        for (size_t i = 0; i < length && hit + i < frames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double v = (static_cast<double>(noise >> 16) / 32768.0 - 1.0) * 20000.0 *
                             std::exp(-static_cast<double>(i) / 2000.0);
            const size_t at = (hit + i) * static_cast<size_t>(channels);
            p.samples[at] = static_cast<int16_t>(v);
            if (channels == 2) p.samples[at + 1] = static_cast<int16_t>(-v);
        }
    }
    return p;
}

Bytes WavSampleBytes(const Pcm& pcm) {
    ByteWriter w;
    for (int16_t s : pcm.samples) {
        if (pcm.bitsPerSample == 8)
            w.u8(static_cast<uint8_t>((s >> 8) + 128));
        else
            w.u16le(static_cast<uint16_t>(s));
    }
    return w.take();
}

Bytes AiffSampleBytes(const Pcm& pcm) {
    ByteWriter w;
    for (int16_t s : pcm.samples) {
        if (pcm.bitsPerSample == 8)
            w.u8(static_cast<uint8_t>(static_cast<int8_t>(s >> 8)));
        else
            w.u16be(static_cast<uint16_t>(s));
    }
    return w.take();
}

namespace {

void AppendChunk(ByteWriter& w, const Chunk& c, bool bigEndian) {
    char t[5] = {' ', ' ', ' ', ' ', 0};
    for (size_t i = 0; i < 4 && i < c.tag.size(); ++i) t[i] = c.tag[i];
    w.tag(t);
    const auto size = static_cast<uint32_t>(
        c.declaredSize >= 0 ? c.declaredSize : static_cast<int64_t>(c.body.size()));
    if (bigEndian)
        w.u32be(size);
    else
        w.u32le(size);
    w.bytes(c.body);
    if (c.padOdd && (c.body.size() % 2) == 1) w.u8(0);
}

void FixContainerSize(Bytes& b, bool bigEndian) {
    const auto size = static_cast<uint32_t>(b.size() - 8);
    if (bigEndian) {
        b[4] = static_cast<uint8_t>(size >> 24);
        b[5] = static_cast<uint8_t>(size >> 16);
        b[6] = static_cast<uint8_t>(size >> 8);
        b[7] = static_cast<uint8_t>(size);
    } else {
        b[4] = static_cast<uint8_t>(size);
        b[5] = static_cast<uint8_t>(size >> 8);
        b[6] = static_cast<uint8_t>(size >> 16);
        b[7] = static_cast<uint8_t>(size >> 24);
    }
}

}  // namespace

Bytes MakeWav(const Pcm& pcm, const WavLayout& layout) {
    const auto blockAlign = static_cast<uint16_t>(pcm.channels * pcm.bitsPerSample / 8);
    ByteWriter fmt;
    fmt.u16le(layout.formatTag)
        .u16le(static_cast<uint16_t>(pcm.channels))
        .u32le(pcm.sampleRate)
        .u32le(pcm.sampleRate * blockAlign)
        .u16le(blockAlign)
        .u16le(static_cast<uint16_t>(pcm.bitsPerSample));
    if (layout.fmtSize >= 18) fmt.u16le(static_cast<uint16_t>(layout.fmtSize - 18));
    if (layout.fmtSize == 40) {
        // WAVE_FORMAT_EXTENSIBLE: valid bits, channel mask, PCM sub-format GUID.
        fmt.u16le(static_cast<uint16_t>(pcm.bitsPerSample))
            .u32le(pcm.channels == 2 ? 3u : 4u)
            .bytes({0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00,
                    0x38, 0x9B, 0x71});
    } else if (layout.fmtSize > 18) {
        fmt.zeros(static_cast<size_t>(layout.fmtSize - 18));
    }

    ByteWriter w;
    w.tag("RIFF").u32le(0).tag("WAVE");
    for (const auto& c : layout.beforeFmt) AppendChunk(w, c, false);
    AppendChunk(w, Chunk{"fmt ", fmt.take()}, false);
    for (const auto& c : layout.afterFmt) AppendChunk(w, c, false);
    Chunk data{"data", WavSampleBytes(pcm)};
    data.declaredSize = layout.dataSizeOverride;
    AppendChunk(w, data, false);
    for (const auto& c : layout.afterData) AppendChunk(w, c, false);
    Bytes b = w.take();
    FixContainerSize(b, false);
    return b;
}

void DoubleToExtended(double value, uint8_t out[10]) {
    for (int i = 0; i < 10; ++i) out[i] = 0;
    if (value <= 0) return;
    int exp = 0;
    const double m = std::frexp(value, &exp);  // value = m * 2^exp, m in [0.5, 1)
    const int e = exp - 1 + 16383;
    const auto mant = static_cast<uint64_t>(std::ldexp(m, 64));
    out[0] = static_cast<uint8_t>((e >> 8) & 0x7F);
    out[1] = static_cast<uint8_t>(e);
    for (int i = 0; i < 8; ++i) out[2 + i] = static_cast<uint8_t>(mant >> (56 - 8 * i));
}

Bytes MakeAiff(const Pcm& pcm, const AiffLayout& layout) {
    ByteWriter comm;
    const size_t frames = pcm.samples.size() / static_cast<size_t>(pcm.channels);
    comm.u16be(static_cast<uint16_t>(pcm.channels))
        .u32be(static_cast<uint32_t>(frames))
        .u16be(static_cast<uint16_t>(pcm.bitsPerSample));
    uint8_t rate[10];
    if (layout.rawRate) {
        for (int i = 0; i < 10; ++i) rate[i] = layout.rateBytes[i];
    } else {
        DoubleToExtended(pcm.sampleRate, rate);
    }
    for (uint8_t b : rate) comm.u8(b);
    if (layout.aifc) comm.tag("NONE").u8(0).u8(0);
    comm.zeros(static_cast<size_t>(layout.commExtraBytes));

    ByteWriter ssnd;
    ssnd.u32be(layout.ssndOffset).u32be(0).zeros(layout.ssndOffset).bytes(AiffSampleBytes(pcm));

    ByteWriter w;
    w.tag("FORM").u32be(0);
    if (layout.aifc)
        w.tag("AIFC");
    else
        w.tag("AIFF");
    for (const auto& c : layout.beforeComm) AppendChunk(w, c, true);
    const Chunk commChunk{"COMM", comm.take()};
    const Chunk ssndChunk{"SSND", ssnd.take()};
    if (layout.ssndBeforeComm) {
        AppendChunk(w, ssndChunk, true);
        AppendChunk(w, commChunk, true);
    } else {
        AppendChunk(w, commChunk, true);
        for (const auto& c : layout.betweenCommSsnd) AppendChunk(w, c, true);
        AppendChunk(w, ssndChunk, true);
    }
    for (const auto& c : layout.afterSsnd) AppendChunk(w, c, true);
    Bytes b = w.take();
    FixContainerSize(b, true);
    return b;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "glw-test-XXXXXX").string();
    if (char* p = mkdtemp(templ.data())) path_ = p;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) {
        // Tests may leave read-only folders behind; make them writable first.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
}

}  // namespace testsupport
