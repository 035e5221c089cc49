#include "voicebank/VoiceBankBuilder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "audio/AudioReader.h"
#include "voicebank/VoiceBankImage.h"

namespace {

using namespace bank;

constexpr size_t kElements[2] = {Element1Offset, Element2Offset};

void PutBig16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void PutBig24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}

// The parameter head's multi-byte fields, as (offset, width) runs of
// consecutive fields of one width; they are turned big-endian for the file.
// sampleStart and sampleEnd are not here: they are written big-endian.
struct FieldRun {
    size_t offset;
    size_t width;
    size_t count;
};

constexpr FieldRun kHeadFields[] = {
    {TableOffsetField, 4, 2},
    {SectionTableOffset, 4, SectionCount},
    {Section1Offset, 2, 128},
    {Section2Offset, 2, 128},
    {0x0300, 2, 1},
    {0x0304, 2, 1},
    {0x030A, 2, 2},
    {ElementListOffset, 4, 2},
    {0x07FC, 2, 1},
    {0x080A, 2, 6},
    {0x0820, 2, 5},
    {0x0830, 2, 5},
    {0x0844, 2, 4},
};

// Per element block: fields of the block, then of each key record.
constexpr FieldRun kElementFields[] = {{0x002, 2, 2}, {0x008, 2, 1}};
constexpr size_t kKeyRecordWords[] = {10, 22, 24, 26, 28};

void ReverseRun(uint8_t* head, const FieldRun& run) {
    for (size_t i = 0; i < run.count; ++i) ReverseBytes(head + run.offset + i * run.width, run.width);
}

void HeadToBigEndian(uint8_t* head) {
    for (const auto& run : kHeadFields) ReverseRun(head, run);
    for (size_t element : kElements) {
        for (const auto& run : kElementFields)
            ReverseRun(head, {element + run.offset, run.width, run.count});
        for (int j = 0; j < VoiceSlotCount; ++j)
            for (size_t word : kKeyRecordWords) ReverseBytes(head + KeyRecordOffset(element, j) + word, 2);
    }
}

size_t SampleBytes(const AudioData& slot) {
    if (slot.channels <= 0 || slot.frames <= 0) return 0;
    const size_t channels = slot.channels > 1 ? 2 : 1;
    return channels * static_cast<size_t>(slot.frames) * 2;
}

// A record whose fields would reach past its arrays cannot be laid out.
bool SlotFits(const AudioData& slot) {
    return slot.channels >= 0 && slot.channels <= 2 && slot.frames >= 0 && slot.frames <= MaxVoiceFrames && slot.frames % 16 == 0;
}

// Appends encoded samples in the logical (big-endian) form.
uint8_t* AppendEncoded(uint8_t* out, const int16_t* samples, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
        const auto e = static_cast<uint16_t>(EncodeSampleWord(samples[i]));
        out[0] = static_cast<uint8_t>(e >> 8);
        out[1] = static_cast<uint8_t>(e);
        out += 2;
    }
    return out;
}

}  // namespace

int FillVoiceAddresses(VoiceBankImage* copy, const char* baseName) {
    if (copy == nullptr || baseName == nullptr) return 0;
    uint8_t* h = copy->head;
    // The name never runs past its field, whatever the caller hands in.
    const size_t nameLength = strnlen(baseName, BankNameBytes);
    std::memset(h + BankNameOffset, 0, BankNameBytes);
    std::memcpy(h + BankNameOffset, baseName, nameLength);

    uint64_t pos = 0;  // bytes from the start of the sample area
    for (int k = 0; k < VoiceSlotCount; ++k) {
        const AudioData& slot = copy->slots[k];
        const auto frames = static_cast<uint64_t>(slot.frames > 0 ? slot.frames : 0);
        const auto sampleEnd = static_cast<uint16_t>(frames / 16 - 1);
        if (slot.channels == 0) {
            for (int n = 0; n < KeyCount; ++n) {
                if (DefaultSlotForNote(n) != k) continue;
                for (size_t element : kElements) h[element + KeyMapOffset + static_cast<size_t>(n)] = NoSlot;
            }
        } else if (slot.channels == 1) {
            for (size_t element : kElements) {
                const size_t r = KeyRecordOffset(element, k);
                PutBig24(h + r + KeySampleStart, static_cast<uint32_t>(pos / 32));
                PutBig16(h + r + KeySampleEnd, sampleEnd);
            }
            pos += frames * 2;
        } else {
            for (size_t element : kElements) {
                const size_t r = KeyRecordOffset(element, k);
                PutBig24(h + r + KeySampleStart, static_cast<uint32_t>(pos / 32));
                PutBig16(h + r + KeySampleEnd, sampleEnd);
                pos += frames * 2;
            }
        }
    }
    return 1;
}

int BuildVoiceBankFile(const VoiceBankImage* copy, std::vector<uint8_t>* out) {
    if (copy == nullptr || out == nullptr) return 0;
    out->clear();
    size_t samples = 0;
    for (const AudioData& slot : copy->slots) {
        if (!SlotFits(slot)) return 0;
        samples += SampleBytes(slot);
    }
    const size_t total = SampleAreaOffset + samples;
    const uint64_t body = total - HeaderBytes;

    std::vector<uint8_t> file;
    try {
        file.assign(total, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    uint8_t* f = file.data();

    // The parameter head: bank name and offsets up to the reserved bytes,
    // with its multi-byte fields turned big-endian. Only the head needs a
    // working copy; the samples are encoded straight into the output.
    uint8_t head[VoiceHeadBytes];
    std::memcpy(head, copy->head, sizeof head);
    HeadToBigEndian(head);
    std::memcpy(f + BankNameOffset, head + BankNameOffset, ReservedOffset - BankNameOffset);

    uint8_t* p = f + SampleAreaOffset;
    for (const AudioData& slot : copy->slots) {
        if (slot.channels > 0) p = AppendEncoded(p, slot.left, slot.frames);
        if (slot.channels > 1) p = AppendEncoded(p, slot.right, slot.frames);
    }

    const uint32_t sum = ByteSum(f + HeaderBytes, static_cast<ptrdiff_t>(body));
    std::memcpy(f + MagicOffset, copy->head + MagicOffset, MagicBytes);
    for (int i = 0; i < 8; ++i) f[BodyLengthOffset + static_cast<size_t>(i)] = static_cast<uint8_t>(body >> (56 - 8 * i));
    for (int i = 0; i < 4; ++i) f[Checksum32Offset + static_cast<size_t>(i)] = static_cast<uint8_t>(sum >> (24 - 8 * i));
    PutBig16(f + Checksum16Offset, static_cast<uint16_t>(sum & 0xFFFFu));
    PutBig16(f + Checksum8Offset, static_cast<uint16_t>(sum & 0xFFu));

    // The stored form: every aligned byte pair exchanged over the whole file.
    for (size_t i = 0; i + 1 < total; i += 2) std::swap(f[i], f[i + 1]);

    out->swap(file);
    return 1;
}

uint32_t ByteSum(const uint8_t* bytes, ptrdiff_t length) {
    if (bytes == nullptr || length < 1) return 0;
    uint32_t sum = 0;
    for (ptrdiff_t i = 0; i < length; ++i) sum += bytes[i];
    return sum;
}

int ExportImageToFile(const VoiceBankImage& image, const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    const std::string name = std::filesystem::path(path).stem().string();
    std::unique_ptr<VoiceBankImage> copy(new (std::nothrow) VoiceBankImage);
    if (!copy) return 0;
    std::memcpy(copy.get(), &image, sizeof image);
    std::vector<uint8_t> file;
    if (!FillVoiceAddresses(copy.get(), name.c_str()) || !BuildVoiceBankFile(copy.get(), &file))
        return 0;
    return WriteWholeFile(path, file.data(), static_cast<ptrdiff_t>(file.size()));
}
