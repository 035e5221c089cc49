#include "voicebank/VoiceBankBuilder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "audio/AudioReader.h"
#include "voicebank/BankName.h"
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

// Turns the head's words big-endian for the file. sampleStart and sampleEnd
// are written big-endian already.
void HeadToBigEndian(uint8_t* head) {
    ForEachHeadItem([head](const FieldItem& item) {
        if (item.field.stored == Stored::Word)
            (void)ReverseBytes(head + item.offset, item.field.width);
    });
}

size_t SampleBytes(const AudioData& slot) {
    if (slot.channels <= 0 || slot.frames <= 0) return 0;
    const size_t channels = slot.channels > 1 ? 2 : 1;
    return channels * static_cast<size_t>(slot.frames) * 2;
}

// A record whose fields would reach past its arrays cannot be laid out.
bool SlotFits(const AudioData& slot) {
    return slot.channels >= 0 && slot.channels <= 2 && slot.frames >= 0 &&
           slot.frames <= MaxVoiceFrames && slot.frames % 16 == 0;
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

bool FillVoiceAddresses(VoiceBankImage* copy, const char* baseName) {
    if (copy == nullptr || baseName == nullptr) return false;
    uint8_t* h = copy->head.data();
    // The name never runs past its field, whatever the caller hands in.
    const size_t nameLength = strnlen(baseName, BankNameBytes);
    std::memset(h + BankNameOffset, 0, BankNameBytes);
    std::memcpy(h + BankNameOffset, baseName, nameLength);

    uint64_t pos = 0;  // bytes from the start of the sample area
    for (int k = 0; k < VoiceSlotCount; ++k) {
        const AudioData& slot = copy->voices[static_cast<size_t>(k)];
        const auto frames = static_cast<uint64_t>(slot.frames > 0 ? slot.frames : 0);
        const auto sampleEnd = static_cast<uint16_t>(frames / 16 - 1);
        if (slot.channels == 0) {
            for (int n = 0; n < KeyCount; ++n) {
                if (DefaultSlotForNote(n) != k) continue;
                for (size_t element : kElements)
                    h[element + KeyMapOffset + static_cast<size_t>(n)] = NoSlot;
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
    return true;
}

bool BuildVoiceBankFile(const VoiceBankImage* copy, std::vector<uint8_t>* out) {
    if (copy == nullptr || out == nullptr) return false;
    out->clear();
    size_t samples = 0;
    for (const AudioData& slot : copy->voices) {
        if (!SlotFits(slot)) return false;
        samples += SampleBytes(slot);
    }
    const size_t total = SampleAreaOffset + samples;
    const uint64_t body = total - HeaderBytes;

    std::vector<uint8_t> file;
    try {
        file.assign(total, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint8_t* f = file.data();

    // The parameter head: bank name and offsets up to the reserved bytes,
    // with its multi-byte fields turned big-endian. Only the head needs a
    // working copy; the samples are encoded straight into the output.
    std::array<uint8_t, VoiceHeadBytes> head = copy->head;
    HeadToBigEndian(head.data());
    std::memcpy(f + BankNameOffset, head.data() + BankNameOffset, ReservedOffset - BankNameOffset);

    uint8_t* p = f + SampleAreaOffset;
    for (const AudioData& slot : copy->voices) {
        if (slot.channels > 0) p = AppendEncoded(p, slot.left, slot.frames);
        if (slot.channels > 1) p = AppendEncoded(p, slot.right, slot.frames);
    }

    const uint32_t sum = ByteSum(f + HeaderBytes, static_cast<ptrdiff_t>(body));
    std::memcpy(f + MagicOffset, copy->head.data() + MagicOffset, MagicBytes);
    for (int i = 0; i < 8; ++i)
        f[BodyLengthOffset + static_cast<size_t>(i)] = static_cast<uint8_t>(body >> (56 - 8 * i));
    for (int i = 0; i < 4; ++i)
        f[Checksum32Offset + static_cast<size_t>(i)] = static_cast<uint8_t>(sum >> (24 - 8 * i));
    PutBig16(f + Checksum16Offset, static_cast<uint16_t>(sum & 0xFFFFu));
    PutBig16(f + Checksum8Offset, static_cast<uint16_t>(sum & 0xFFu));

    // The stored form: every aligned byte pair exchanged over the whole file.
    for (size_t i = 0; i + 1 < total; i += 2) std::swap(f[i], f[i + 1]);

    out->swap(file);
    return true;
}

size_t BankFileSize(const VoiceBankImage& image) {
    size_t samples = 0;
    for (const AudioData& slot : image.voices) samples += SampleBytes(slot);
    return SampleAreaOffset + samples;
}

uint32_t ByteSum(const uint8_t* bytes, ptrdiff_t length) {
    if (bytes == nullptr || length < 1) return 0;
    uint32_t sum = 0;
    for (ptrdiff_t i = 0; i < length; ++i) sum += bytes[i];
    return sum;
}

bool ExportImageToFile(const VoiceBankImage& image, const char* path, WriteFailure* failure,
                       const BeforeReplace& beforeReplace) {
    WriteFailure ignored;
    WriteFailure& why = failure != nullptr ? *failure : ignored;
    if (path == nullptr || *path == '\0') {
        why = {EINVAL, "the path is empty"};
        return false;
    }
    const std::string name = std::filesystem::path(path).stem().string();
    if (std::string problem = BankNameProblem(name); !problem.empty()) {
        why = {EINVAL, std::move(problem)};
        return false;
    }
    std::unique_ptr<VoiceBankImage> copy(new (std::nothrow) VoiceBankImage(image));
    std::vector<uint8_t> file;
    if (!copy) {
        why = {ENOMEM, "not enough memory to build the bank"};
        return false;
    }
    if (!FillVoiceAddresses(copy.get(), name.c_str()) || !BuildVoiceBankFile(copy.get(), &file)) {
        why = {0, "the bank cannot be built from its rows (or there is not enough memory)"};
        return false;
    }
    return WriteWholeFile(path, file.data(), static_cast<ptrdiff_t>(file.size()), &why,
                          beforeReplace);
}
