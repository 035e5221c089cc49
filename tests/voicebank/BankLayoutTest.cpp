// The bank's layout to the byte: image defaults, addresses, encoding, the
// stored pair-exchanged form and the checksums.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

using namespace bank;

namespace {

std::unique_ptr<VoiceBankImage> FreshImage() {
    auto image = std::make_unique<VoiceBankImage>();
    EXPECT_TRUE(InitVoiceBankImage(image.get()));
    return image;
}

void FillSlot(VoiceBankImage& image, int slot, int channels, int frames, int16_t value) {
    AudioData& d = image.voices[slot];
    d.channels = static_cast<int16_t>(channels);
    d.sampleRate = 44100;
    d.bitsPerSample = 16;
    d.frames = frames;
    for (int i = 0; i < frames; ++i) {
        d.left[i] = value;
        d.right[i] = channels == 2 ? static_cast<int16_t>(-value) : 0;
    }
}

std::vector<uint8_t> Build(const VoiceBankImage& image, const char* name) {
    auto copy = std::make_unique<VoiceBankImage>(image);
    EXPECT_TRUE(FillVoiceAddresses(copy.get(), name));
    std::vector<uint8_t> out;
    EXPECT_TRUE(BuildVoiceBankFile(copy.get(), &out));
    return out;
}

// The logical (big-endian) form of a stored file.
std::vector<uint8_t> Logical(std::vector<uint8_t> stored) {
    for (size_t i = 0; i + 1 < stored.size(); i += 2) std::swap(stored[i], stored[i + 1]);
    return stored;
}

uint32_t Be(const std::vector<uint8_t>& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

uint32_t Host32(const uint8_t* h, size_t at) {
    uint32_t v;
    std::memcpy(&v, h + at, 4);
    return v;
}

}  // namespace

TEST(BankImage, DefaultsOfAFreshImage) {
    auto image = FreshImage();
    const uint8_t* h = image->head.data();
    EXPECT_EQ(std::memcmp(h, "ST06 SAMPLE-VCE ", 16), 0);
    for (size_t i = 16; i < 80; ++i) {
        if (i >= TableOffsetField && i < TableOffsetField + 8) continue;
        ASSERT_EQ(h[i], 0) << i;
    }
    EXPECT_EQ(Host32(h, TableOffsetField), 80u);
    EXPECT_EQ(Host32(h, SampleAreaField), 2144u);
    const uint32_t table[12] = {48,   176,  432,  0xFFFFFFFF, 0xFFFFFFFF, 704,
                                1960, 1968, 2000, 0xFFFFFFFF, 0xFFFFFFFF, 688};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(Host32(h, SectionTableOffset + 4 * i), table[i]) << i;
    EXPECT_EQ(Host32(h, ElementListOffset), 712u);
    EXPECT_EQ(Host32(h, ElementListOffset + 4), 1336u);
    for (size_t element : {Element1Offset, Element2Offset}) {
        EXPECT_EQ(h[element + KeyMapOffset + 60], 0);
        EXPECT_EQ(h[element + KeyMapOffset + 0], 4);
        EXPECT_EQ(h[element + KeyMapOffset + 127], 3);
        EXPECT_EQ(h[KeyRecordOffset(element, 5) + KeyRootKey], 65);
    }
    EXPECT_EQ(h[Element1Offset + 1], 1);
    EXPECT_EQ(h[Element2Offset + 1], 127);
    // Key record 15 of element 2 ends two bytes before section 6; those two
    // bytes are zero.
    EXPECT_EQ(KeyRecordOffset(Element2Offset, 15) + KeyRecordBytes + 2, Section6Offset);
    EXPECT_EQ(h[Section6Offset - 2], 0);
    EXPECT_EQ(h[Section6Offset - 1], 0);
    for (size_t i = ReservedOffset; i < VoiceHeadBytes; ++i) ASSERT_EQ(h[i], 0);
    for (const AudioData& slot : image->voices) EXPECT_EQ(slot.channels, 0);
    EXPECT_FALSE(InitVoiceBankImage(nullptr));
}

TEST(BankBuild, TheSmallestBankToTheByte) {
    // Bank TEST, slot 0 mono, 16 frames of 0x0040.
    auto image = FreshImage();
    FillSlot(*image, 0, 1, 16, 0x0040);
    auto file = Build(*image, "TEST");
    ASSERT_EQ(file.size(), 2176u);
    const std::vector<uint8_t> head = {0x54, 0x53, 0x36, 0x30, 0x53, 0x20, 0x4D, 0x41, 0x4C,
                                       0x50, 0x2D, 0x45, 0x43, 0x56, 0x20, 0x45, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x60, 0x08, 0x01, 0x00, 0x43,
                                       0xD0, 0x43, 0xD0, 0x43, 0x00, 0x45, 0x54, 0x54, 0x53};
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 36), head);
    for (size_t i = SampleAreaOffset; i < SampleAreaOffset + 32; i += 2) {
        EXPECT_EQ(file[i], 0x40);
        EXPECT_EQ(file[i + 1], 0x10);
    }
    EXPECT_EQ(ByteSum(file.data() + 32, 2144), 118851u);

    image->voices[0].left[15] = 0x1234;
    file = Build(*image, "TEST");
    EXPECT_EQ(file[2174], 0x34);
    EXPECT_EQ(file[2175], 0xD2);
    EXPECT_EQ(Be(Logical(file), Checksum32Offset, 4), 119033u);
}

TEST(BankBuild, AddressesFollowTheSampleLayout) {
    // Slot 0 mono of 1,008 frames, slot 2 stereo of 2,000 frames.
    auto image = FreshImage();
    FillSlot(*image, 0, 1, 1008, 100);
    FillSlot(*image, 2, 2, 2000, 200);
    const auto file = Build(*image, "LAYOUT");
    ASSERT_EQ(file.size(), 12160u);
    const auto b = Logical(file);
    auto start = [&](size_t element, int j) {
        return Be(b, KeyRecordOffset(element, j) + KeySampleStart, 3);
    };
    auto end = [&](size_t element, int j) {
        return Be(b, KeyRecordOffset(element, j) + KeySampleEnd, 2);
    };
    EXPECT_EQ(start(Element1Offset, 0), 0u);
    EXPECT_EQ(start(Element2Offset, 0), 0u);
    EXPECT_EQ(end(Element1Offset, 0), 62u);
    EXPECT_EQ(start(Element1Offset, 2), 63u);
    EXPECT_EQ(start(Element2Offset, 2), 188u);
    EXPECT_EQ(end(Element2Offset, 2), 124u);
    // Empty slots keep zero addresses and lose their notes in both elements.
    EXPECT_EQ(start(Element1Offset, 1), 0u);
    for (size_t element : {Element1Offset, Element2Offset})
        for (int n = 0; n < 128; ++n) {
            const int slot = (n + 4) % 16;
            const uint8_t want = slot == 0 || slot == 2 ? static_cast<uint8_t>(slot) : 255;
            ASSERT_EQ(b[element + KeyMapOffset + static_cast<size_t>(n)], want) << n;
        }
    // Stereo data: left then right, each encoded, at 32 x sampleStart.
    const size_t right = SampleAreaOffset + 32 * 188;
    EXPECT_EQ(static_cast<int16_t>(Be(b, right, 2)), EncodeSampleWord(-200));
    EXPECT_EQ(static_cast<int16_t>(Be(b, SampleAreaOffset + 32 * 63, 2)), EncodeSampleWord(200));
    EXPECT_EQ(Be(b, BodyLengthOffset, 4), 0u);
    EXPECT_EQ(Be(b, BodyLengthOffset + 4, 4), 12160u - 32);
    const uint32_t sum = ByteSum(file.data() + 32, static_cast<ptrdiff_t>(file.size() - 32));
    EXPECT_EQ(Be(b, Checksum32Offset, 4), sum);
    EXPECT_EQ(Be(b, Checksum16Offset, 2), sum & 0xFFFF);
    EXPECT_EQ(Be(b, Checksum8Offset, 2), sum & 0xFF);
}

TEST(BankBuild, ParameterHeadIsBigEndianInTheLogicalForm) {
    auto image = FreshImage();
    FillSlot(*image, 3, 1, 1008, 1);
    const auto file = Build(*image, "HEAD");
    ASSERT_EQ(file.size(), 4160u);
    const auto b = Logical(file);
    EXPECT_EQ(Be(b, TableOffsetField, 4), 80u);
    EXPECT_EQ(Be(b, SampleAreaField, 4), 2144u);
    EXPECT_EQ(Be(b, SectionTableOffset + 4 * 11, 4), 688u);
    EXPECT_EQ(Be(b, SectionTableOffset + 4 * 3, 4), 0xFFFFFFFFu);
    EXPECT_EQ(Be(b, ElementListOffset + 4, 4), 1336u);
    // Every parameter keeps its default, big-endian, except what the build
    // writes: the addresses of slot 3 and the emptied key-map entries.
    ForEachHeadItem([&](const FieldItem& item) {
        const HeadField& f = item.field;
        if (item.offset < TableOffsetField || f.stored == Stored::Big) return;
        if (f.initial == Initial::KeyMap) return;
        ASSERT_EQ(Be(b, item.offset, static_cast<int>(f.width)), InitialValue(item))
            << f.name << " at " << item.offset;
    });
    EXPECT_EQ(std::memcmp(b.data() + BankNameOffset, "HEAD", 4), 0);
    EXPECT_EQ(b[BankNameOffset + 4], 0);
    for (size_t i = ReservedOffset; i < SampleAreaOffset; ++i) ASSERT_EQ(b[i], 0);
    // Key record 3: sampleStart 0 and sampleEnd 62; in the stored form the
    // 24-bit field reads as the bytes hi, 0, lo, mid.
    const size_t r = KeyRecordOffset(Element1Offset, 3);
    EXPECT_EQ(Be(b, r + KeySampleEnd, 2), 62u);
    EXPECT_EQ(b[r + KeyRootKey], 63);
    // Every note but slot 3's plays nothing.
    for (int n = 0; n < 128; ++n)
        ASSERT_EQ(b[Element2Offset + KeyMapOffset + static_cast<size_t>(n)],
                  (n + 4) % 16 == 3 ? 3 : 255);
}

TEST(BankBuild, NamesAndRepeatability) {
    auto image = FreshImage();
    FillSlot(*image, 7, 2, 512, -1234);
    const auto a = Build(*image, "ALPHA");
    const auto b = Build(*image, "BRAVO-2");
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        if (i >= Checksum32Offset && i < HeaderBytes) continue;     // checksums
        if (i >= BankNameOffset && i < TableOffsetField) continue;  // bank name
        ASSERT_EQ(a[i], b[i]) << i;
    }
    EXPECT_EQ(Build(*image, "ALPHA"), a);

    const auto sixteen = Logical(Build(*image, "ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(std::memcmp(sixteen.data() + BankNameOffset, "ABCDEFGHIJKLMNOP", 16), 0);
    for (size_t i = BankNameOffset + 16; i < TableOffsetField; ++i) EXPECT_EQ(sixteen[i], 0);
    // A name longer than the field stops at its 32 bytes.
    const auto longName = Logical(Build(*image, "0123456789012345678901234567890123456789"));
    EXPECT_EQ(std::memcmp(longName.data() + BankNameOffset, "01234567890123456789012345678901", 32),
              0);
    EXPECT_EQ(Be(longName, TableOffsetField, 4), 80u);

    // The image handed in is not changed by a build.
    const auto before = std::make_unique<VoiceBankImage>(*image);
    (void)Build(*image, "X");
    EXPECT_TRUE(*before == *image);
}

TEST(BankBuild, SilentStereoStillCarriesItsRightChannel) {
    auto image = FreshImage();
    FillSlot(*image, 0, 2, 32, 0);
    const auto file = Build(*image, "S");
    EXPECT_EQ(file.size(), 2144u + 32 * 2 * 2);
}

TEST(BankBuild, FullBankAndRefusals) {
    auto image = FreshImage();
    for (int k = 0; k < 16; ++k) FillSlot(*image, k, 2, MaxVoiceFrames, static_cast<int16_t>(k));
    EXPECT_EQ(Build(*image, "FULL").size(), MaxFileBytes);
    EXPECT_EQ(MaxFileBytes, 2739296u);

    std::vector<uint8_t> out;
    EXPECT_FALSE(BuildVoiceBankFile(nullptr, &out));
    EXPECT_FALSE(FillVoiceAddresses(nullptr, "X"));
    EXPECT_FALSE(FillVoiceAddresses(image.get(), nullptr));
    image->voices[4].frames = MaxVoiceFrames + 16;  // would reach past the record
    EXPECT_FALSE(BuildVoiceBankFile(image.get(), &out));
    EXPECT_TRUE(out.empty());
}

TEST(SampleWord, EncodingExamplesAndInverse) {
    EXPECT_EQ(static_cast<uint16_t>(EncodeSampleWord(0x1234)), 0xD234);
    EXPECT_EQ(EncodeSampleWord(0x0040), 0x1040);
    for (int s : {0x0000, 0x7FFF, -0x8000, -1})
        EXPECT_EQ(EncodeSampleWord(static_cast<int16_t>(s)), s);
    for (int s = -32768; s < 32768; ++s) {
        const auto v = static_cast<int16_t>(s);
        ASSERT_EQ(EncodeSampleWord(EncodeSampleWord(v)), v);
        ASSERT_EQ(EncodeSampleWord(v) & 0x0FFF, v & 0x0FFF);
    }
    const uint8_t bytes[] = {255, 255, 1};
    EXPECT_EQ(ByteSum(bytes, 3), 511u);
    EXPECT_EQ(ByteSum(bytes, 0), 0u);
    EXPECT_EQ(ByteSum(nullptr, 3), 0u);
}
