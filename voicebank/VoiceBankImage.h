#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/AudioData.h"

inline constexpr int VoiceSlotCount = 16;
inline constexpr size_t VoiceHeadBytes = 2140;  // file layout 0x0000-0x085B, host order

// The in-memory image the slot store keeps: the bank's parameter head in host
// byte order, then one AudioData record per slot.
#pragma pack(push, 1)
struct VoiceBankImage {
    uint8_t head[VoiceHeadBytes];
    AudioData slots[VoiceSlotCount];
};
#pragma pack(pop)

static_assert(sizeof(VoiceBankImage) == 2739484, "VoiceBankImage must keep its layout");

// Offsets into the bank (identical in the image head and in the file).
namespace bank {
inline constexpr size_t MagicOffset = 0x0000;
inline constexpr size_t MagicBytes = 16;
inline constexpr char Magic[MagicBytes + 1] = "ST06 SAMPLE-VCE ";
inline constexpr size_t BodyLengthOffset = 0x0010;   // uint64
inline constexpr size_t Checksum32Offset = 0x0018;   // uint32
inline constexpr size_t Checksum16Offset = 0x001C;   // uint16
inline constexpr size_t Checksum8Offset = 0x001E;    // uint16
inline constexpr size_t HeaderBytes = 0x0020;
inline constexpr size_t BankNameOffset = 0x0020;
inline constexpr size_t BankNameBytes = 32;
inline constexpr size_t TableOffsetField = 0x0040;   // uint32, holds 0x50
inline constexpr size_t SampleAreaField = 0x0044;    // uint32, holds 0x860
inline constexpr size_t SectionTableOffset = 0x0050;
inline constexpr int SectionCount = 12;
inline constexpr uint32_t SectionAbsent = 0xFFFFFFFFu;
inline constexpr size_t Section0Offset = 0x0080;     // 128 bytes
inline constexpr size_t Section1Offset = 0x0100;     // 128 uint16
inline constexpr size_t Section2Offset = 0x0200;     // 128 uint16
inline constexpr size_t VoiceHeaderOffset = 0x0300;  // section 11
inline constexpr size_t ElementListOffset = 0x0310;  // section 5, two uint32
inline constexpr size_t Element1Offset = 0x0318;
inline constexpr size_t Element2Offset = 0x0588;
inline constexpr size_t ElementBytes = 624;
inline constexpr size_t KeyMapOffset = 0x00E;        // within an element block
inline constexpr int KeyCount = 128;
inline constexpr size_t KeyRecordsOffset = 0x08E;    // within an element block
inline constexpr size_t KeyRecordBytes = 30;
inline constexpr size_t KeyRootKey = 2;              // within a key record
inline constexpr size_t KeySampleStart = 7;          // uint24 big-endian
inline constexpr size_t KeySampleEnd = 12;           // uint16 big-endian
inline constexpr size_t Section6Offset = 0x07F8;
inline constexpr size_t Section7Offset = 0x0800;
inline constexpr size_t Section8Offset = 0x0820;
inline constexpr size_t ReservedOffset = 0x084C;     // 20 bytes, zero
inline constexpr size_t SampleAreaOffset = 0x0860;
inline constexpr uint8_t NoSlot = 255;               // key map entry of an empty slot

// The slot a note plays by default: note 60 plays slot 0, repeating every 16.
constexpr int DefaultSlotForNote(int note) { return (note + 4) % 16; }

// Offset of key record j of an element block, from the start of the file.
constexpr size_t KeyRecordOffset(size_t element, int j) {
    return element + KeyRecordsOffset + KeyRecordBytes * static_cast<size_t>(j);
}

// Largest possible file: 16 stereo slots of MaxVoiceFrames.
inline constexpr size_t MaxFileBytes =
    SampleAreaOffset + 16u * 2u * static_cast<size_t>(MaxVoiceFrames) * 2u;
}  // namespace bank

// Zero-fills the whole image and writes every default of the bank's
// parameter head in host byte order. Returns 0 for a null image, else 1.
[[nodiscard]] int InitVoiceBankImage(VoiceBankImage* image);
