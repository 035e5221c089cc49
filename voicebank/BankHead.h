#pragma once

// The voice bank's layout, written down once: the file's areas, its magic and
// markers, and the parameter head as tables of named fields in offset order.
// The image defaults, the builder's byte-order swap and the checker all walk
// these tables; no other file spells a parameter offset.

#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/AudioData.h"

inline constexpr int VoiceSlotCount = 16;
inline constexpr size_t VoiceHeadBytes = 2140;  // file layout 0x0000-0x085B, host order

namespace bank {

// ---- areas of the file (identical in the image head and in the file) ----
inline constexpr size_t MagicOffset = 0x0000;
inline constexpr size_t MagicBytes = 16;
inline constexpr char Magic[MagicBytes + 1] = "ST06 SAMPLE-VCE ";
inline constexpr size_t BodyLengthOffset = 0x0010;  // uint64
inline constexpr size_t Checksum32Offset = 0x0018;  // uint32
inline constexpr size_t Checksum16Offset = 0x001C;  // uint16
inline constexpr size_t Checksum8Offset = 0x001E;   // uint16
inline constexpr size_t HeaderBytes = 0x0020;
inline constexpr size_t BankNameOffset = 0x0020;
inline constexpr size_t BankNameBytes = 32;
inline constexpr size_t TableOffsetField = 0x0040;  // uint32
inline constexpr size_t SampleAreaField = 0x0044;   // uint32
inline constexpr size_t SectionTableOffset = 0x0050;
inline constexpr int SectionCount = 12;
inline constexpr size_t Section0Offset = 0x0080;     // 128 bytes
inline constexpr size_t Section1Offset = 0x0100;     // 128 uint16
inline constexpr size_t Section2Offset = 0x0200;     // 128 uint16
inline constexpr size_t VoiceHeaderOffset = 0x0300;  // section 11
inline constexpr size_t ElementListOffset = 0x0310;  // section 5, two uint32
inline constexpr size_t Element1Offset = 0x0318;
inline constexpr size_t Element2Offset = 0x0588;
inline constexpr size_t ElementBytes = 624;
inline constexpr size_t Section6Offset = 0x07F8;
inline constexpr size_t Section7Offset = 0x0800;
inline constexpr size_t Section8Offset = 0x0820;
inline constexpr size_t ReservedOffset = 0x084C;  // 20 bytes, zero
inline constexpr size_t SampleAreaOffset = 0x0860;

// Within an element block and within a key record.
inline constexpr size_t KeyMapOffset = 0x00E;
inline constexpr int KeyCount = 128;
inline constexpr size_t KeyRecordsOffset = 0x08E;
inline constexpr size_t KeyRecordBytes = 30;
inline constexpr size_t KeyRootKey = 2;
inline constexpr size_t KeySampleStart = 7;  // uint24 big-endian
inline constexpr size_t KeySampleEnd = 12;   // uint16 big-endian

// ---- markers ----
inline constexpr uint32_t SectionAbsent = 0xFFFFFFFFu;  // section table entry of a missing section
inline constexpr uint8_t NoSlot = 255;                  // key map entry of an empty slot

// The slot a note plays by default: note 60 plays slot 0, repeating every 16.
constexpr int DefaultSlotForNote(int note) { return (note + 4) % 16; }

// Offset of key record j of an element block, from the start of the file.
constexpr size_t KeyRecordOffset(size_t element, int j) {
    return element + KeyRecordsOffset + KeyRecordBytes * static_cast<size_t>(j);
}

// Largest possible file: 16 stereo slots of MaxVoiceFrames.
inline constexpr size_t MaxFileBytes =
    SampleAreaOffset + 16u * 2u * static_cast<size_t>(MaxVoiceFrames) * 2u;
// A file larger than this is no bank whatever it holds: readers of banks
// refuse it before reading it into memory (the margin lets the checker
// say what is wrong with one a little too long).
inline constexpr size_t LargestBankFileRead = 4 * MaxFileBytes;

// ---- the parameter head as tables of fields ----

// How a field's bytes are kept.
enum class Stored : uint8_t {
    Byte,       // single bytes or text: the same in every byte order
    Word,       // uint16/32/64: host order in the image, big-endian in the file
    Big,        // written big-endian straight into the build's copy (sampleStart, sampleEnd)
    Element,    // an element block laid out by ElementFields
    KeyRecord,  // a key record laid out by KeyRecordFields
};

// How a field is named in messages.
enum class Label : uint8_t {
    Field,  // by its name
    Area,   // an unnamed run: each item is "<area> byte …" or "<area> word …"
};

// Where a field's value in a fresh image comes from.
enum class Initial : uint8_t {
    Value,    // `value`, in every item
    Text,     // the magic text
    Pan,      // 1 in element 1, 127 in element 2
    RootKey,  // 60 + the key record's index
    KeyMap,   // DefaultSlotForNote of the item's note
};

struct HeadField {
    size_t offset;  // from the start of the block the table describes
    size_t width;   // bytes of one item
    size_t count;   // items of the same kind, one after the other
    Stored stored;
    Label label;
    const char* name;
    Initial initial;
    uint32_t value;

    [[nodiscard]] constexpr size_t End() const { return offset + width * count; }
};

inline constexpr uint8_t ElementPan[2] = {1, 127};
inline constexpr uint8_t FirstRootKey = 60;

// The tables spell their columns without the enum names.
namespace table {
using enum Stored;
using enum Label;
using enum Initial;

// clang-format off
// One key record (30 bytes); record j belongs to slot j.
inline constexpr HeadField KeyRecordFields[] = {
//   offset          width count stored label  name           initial  value
    {0,                  1, 1, Byte, Area,  "",            Value,   0},
    {1,                  1, 1, Byte, Field, "pan",         Pan,     0},
    {KeyRootKey,         1, 1, Byte, Field, "rootKey",     RootKey, 0},
    {3,                  1, 4, Byte, Area,  "",            Value,   0},
    {KeySampleStart,     3, 1, Big,  Field, "sampleStart", Value,   0},
    {10,                 2, 1, Word, Area,  "",            Value,   0xFFFF},
    {KeySampleEnd,       2, 1, Big,  Field, "sampleEnd",   Value,   0},
    {14,                 1, 8, Byte, Area,  "",            Value,   0},
    {22,                 2, 1, Word, Area,  "",            Value,   0xFFFF},
    {24,                 2, 3, Word, Area,  "",            Value,   0},
};

// One element block (624 bytes): element 1 at 0x0318, element 2 at 0x0588.
inline constexpr HeadField ElementFields[] = {
    {0x000,              1, 1,   Byte,      Area,  "",           Value,  0},
    {0x001,              1, 1,   Byte,      Field, "pan",        Pan,    0},
    {0x002,              2, 2,   Word,      Area,  "",           Value,  0xFFFF},
    {0x006,              1, 2,   Byte,      Area,  "",           Value,  0},
    {0x008,              2, 1,   Word,      Area,  "",           Value,  0xFFFF},
    {0x00A,              1, 1,   Byte,      Area,  "",           Value,  0},
    {0x00B,              1, 1,   Byte,      Area,  "",           Value,  127},
    {0x00C,              1, 1,   Byte,      Area,  "",           Value,  0},
    {0x00D,              1, 1,   Byte,      Area,  "",           Value,  60},
    {KeyMapOffset,       1, 128, Byte,      Field, "key map",    KeyMap, 0},
    {KeyRecordsOffset,  30, 16,  KeyRecord, Field, "key record", Value,  0},
    {0x26E,              1, 2,   Byte,      Area,  "padding",    Value,  0},
};

// The parameter head as the image holds it (host order), 0x0000-0x085B.
inline constexpr HeadField HeadFields[] = {
    {MagicOffset,       16, 1,   Byte,    Field, "magic",                  Text,  0},
    {BodyLengthOffset,   8, 1,   Word,    Field, "bodyLength",             Value, 0},
    {Checksum32Offset,   4, 1,   Word,    Field, "checksum32",             Value, 0},
    {Checksum16Offset,   2, 1,   Word,    Field, "checksum16",             Value, 0},
    {Checksum8Offset,    2, 1,   Word,    Field, "checksum8",              Value, 0},
    {BankNameOffset,    32, 1,   Byte,    Field, "bankName",               Value, 0},
    {TableOffsetField,   4, 1,   Word,    Field, "tableOffset",            Value, SectionTableOffset},
    {SampleAreaField,    4, 1,   Word,    Field, "sampleAreaOffset",       Value, SampleAreaOffset},
    {0x0048,             1, 8,   Byte,    Area,  "reserved",               Value, 0},
    {SectionTableOffset, 4, 1,   Word,    Field, "section table entry 0",  Value, 48},
    {0x0054,             4, 1,   Word,    Field, "section table entry 1",  Value, 176},
    {0x0058,             4, 1,   Word,    Field, "section table entry 2",  Value, 432},
    {0x005C,             4, 1,   Word,    Field, "section table entry 3",  Value, SectionAbsent},
    {0x0060,             4, 1,   Word,    Field, "section table entry 4",  Value, SectionAbsent},
    {0x0064,             4, 1,   Word,    Field, "section table entry 5",  Value, 704},
    {0x0068,             4, 1,   Word,    Field, "section table entry 6",  Value, 1960},
    {0x006C,             4, 1,   Word,    Field, "section table entry 7",  Value, 1968},
    {0x0070,             4, 1,   Word,    Field, "section table entry 8",  Value, 2000},
    {0x0074,             4, 1,   Word,    Field, "section table entry 9",  Value, SectionAbsent},
    {0x0078,             4, 1,   Word,    Field, "section table entry 10", Value, SectionAbsent},
    {0x007C,             4, 1,   Word,    Field, "section table entry 11", Value, 688},
    {Section0Offset,     1, 128, Byte,    Area,  "section 0",              Value, 0},
    {Section1Offset,     2, 128, Word,    Area,  "section 1",              Value, 0},
    {Section2Offset,     2, 128, Word,    Area,  "section 2",              Value, 0},
    {VoiceHeaderOffset,  2, 1,   Word,    Area,  "voice header",           Value, 0xFFFF},
    {0x0302,             1, 2,   Byte,    Area,  "voice header",           Value, 0},
    {0x0304,             2, 1,   Word,    Area,  "voice header",           Value, 0xFFFF},
    {0x0306,             1, 1,   Byte,    Area,  "voice header",           Value, 0},
    {0x0307,             1, 2,   Byte,    Area,  "voice header",           Value, 2},
    {0x0309,             1, 1,   Byte,    Area,  "voice header",           Value, 0},
    {0x030A,             2, 1,   Word,    Field, "first element number",   Value, 0},
    {0x030C,             2, 1,   Word,    Field, "second element number",  Value, 1},
    {0x030E,             1, 2,   Byte,    Area,  "voice header",           Value, 0},
    {ElementListOffset,  4, 1,   Word,    Field, "element 1 offset",       Value,
     Element1Offset - SectionTableOffset},
    {0x0314,             4, 1,   Word,    Field, "element 2 offset",       Value,
     Element2Offset - SectionTableOffset},
    {Element1Offset, ElementBytes, 2, Element, Field, "element",           Value, 0},
    {Section6Offset,     1, 4,   Byte,    Area,  "section 6",              Value, 0},
    {0x07FC,             2, 1,   Word,    Area,  "section 6",              Value, 0xFFFF},
    {0x07FE,             1, 2,   Byte,    Area,  "section 6",              Value, 0},
    {Section7Offset,     1, 1,   Byte,    Area,  "section 7",              Value, 0},
    {0x0801,             1, 2,   Byte,    Area,  "section 7",              Value, 127},
    {0x0803,             1, 1,   Byte,    Area,  "section 7",              Value, 0},
    {0x0804,             1, 1,   Byte,    Area,  "section 7",              Value, 127},
    {0x0805,             1, 3,   Byte,    Area,  "section 7",              Value, 0},
    {0x0808,             1, 1,   Byte,    Area,  "section 7",              Value, 96},
    {0x0809,             1, 1,   Byte,    Area,  "section 7",              Value, 0},
    {0x080A,             2, 6,   Word,    Area,  "section 7",              Value, 0xFFFF},
    {0x0816,             1, 10,  Byte,    Area,  "section 7",              Value, 0},
    {Section8Offset,     2, 5,   Word,    Area,  "section 8",              Value, 0},
    {0x082A,             1, 2,   Byte,    Area,  "section 8",              Value, 127},
    {0x082C,             1, 1,   Byte,    Area,  "section 8",              Value, 0},
    {0x082D,             1, 1,   Byte,    Area,  "section 8",              Value, 96},
    {0x082E,             1, 1,   Byte,    Area,  "section 8",              Value, 0},
    {0x082F,             1, 1,   Byte,    Area,  "section 8",              Value, 4},
    {0x0830,             2, 5,   Word,    Area,  "section 8",              Value, 0xFFFF},
    {0x083A,             1, 10,  Byte,    Area,  "section 8",              Value, 0},
    {0x0844,             2, 1,   Word,    Area,  "section 8",              Value, 2047},
    {0x0846,             2, 3,   Word,    Area,  "section 8",              Value, 0xFFFF},
    {ReservedOffset,     1, 16,  Byte,    Area,  "reserved",               Value, 0},
};

// The last 4 reserved bytes lie in the file only, between the head and the samples.
inline constexpr HeadField FileOnlyReserved =
    {VoiceHeadBytes, 1, SampleAreaOffset - VoiceHeadBytes, Byte, Area, "reserved", Value, 0};
// clang-format on
}  // namespace table

using table::ElementFields;
using table::FileOnlyReserved;
using table::HeadFields;
using table::KeyRecordFields;

// The rows of a nested block.
constexpr std::span<const HeadField> BlockFields(Stored block) {
    if (block == Stored::Element) return ElementFields;
    if (block == Stored::KeyRecord) return KeyRecordFields;
    return {};
}

// Rows follow one another without gap or overlap and fill exactly `size` bytes.
constexpr bool FillsExactly(std::span<const HeadField> rows, size_t size) {
    size_t at = 0;
    for (const HeadField& row : rows) {
        if (row.offset != at || row.width == 0 || row.count == 0) return false;
        at = row.End();
    }
    return at == size;
}

static_assert(FillsExactly(HeadFields, VoiceHeadBytes), "head rows must tile the head");
static_assert(FillsExactly(ElementFields, ElementBytes), "element rows must tile the block");
static_assert(FillsExactly(KeyRecordFields, KeyRecordBytes), "key record rows must tile it");
static_assert(Element1Offset + ElementBytes == Element2Offset);
static_assert(KeyRecordsOffset + 16 * KeyRecordBytes + 2 == ElementBytes);
static_assert(ReservedOffset + 20 == SampleAreaOffset);

// One item of a head field at its place: the walk below hands these out.
struct FieldItem {
    const HeadField& field;
    size_t offset;  // from the start of the head
    int index;      // the item's index within its row's run
    int element;    // 0 or 1 inside an element block, else -1
    int keyRecord;  // 0 to 15 inside a key record, else -1
};

namespace detail {
template <typename Visit>
constexpr void WalkFields(std::span<const HeadField> rows, size_t base, int element, int keyRecord,
                          Visit& visit) {
    for (const HeadField& row : rows) {
        for (size_t i = 0; i < row.count; ++i) {
            const size_t at = base + row.offset + i * row.width;
            const int index = static_cast<int>(i);
            if (row.stored == Stored::Element)
                WalkFields(BlockFields(row.stored), at, index, keyRecord, visit);
            else if (row.stored == Stored::KeyRecord)
                WalkFields(BlockFields(row.stored), at, element, index, visit);
            else
                visit(FieldItem{row, at, index, element, keyRecord});
        }
    }
}
}  // namespace detail

// Calls visit(FieldItem) for every item of the head, nested blocks opened, in
// offset order.
template <typename Visit>
constexpr void ForEachHeadItem(Visit&& visit) {
    detail::WalkFields(HeadFields, 0, -1, -1, visit);
}

// The value a fresh image holds in an item (text aside).
constexpr uint32_t InitialValue(const FieldItem& item) {
    switch (item.field.initial) {
    case Initial::Pan: return ElementPan[item.element > 0 ? 1 : 0];
    case Initial::RootKey: return FirstRootKey + static_cast<uint32_t>(item.keyRecord);
    case Initial::KeyMap: return static_cast<uint32_t>(DefaultSlotForNote(item.index));
    case Initial::Text: return 0;
    case Initial::Value: break;
    }
    return item.field.value;
}

}  // namespace bank
