#include "audio/RowMark.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "audio/AudioData.h"
#include "audio/ByteSource.h"
#include "audio/RiffBytes.h"

namespace {

// The mark's body, little-endian like every RIFF field.
// clang-format off
constexpr size_t kVersionAt  = 0;   // uint16, 1
constexpr size_t kChannelsAt = 2;   // uint16
constexpr size_t kFramesAt   = 4;   // uint32
constexpr size_t kCrcAt      = 8;   // uint32, CRC-32 of the data chunk's bytes
constexpr size_t kRowAt      = 12;  // uint8, 1 ... 16; 0 unknown
constexpr size_t kNameAt     = 14;  // 32 bytes, zero padded (byte 13 is reserved, 0)
constexpr size_t kBodyBytes  = 46;
// clang-format on
constexpr size_t kNameBytes = 32;
constexpr uint16_t kVersion = 1;
constexpr uint32_t kRate = 44100;
// A row file holds RIFF, fmt, the mark and data; anything with far more
// chunks than that is not one of ours.
constexpr int kMostChunksWalked = 64;

uint32_t GetLe(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool IsRowShape(const AudioData& record) {
    return (record.channels == 1 || record.channels == 2) && record.frames >= 16 &&
           record.frames <= MaxVoiceFrames && record.frames % 16 == 0;
}

// The data chunk's bytes for a record: frames interleaved left, right.
std::vector<uint8_t> SampleBytes(const AudioData& record) {
    std::vector<uint8_t> bytes;
    const auto frames = static_cast<size_t>(record.frames);
    bytes.reserve(frames * static_cast<size_t>(record.channels) * 2);
    for (size_t i = 0; i < frames; ++i) {
        AppendLe(bytes, static_cast<uint16_t>(record.left[i]), 2);
        if (record.channels == 2) AppendLe(bytes, static_cast<uint16_t>(record.right[i]), 2);
    }
    return bytes;
}

const std::array<uint32_t, 256>& CrcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    if (data == nullptr) return crc;
    const auto& table = CrcTable();
    uint32_t c = crc ^ 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::vector<uint8_t> MakeRowWavFile(const AudioData& record, const RowOrigin& origin) {
    if (!IsRowShape(record)) return {};
    const std::vector<uint8_t> samples = SampleBytes(record);
    const auto ch = static_cast<uint32_t>(record.channels);
    const auto dataBytes = static_cast<uint32_t>(samples.size());
    const uint32_t riffBytes = 4 + (8 + 16) + (8 + kBodyBytes) + (8 + dataBytes);

    std::vector<uint8_t> out;
    out.reserve(8 + riffBytes);
    AppendTag(out, "RIFF");
    AppendLe(out, riffBytes, 4);
    AppendTag(out, "WAVE");
    AppendTag(out, "fmt ");
    AppendLe(out, 16, 4);
    AppendLe(out, 1, 2);  // PCM
    AppendLe(out, ch, 2);
    AppendLe(out, kRate, 4);
    AppendLe(out, kRate * ch * 2u, 4);  // byte rate
    AppendLe(out, ch * 2u, 2);          // block alignment
    AppendLe(out, 16, 2);

    AppendTag(out, RowMarkChunkId);
    AppendLe(out, kBodyBytes, 4);
    const size_t body = out.size();
    out.resize(body + kBodyBytes, 0);
    std::vector<uint8_t> field;
    AppendLe(field, kVersion, 2);
    AppendLe(field, ch, 2);
    AppendLe(field, static_cast<uint32_t>(record.frames), 4);
    AppendLe(field, Crc32(samples.data(), samples.size()), 4);
    std::copy(field.begin(), field.end(), out.begin() + static_cast<ptrdiff_t>(body));
    out[body + kRowAt] =
        static_cast<uint8_t>(origin.row >= 0 && origin.row <= 255 ? origin.row : 0);
    const size_t nameBytes = std::min(origin.bankName.size(), kNameBytes);
    std::memcpy(out.data() + body + kNameAt, origin.bankName.data(), nameBytes);

    AppendTag(out, "data");
    AppendLe(out, dataBytes, 4);
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

bool FindRowMark(ByteSource& source, const AudioData& record, RowOrigin* origin) {
    if (!IsRowShape(record) || record.sampleRate != static_cast<int32_t>(kRate) ||
        record.bitsPerSample != 16 || !source.SeekTo(0)) {
        return false;
    }
    uint8_t head[12];
    if (source.Read(head, sizeof head) != sizeof head || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        return false;
    }
    uint8_t body[kBodyBytes];
    bool found = false;
    // The mark describes the whole data chunk, or nothing: a file holding
    // more sound than it says is not a row as it was made.
    int64_t dataBytes = -1;
    for (int chunk = 0; chunk < kMostChunksWalked && (!found || dataBytes < 0); ++chunk) {
        uint8_t header[8];
        if (source.Read(header, sizeof header) != sizeof header) return false;
        const uint32_t size = GetLe(header + 4, 4);
        uint64_t skip = uint64_t{size} + (size & 1u);
        if (!found && std::memcmp(header, RowMarkChunkId, 4) == 0 && size >= kBodyBytes) {
            if (source.Read(body, sizeof body) != sizeof body) return false;
            found = true;
            skip -= sizeof body;
        } else if (dataBytes < 0 && std::memcmp(header, "data", 4) == 0) {
            dataBytes = size;
            if (found) break;
        }
        if (!source.Skip(skip)) return false;
    }
    const int64_t madeBytes = int64_t{record.frames} * record.channels * 2;
    if (!found || dataBytes != madeBytes || GetLe(body + kVersionAt, 2) != kVersion ||
        GetLe(body + kChannelsAt, 2) != static_cast<uint32_t>(record.channels) ||
        GetLe(body + kFramesAt, 4) != static_cast<uint32_t>(record.frames)) {
        return false;
    }
    const std::vector<uint8_t> samples = SampleBytes(record);
    if (Crc32(samples.data(), samples.size()) != GetLe(body + kCrcAt, 4)) return false;
    if (origin != nullptr) {
        const auto* name = reinterpret_cast<const char*>(body + kNameAt);
        origin->bankName.assign(name, strnlen(name, kNameBytes));
        origin->row = body[kRowAt];
    }
    return true;
}

bool FindRowMark(const char* path, const AudioData& record, RowOrigin* origin) {
    if (path == nullptr) return false;
    const auto source = FileSource::Open(path);
    return source && FindRowMark(*source, record, origin);
}
