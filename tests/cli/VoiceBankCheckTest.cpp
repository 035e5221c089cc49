// The bank checker: every bank the builder writes passes, and a bank with
// any one byte changed fails with the damaged field named.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SoundFileWriter.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankCheck.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct SlotSpec {
    int slot;
    int channels;
    int32_t frames;
};

std::unique_ptr<VoiceBankImage> MakeImage(const std::vector<SlotSpec>& specs) {
    auto image = std::make_unique<VoiceBankImage>();
    EXPECT_TRUE(InitVoiceBankImage(image.get()));
    uint32_t seed = 12345;
    for (const SlotSpec& s : specs) {
        AudioData& rec = image->voices[static_cast<size_t>(s.slot)];
        rec.channels = static_cast<int16_t>(s.channels);
        rec.sampleRate = 48000;
        rec.bitsPerSample = 16;
        rec.frames = s.frames;
        for (int32_t i = 0; i < s.frames; ++i) {
            seed = seed * 1664525u + 1013904223u;
            rec.left[i] = static_cast<int16_t>(seed >> 16);
            if (s.channels == 2) rec.right[i] = static_cast<int16_t>(seed);
        }
    }
    return image;
}

Bytes Build(const VoiceBankImage& image, const char* name) {
    auto copy = std::make_unique<VoiceBankImage>(image);
    Bytes out;
    EXPECT_TRUE(FillVoiceAddresses(copy.get(), name));
    EXPECT_TRUE(BuildVoiceBankFile(copy.get(), &out));
    return out;
}

VoiceBankReport Check(const Bytes& b) { return CheckVoiceBank(b.data(), b.size()); }

bool Names(const VoiceBankReport& r, const std::string& word) {
    return std::any_of(r.problems.begin(), r.problems.end(),
                       [&](const std::string& p) { return p.find(word) != std::string::npos; });
}

std::string All(const VoiceBankReport& r) {
    std::string s;
    for (const auto& p : r.problems) s += p + "\n";
    return s;
}

// A small bank with a mono, a stereo and an empty row between them.
const std::vector<SlotSpec> SmallBank = {{0, 1, 16}, {3, 2, 48}, {15, 1, 32}};

}  // namespace

TEST(VoiceBankCheck, AcceptsBanksTheBuilderWritesAndDecodesTheirRows) {
    const std::vector<std::vector<SlotSpec>> banks = {
        {},
        SmallBank,
        {{0, 1, 1008}, {2, 2, 2000}},
        {{7, 2, MaxVoiceFrames}},
    };
    for (const auto& specs : banks) {
        const auto image = MakeImage(specs);
        const Bytes file = Build(*image, "BANK-01");
        const VoiceBankReport r = Check(file);
        ASSERT_TRUE(r.valid) << All(r);
        EXPECT_TRUE(r.problems.empty());
        EXPECT_EQ(r.bank.bankName, "BANK-01");
        for (int k = 0; k < VoiceSlotCount; ++k) {
            const AudioData& want = image->voices[static_cast<size_t>(k)];
            const AudioData& got = r.bank.image->voices[static_cast<size_t>(k)];
            ASSERT_EQ(got.channels, want.channels) << "slot " << k;
            ASSERT_EQ(got.frames, want.frames) << "slot " << k;
            EXPECT_EQ(r.bank.rows[static_cast<size_t>(k)].channels, want.channels);
            for (int32_t i = 0; i < want.frames; ++i) {
                ASSERT_EQ(got.left[i], want.left[i]) << "slot " << k << " frame " << i;
                ASSERT_EQ(got.right[i], want.right[i]) << "slot " << k << " frame " << i;
            }
        }
    }
}

TEST(VoiceBankCheck, AcceptsTheLargestBank) {
    std::vector<SlotSpec> specs;
    for (int k = 0; k < VoiceSlotCount; ++k) specs.push_back({k, 2, MaxVoiceFrames});
    const Bytes file = Build(*MakeImage(specs), "FULL");
    ASSERT_EQ(file.size(), bank::MaxFileBytes);
    const VoiceBankReport r = Check(file);
    EXPECT_TRUE(r.valid) << All(r);
    EXPECT_EQ(r.bank.rows[15].sampleStart2, (bank::MaxFileBytes - 2144 - 42768 * 2) / 32);
}

TEST(VoiceBankCheck, RowsReportStoredAddresses) {
    const VoiceBankReport r = Check(Build(*MakeImage({{0, 1, 1008}, {2, 2, 2000}}), "X"));
    ASSERT_TRUE(r.valid) << All(r);
    EXPECT_EQ(r.bank.rows[0].sampleStart1, 0u);
    EXPECT_EQ(r.bank.rows[0].sampleEnd, 62u);
    EXPECT_EQ(r.bank.rows[2].sampleStart1, 63u);
    EXPECT_EQ(r.bank.rows[2].sampleStart2, 188u);
    EXPECT_EQ(r.bank.rows[2].sampleEnd, 124u);
    EXPECT_EQ(r.bank.rows[1].channels, 0);
}

// The exact verdict: no single changed byte anywhere in the file passes.
TEST(VoiceBankCheck, EveryOneByteChangeIsCaught) {
    const Bytes good = Build(*MakeImage(SmallBank), "EDGE");
    for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}}) {
        for (size_t off = 0; off < good.size(); ++off) {
            Bytes bad = good;
            bad[off] ^= mask;
            const VoiceBankReport r = Check(bad);
            ASSERT_FALSE(r.valid) << "offset " << off << " mask " << int{mask};
            ASSERT_FALSE(r.problems.empty()) << "offset " << off;
        }
    }
}

// Stored offsets: each aligned byte pair is exchanged, so logical byte i sits at i ^ 1.
TEST(VoiceBankCheck, NamesTheDamagedField) {
    const Bytes good = Build(*MakeImage(SmallBank), "EDGE");
    struct Case {
        size_t logicalOffset;
        const char* named;
    };
    const size_t e1 = bank::Element1Offset;
    const size_t e2 = bank::Element2Offset;
    const Case cases[] = {
        {0x0001, "magic"},
        {0x0017, "bodyLength"},
        {0x001B, "checksum32"},
        {0x001D, "checksum16"},
        {0x001F, "checksum8"},
        {bank::SampleAreaField, "sampleAreaOffset"},
        {bank::SectionTableOffset + 3, "section table entry 0"},
        {bank::Section1Offset + 1, "section 1"},
        {bank::VoiceHeaderOffset + 11, "first element number"},
        {e1 + 1, "element 1 pan"},
        {e2 + bank::KeyMapOffset + 60, "element 2 key map entry for note 60"},
        {e1 + bank::KeyMapOffset + 61,
         "key map entry for note 61 is 254, expected 255 (row 02 is empty)"},
        {bank::KeyRecordOffset(e1, 3) + bank::KeyRootKey,
         "element 1 key record 3 (row 04) rootKey"},
        {bank::KeyRecordOffset(e2, 15) + bank::KeySampleStart + 2,
         "element 2 key record 15 (row 16) sampleStart"},
        {bank::KeyRecordOffset(e1, 3) + bank::KeySampleEnd + 1, "sampleEnd"},
        {bank::KeyRecordOffset(e1, 5) + bank::KeySampleEnd + 1,
         "element 1 key record 5 (row 06) sampleEnd is 1, expected 0"},
        {bank::ReservedOffset - 7, "section 8"},
        {bank::ReservedOffset + 4, "reserved"},
        {bank::SampleAreaOffset + 32, "a sample byte or the checksum itself"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        bad[c.logicalOffset ^ 1u] ^= 0x01;
        const VoiceBankReport r = Check(bad);
        EXPECT_FALSE(r.valid);
        EXPECT_TRUE(Names(r, c.named))
            << "offset " << c.logicalOffset << " should name '" << c.named << "':\n"
            << All(r);
        if (c.logicalOffset >= bank::HeaderBytes) {
            EXPECT_TRUE(Names(r, "checksum32")) << All(r);
        }
    }
}

// Each row of the head tables, damaged in its first item in every block it
// appears in, is named: by its name, or by its area, kind and place.
TEST(VoiceBankCheck, EveryHeadFieldIsNamedWhenDamaged) {
    const Bytes good = Build(*MakeImage(SmallBank), "EDGE");
    bank::ForEachHeadItem([&](const bank::FieldItem& item) {
        const bank::HeadField& f = item.field;
        if (item.offset < bank::TableOffsetField || item.index != 0) return;
        Bytes bad = good;
        bad[(item.offset + f.width - 1) ^ 1u] ^= 0x04;  // the lowest logical byte
        std::vector<std::string> parts;
        if (item.element >= 0) parts.push_back("element " + std::to_string(item.element + 1));
        if (item.keyRecord >= 0) parts.push_back("key record " + std::to_string(item.keyRecord));
        char place[32];
        if (f.initial == bank::Initial::KeyMap) {
            std::snprintf(place, sizeof place, "key map entry for note %d ", item.index);
        } else if (f.label == bank::Label::Field) {
            std::snprintf(place, sizeof place, " %s is ", f.name);
        } else if (item.keyRecord >= 0) {
            std::snprintf(place, sizeof place, "%s +%zu is ", f.width == 1 ? "byte" : "word",
                          f.offset);
        } else {
            std::snprintf(place, sizeof place, "%s 0x%04zX is ", f.width == 1 ? "byte" : "word",
                          item.offset);
        }
        parts.emplace_back(place);
        if (f.label == bank::Label::Area) parts.emplace_back(f.name);
        const VoiceBankReport r = Check(bad);
        EXPECT_FALSE(r.valid);
        const auto hasAll = [&](const std::string& p) {
            return std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
                return (" " + p).find(part) != std::string::npos;
            });
        };
        const bool named = std::any_of(r.problems.begin(), r.problems.end(), hasAll);
        EXPECT_TRUE(named) << "offset " << item.offset << " (" << f.name << "):\n" << All(r);
    });
}

TEST(VoiceBankCheck, NamesLengthProblems) {
    const Bytes good = Build(*MakeImage(SmallBank), "EDGE");

    Bytes longer = good;
    longer.push_back(0);
    longer.push_back(0);
    const VoiceBankReport tail = Check(longer);
    EXPECT_FALSE(tail.valid);
    EXPECT_TRUE(Names(tail, "2 bytes follow the last filled row's sample data")) << All(tail);
    EXPECT_TRUE(Names(tail, "bodyLength")) << All(tail);

    Bytes shorter(good.begin(), good.end() - 64);
    const VoiceBankReport cut = Check(shorter);
    EXPECT_FALSE(cut.valid);
    EXPECT_TRUE(Names(cut, "64 bytes shorter")) << All(cut);
    EXPECT_TRUE(Names(cut, "row 16: element 1 sampleStart")) << All(cut);

    Bytes odd = good;
    odd.push_back(0);
    EXPECT_TRUE(Names(Check(odd), "odd"));

    const VoiceBankReport tiny = Check(Bytes(good.begin(), good.begin() + 100));
    EXPECT_FALSE(tiny.valid);
    EXPECT_FALSE(tiny.decoded);
    EXPECT_TRUE(Names(tiny, "at least the 2144-byte parameter area")) << All(tiny);
}

TEST(VoiceBankCheck, NamesBytesLeftInTheNameFieldAfterTheName) {
    Bytes bad = Build(*MakeImage(SmallBank), "AB");
    bad[(bank::BankNameOffset + 5) ^ 1u] = 'Z';
    const VoiceBankReport r = Check(bad);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.bank.bankName, "AB");
    EXPECT_TRUE(Names(r, "bankName field holds byte 90 at 0x0025")) << All(r);
}

// A damaged element-2 sampleStart leaves a row's shape in doubt; the shape
// that fills the file decides, so only the damaged field is blamed.
TEST(VoiceBankCheck, DamagedSampleStartDoesNotChangeTheRowShape) {
    const Bytes good = Build(*MakeImage(SmallBank), "EDGE");
    for (int slot : {0, 3}) {
        Bytes bad = good;
        bad[(bank::KeyRecordOffset(bank::Element2Offset, slot) + bank::KeySampleStart + 2) ^ 1u] ^=
            0x04;
        const VoiceBankReport r = Check(bad);
        EXPECT_FALSE(r.valid);
        EXPECT_EQ(r.bank.rows[static_cast<size_t>(slot)].channels, slot == 0 ? 1 : 2);
        // The three checksums, the field itself, and nothing else.
        EXPECT_EQ(r.problems.size(), 4u) << All(r);
    }
}

// Whatever the fields say, nothing outside the buffer is read (this test is
// most useful under the address sanitizer).
TEST(VoiceBankCheck, HostileFieldsStayInsideTheBuffer) {
    const Bytes good = Build(*MakeImage(SmallBank), "EDGE");
    Bytes hostile = good;
    for (size_t element : {bank::Element1Offset, bank::Element2Offset}) {
        for (int j = 0; j < VoiceSlotCount; ++j) {
            const size_t r = bank::KeyRecordOffset(element, j);
            for (size_t b = 0; b < 3; ++b) hostile[(r + bank::KeySampleStart + b) ^ 1u] = 0xFF;
            for (size_t b = 0; b < 2; ++b) hostile[(r + bank::KeySampleEnd + b) ^ 1u] = 0xFF;
        }
        for (int n = 0; n < bank::KeyCount; ++n)
            hostile[(element + bank::KeyMapOffset + static_cast<size_t>(n)) ^ 1u] =
                static_cast<uint8_t>(bank::DefaultSlotForNote(n));
    }
    const VoiceBankReport r = Check(hostile);
    EXPECT_FALSE(r.valid);
    ASSERT_TRUE(r.decoded);
    EXPECT_EQ(r.bank.rows[5].frames, MaxVoiceFrames);
    EXPECT_TRUE(Names(r, "beyond the longest voice"));
    EXPECT_TRUE(Names(r, "points outside the sample area"));

    // Every length, including odd ones, from a copy of exactly that size.
    for (size_t n = 0; n <= good.size(); n += (n < 2200 ? 1 : 37)) {
        const auto copy = std::make_unique<uint8_t[]>(n + 1);
        std::copy(hostile.begin(), hostile.begin() + static_cast<ptrdiff_t>(n), copy.get());
        const VoiceBankReport cut = CheckVoiceBank(copy.get(), n);
        ASSERT_FALSE(cut.valid) << n;
    }
    // Random changes of several bytes, biased towards the key maps and records.
    uint32_t seed = 99;
    const auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    for (int round = 0; round < 300; ++round) {
        Bytes bad = good;
        const uint32_t changes = 1 + next(8);
        for (uint32_t i = 0; i < changes; ++i) {
            const auto elements =
                static_cast<uint32_t>(bank::Section6Offset - bank::Element1Offset);
            const size_t off = next(2) == 0 ? bank::Element1Offset + next(elements)
                                            : next(static_cast<uint32_t>(bad.size()));
            bad[off] = static_cast<uint8_t>(next(256));
        }
        const VoiceBankReport mutated = Check(bad);
        EXPECT_EQ(mutated.valid, mutated.problems.empty()) << "round " << round;
    }
    EXPECT_FALSE(CheckVoiceBank(nullptr, 0).valid);
    DecodedVoiceBank none;
    EXPECT_FALSE(DecodeVoiceBank(good.data(), 2143, &none));
    EXPECT_FALSE(DecodeVoiceBank(nullptr, 5000, &none));
}

namespace {

TEST(VoiceBankCheck, ASoundFileIsNamedAsOneNotAsABankWithAStrangeMagic) {
    const testsupport::Pcm pcm = testsupport::MakeRamp(1, 16, 44100, 3000);
    for (const auto& [bytes, said] :
         {std::pair{testsupport::MakeWav(pcm), "the file is a WAV sound file, not a voice bank"},
          std::pair{testsupport::MakeAiff(pcm),
                    "the file is an AIFF sound file, not a voice bank"}}) {
        const VoiceBankReport r = CheckVoiceBank(bytes.data(), bytes.size());
        EXPECT_FALSE(r.valid);
        ASSERT_EQ(r.problems.size(), 1u);
        EXPECT_EQ(r.problems.front(), said);
    }
}

}  // namespace
