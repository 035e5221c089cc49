#include "voicebank/VoiceBankImage.h"

#include <cstring>

namespace {

using namespace bank;

// Fields are written in host byte order; the builder turns the multi-byte
// ones big-endian when it lays out a file.
void Put8(uint8_t* h, size_t off, uint8_t v) { h[off] = v; }
void Put16(uint8_t* h, size_t off, uint16_t v) { std::memcpy(h + off, &v, sizeof v); }
void Put32(uint8_t* h, size_t off, uint32_t v) { std::memcpy(h + off, &v, sizeof v); }

constexpr uint32_t kSectionTable[SectionCount] = {
    48, 176, 432, SectionAbsent, SectionAbsent, 704, 1960, 1968, 2000,
    SectionAbsent, SectionAbsent, 688};

void InitElement(uint8_t* h, size_t block, uint8_t pan) {
    Put8(h, block + 0x001, pan);
    Put16(h, block + 0x002, 0xFFFF);
    Put16(h, block + 0x004, 0xFFFF);
    Put16(h, block + 0x008, 0xFFFF);
    Put8(h, block + 0x00B, 127);
    Put8(h, block + 0x00D, 60);
    for (int n = 0; n < KeyCount; ++n)
        Put8(h, block + KeyMapOffset + static_cast<size_t>(n),
             static_cast<uint8_t>(DefaultSlotForNote(n)));
    for (int j = 0; j < VoiceSlotCount; ++j) {
        const size_t r = KeyRecordOffset(block, j);
        Put8(h, r + 1, pan);
        Put8(h, r + KeyRootKey, static_cast<uint8_t>(60 + j));
        Put16(h, r + 10, 0xFFFF);
        Put16(h, r + 22, 0xFFFF);
    }
}

}  // namespace

int InitVoiceBankImage(VoiceBankImage* image) {
    if (image == nullptr) return 0;
    std::memset(image, 0, sizeof *image);
    uint8_t* h = image->head;

    std::memcpy(h + MagicOffset, Magic, MagicBytes);
    Put32(h, TableOffsetField, static_cast<uint32_t>(SectionTableOffset));
    Put32(h, SampleAreaField, static_cast<uint32_t>(SampleAreaOffset));
    for (int i = 0; i < SectionCount; ++i)
        Put32(h, SectionTableOffset + 4 * static_cast<size_t>(i), kSectionTable[i]);

    // Voice header: one voice of two elements.
    Put16(h, 0x0300, 0xFFFF);
    Put16(h, 0x0304, 0xFFFF);
    Put8(h, 0x0307, 2);
    Put8(h, 0x0308, 2);
    Put16(h, 0x030A, 0);
    Put16(h, 0x030C, 1);
    Put32(h, ElementListOffset, static_cast<uint32_t>(Element1Offset - SectionTableOffset));
    Put32(h, ElementListOffset + 4, static_cast<uint32_t>(Element2Offset - SectionTableOffset));
    InitElement(h, Element1Offset, 1);
    InitElement(h, Element2Offset, 127);

    Put16(h, 0x07FC, 0xFFFF);

    Put8(h, 0x0801, 127);
    Put8(h, 0x0802, 127);
    Put8(h, 0x0804, 127);
    Put8(h, 0x0808, 96);
    for (size_t off = 0x080A; off <= 0x0814; off += 2) Put16(h, off, 0xFFFF);

    Put8(h, 0x082A, 127);
    Put8(h, 0x082B, 127);
    Put8(h, 0x082D, 96);
    Put8(h, 0x082F, 4);
    for (size_t off = 0x0830; off <= 0x0838; off += 2) Put16(h, off, 0xFFFF);
    Put16(h, 0x0844, 2047);
    for (size_t off = 0x0846; off <= 0x084A; off += 2) Put16(h, off, 0xFFFF);
    return 1;
}
