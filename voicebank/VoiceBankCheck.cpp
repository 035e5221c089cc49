#include "voicebank/VoiceBankCheck.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "voicebank/VoiceBankBuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t MaxSampleEnd = static_cast<uint32_t>(MaxVoiceFrames) / 16u - 1u;  // 2,672
constexpr size_t MaxNamedFields = 64;  // more differing fields than this are counted, not listed

// The logical (big-endian) form: every aligned byte pair exchanged back. A
// trailing odd byte stays where it is.
Bytes Unexchange(const uint8_t* data, size_t size) {
    Bytes v(data, data + size);
    for (size_t i = 0; i + 1 < size; i += 2) std::swap(v[i], v[i + 1]);
    return v;
}

// Big-endian value of width bytes at off; the caller keeps off + width in range.
uint64_t ReadBig(const Bytes& v, size_t off, size_t width) {
    uint64_t x = 0;
    for (size_t i = 0; i < width; ++i) x = (x << 8) | v[off + i];
    return x;
}

std::string Hex(uint64_t value, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return buf;
}

std::string Num(uint64_t value) { return std::to_string(value); }

std::string RowName(int slot) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "row %02d", slot + 1);
    return buf;
}

// Key-map counts of one slot over both elements: entries naming the slot and
// entries marked empty.
struct KeyVotes {
    int named = 0;
    int empty = 0;
};

KeyVotes CountKeyVotes(const Bytes& logical, int slot) {
    KeyVotes votes;
    for (size_t element : {bank::Element1Offset, bank::Element2Offset}) {
        for (int n = 0; n < bank::KeyCount; ++n) {
            if (bank::DefaultSlotForNote(n) != slot) continue;
            const uint8_t entry = logical[element + bank::KeyMapOffset + static_cast<size_t>(n)];
            if (entry == slot) ++votes.named;
            if (entry == bank::NoSlot) ++votes.empty;
        }
    }
    return votes;
}

uint32_t SampleStartOf(const Bytes& logical, size_t element, int slot) {
    return static_cast<uint32_t>(
        ReadBig(logical, bank::KeyRecordOffset(element, slot) + bank::KeySampleStart, 3));
}

uint32_t SampleEndOf(const Bytes& logical, size_t element, int slot) {
    return static_cast<uint32_t>(
        ReadBig(logical, bank::KeyRecordOffset(element, slot) + bank::KeySampleEnd, 2));
}

struct Shape {
    int channels;
    int32_t frames;
};

// The shapes a filled row's key records allow, most likely first. An intact
// row allows exactly one; a damaged sampleStart or sampleEnd allows several.
std::vector<Shape> ShapeOptions(uint32_t start1, uint32_t start2, uint32_t end1, uint32_t end2) {
    std::vector<uint32_t> ends;
    for (uint32_t e : {end1, end2}) {
        if (e <= MaxSampleEnd && (ends.empty() || ends.front() != e)) ends.push_back(e);
    }
    if (ends.empty()) ends.push_back(MaxSampleEnd);
    std::vector<Shape> options;
    for (uint32_t e : ends) {
        const uint32_t blocks = e + 1;
        const auto frames = static_cast<int32_t>(blocks * 16u);
        if (start2 == start1) {
            options.push_back({1, frames});
        } else if (start2 == start1 + blocks) {
            options.push_back({2, frames});
        } else {
            options.push_back({1, frames});
            options.push_back({2, frames});
        }
    }
    return options;
}

size_t SampleBytes(const Shape& s) {
    return static_cast<size_t>(s.channels) * static_cast<size_t>(s.frames) * 2u;
}

// Reads count encoded samples from the stored sample area at byte pos (past
// 0x0860); samples beyond the file's end read as silence.
void ReadChannel(const uint8_t* data, size_t size, size_t pos, int32_t count, int16_t* dst) {
    for (int32_t i = 0; i < count; ++i) {
        const size_t off = bank::SampleAreaOffset + pos + 2u * static_cast<size_t>(i);
        if (off + 1 >= size) {
            dst[i] = 0;
            continue;
        }
        // Stored form: the big-endian word with its pair exchanged, so low byte first.
        const auto e = static_cast<uint16_t>(data[off] | (data[off + 1] << 8));
        dst[i] = EncodeSampleWord(static_cast<int16_t>(e));
    }
}

// ---- naming a differing field of the parameter head ----

struct Field {
    size_t start;
    size_t width;
    std::string name;
    bool keyMapEntry = false;  // worded apart: which row it belongs to matters
};

Field Byte(size_t off, const std::string& what) { return {off, 1, what + " byte " + Hex(off, 4)}; }
Field Word(size_t off, const std::string& what) { return {off, 2, what + " word " + Hex(off, 4)}; }

// The field of an element block (starting at base) that holds byte off.
Field ElementField(size_t off, size_t base, int element) {
    const std::string el = "element " + std::to_string(element);
    const size_t rel = off - base;
    if (rel < bank::KeyMapOffset) {
        if (rel == 1) return {off, 1, el + " pan"};
        if (rel >= 2 && rel < 6) return Word(base + (rel & ~size_t{1}), el);
        if (rel == 8 || rel == 9) return Word(base + 8, el);
        return Byte(off, el);
    }
    if (rel < bank::KeyRecordsOffset) {
        return {off, 1, el + " key map", true};
    }
    if (rel >= bank::KeyRecordsOffset + 16 * bank::KeyRecordBytes) {
        return Byte(off, el + " padding");
    }
    const size_t j = (rel - bank::KeyRecordsOffset) / bank::KeyRecordBytes;
    const size_t r = (rel - bank::KeyRecordsOffset) % bank::KeyRecordBytes;
    const size_t rec = off - r;
    const std::string kr =
        el + " key record " + std::to_string(j) + " (" + RowName(static_cast<int>(j)) + ")";
    if (r == 1) return {off, 1, kr + " pan"};
    if (r == bank::KeyRootKey) return {off, 1, kr + " rootKey"};
    if (r >= bank::KeySampleStart && r < bank::KeySampleStart + 3)
        return {rec + bank::KeySampleStart, 3, kr + " sampleStart"};
    if (r == bank::KeySampleEnd || r == bank::KeySampleEnd + 1)
        return {rec + bank::KeySampleEnd, 2, kr + " sampleEnd"};
    if (r == 10 || r == 11 || r >= 22) return {rec + (r & ~size_t{1}), 2, kr + " word +" + Num(r & ~size_t{1})};
    return {off, 1, kr + " byte +" + Num(r)};
}

// The field of the parameter head (0x0040-0x085F) that holds byte off.
Field HeadField(size_t off) {
    if (off < 0x44) return {0x40, 4, "tableOffset"};
    if (off < 0x48) return {0x44, 4, "sampleAreaOffset"};
    if (off < bank::SectionTableOffset) return Byte(off, "reserved");
    if (off < bank::Section0Offset) {
        const size_t i = (off - bank::SectionTableOffset) / 4;
        return {bank::SectionTableOffset + 4 * i, 4, "section table entry " + Num(i)};
    }
    if (off < bank::Section1Offset) return Byte(off, "section 0");
    if (off < bank::Section2Offset) return Word(off & ~size_t{1}, "section 1");
    if (off < bank::VoiceHeaderOffset) return Word(off & ~size_t{1}, "section 2");
    if (off < bank::ElementListOffset) {
        switch (off) {
        case 0x300: case 0x301: return Word(0x300, "voice header");
        case 0x304: case 0x305: return Word(0x304, "voice header");
        case 0x30A: case 0x30B: return {0x30A, 2, "first element number"};
        case 0x30C: case 0x30D: return {0x30C, 2, "second element number"};
        default: return Byte(off, "voice header");
        }
    }
    if (off < bank::Element1Offset) {
        const size_t i = (off - bank::ElementListOffset) / 4;
        return {bank::ElementListOffset + 4 * i, 4, "element " + Num(i + 1) + " offset"};
    }
    if (off < bank::Element2Offset) return ElementField(off, bank::Element1Offset, 1);
    if (off < bank::Section6Offset) return ElementField(off, bank::Element2Offset, 2);
    if (off < bank::Section7Offset) {
        if (off == 0x7FC || off == 0x7FD) return Word(0x7FC, "section 6");
        return Byte(off, "section 6");
    }
    if (off < bank::Section8Offset) {
        if (off >= 0x80A && off < 0x816) return Word(off & ~size_t{1}, "section 7");
        return Byte(off, "section 7");
    }
    if (off < bank::ReservedOffset) {
        if (off < 0x82A || (off >= 0x830 && off < 0x83A) || off >= 0x844)
            return Word(off & ~size_t{1}, "section 8");
        return Byte(off, "section 8");
    }
    return Byte(off, "reserved");
}

// Names every field of the parameter head whose bytes differ from the rebuild.
void NameHeadDifferences(const Bytes& stored, const Bytes& rebuilt,
                         std::vector<std::string>& problems) {
    size_t named = 0;
    size_t unnamed = 0;
    size_t off = bank::TableOffsetField;
    while (off < bank::SampleAreaOffset) {
        const Field f = HeadField(off);
        const size_t end = f.start + f.width;
        if (std::memcmp(&stored[f.start], &rebuilt[f.start], f.width) == 0) {
            off = end;
            continue;
        }
        std::string msg;
        if (f.keyMapEntry) {
            const size_t element = f.start < bank::Element2Offset ? bank::Element1Offset
                                                                  : bank::Element2Offset;
            const auto note = static_cast<int>(f.start - element - bank::KeyMapOffset);
            const int slot = bank::DefaultSlotForNote(note);
            const bool filled = rebuilt[f.start] != bank::NoSlot;
            msg = "element " + std::string(element == bank::Element1Offset ? "1" : "2") +
                  " key map entry for note " + std::to_string(note) + " is " +
                  Num(stored[f.start]) + ", expected " + Num(rebuilt[f.start]) + " (" +
                  RowName(slot) + (filled ? " is filled)" : " is empty)");
        } else {
            msg = f.name + " is " + Num(ReadBig(stored, f.start, f.width)) + ", expected " +
                  Num(ReadBig(rebuilt, f.start, f.width));
        }
        if (named < MaxNamedFields) {
            problems.push_back(std::move(msg));
            ++named;
        } else {
            ++unnamed;
        }
        off = end;
    }
    if (unnamed > 0) {
        problems.push_back("and " + Num(unnamed) + " more fields of the parameter area differ");
    }
}

// Magic, bodyLength, checksums and name field. Returns how many of the
// problems found are checksum ones.
size_t CheckHeader(const uint8_t* data, size_t size, const Bytes& logical,
                   std::vector<std::string>& problems) {
    if (std::memcmp(logical.data(), bank::Magic, bank::MagicBytes) != 0) {
        std::string seen;
        for (size_t i = 0; i < bank::MagicBytes; ++i) {
            const uint8_t c = logical[i];
            seen += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        }
        problems.push_back("magic is \"" + seen + "\", expected \"" + bank::Magic + "\"");
    }
    const uint64_t body = ReadBig(logical, bank::BodyLengthOffset, 8);
    if (body != size - bank::HeaderBytes) {
        problems.push_back("bodyLength is " + Num(body) + " but the file holds " +
                           Num(size - bank::HeaderBytes) + " bytes after its 32-byte header");
    }
    const uint32_t sum =
        ByteSum(data + bank::HeaderBytes, static_cast<ptrdiff_t>(size - bank::HeaderBytes));
    const uint64_t c32 = ReadBig(logical, bank::Checksum32Offset, 4);
    const uint64_t c16 = ReadBig(logical, bank::Checksum16Offset, 2);
    const uint64_t c8 = ReadBig(logical, bank::Checksum8Offset, 2);
    const size_t before = problems.size();
    if (c32 != sum) {
        problems.push_back("checksum32 is " + Num(c32) + " but the bytes from 0x0020 on sum to " +
                           Num(sum));
    }
    if (c16 != (sum & 0xFFFFu)) {
        problems.push_back("checksum16 is " + Num(c16) + ", expected " + Num(sum & 0xFFFFu));
    }
    if (c8 != (sum & 0xFFu)) {
        problems.push_back("checksum8 is " + Num(c8) + ", expected " + Num(sum & 0xFFu));
    }
    const size_t checksumProblems = problems.size() - before;
    bool ended = false;
    for (size_t i = 0; i < bank::BankNameBytes; ++i) {
        const uint8_t c = logical[bank::BankNameOffset + i];
        if (c == 0) {
            ended = true;
        } else if (ended) {
            problems.push_back("bankName field holds byte " + Num(c) + " at " +
                               Hex(bank::BankNameOffset + i, 4) + " after the name's end");
            break;
        }
    }
    return checksumProblems;
}

// sampleStart and sampleEnd of every filled row must stay inside the file's
// sample area and the longest voice.
void CheckSampleRanges(const DecodedVoiceBank& decoded, size_t size,
                       std::vector<std::string>& problems) {
    const size_t area = size - bank::SampleAreaOffset;
    for (int k = 0; k < VoiceSlotCount; ++k) {
        const VoiceBankRow& row = decoded.rows[static_cast<size_t>(k)];
        if (row.channels == 0) continue;
        if (row.sampleEnd > MaxSampleEnd) {
            problems.push_back(RowName(k) + ": sampleEnd " + Num(row.sampleEnd) +
                               " is beyond the longest voice (" + Num(MaxSampleEnd) + ")");
        }
        const size_t bytes = static_cast<size_t>(row.frames) * 2u;
        const uint32_t starts[2] = {row.sampleStart1, row.sampleStart2};
        for (int e = 0; e < 2; ++e) {
            const uint64_t begin = uint64_t{starts[e]} * 32u;
            if (begin + bytes > area) {
                problems.push_back(RowName(k) + ": element " + Num(static_cast<uint64_t>(e + 1)) +
                                   " sampleStart " + Num(starts[e]) +
                                   " points outside the sample area (" + Num(area) + " bytes)");
            }
        }
    }
}

}  // namespace

int DecodeVoiceBank(const uint8_t* data, size_t size, DecodedVoiceBank* out) {
    if (data == nullptr || out == nullptr || size < bank::SampleAreaOffset) return 0;
    try {
        const Bytes logical = Unexchange(data, size);
        DecodedVoiceBank result;
        result.image = std::make_unique<VoiceBankImage>();
        if (InitVoiceBankImage(result.image.get()) != 1) return 0;

        for (size_t i = 0; i < bank::BankNameBytes; ++i) {
            const uint8_t c = logical[bank::BankNameOffset + i];
            if (c == 0) break;
            result.bankName += static_cast<char>(c);
        }

        std::array<std::vector<Shape>, VoiceSlotCount> options;
        std::vector<int> doubtful;
        for (int k = 0; k < VoiceSlotCount; ++k) {
            const KeyVotes votes = CountKeyVotes(logical, k);
            if (votes.named <= votes.empty) continue;
            VoiceBankRow& row = result.rows[static_cast<size_t>(k)];
            row.sampleStart1 = SampleStartOf(logical, bank::Element1Offset, k);
            row.sampleStart2 = SampleStartOf(logical, bank::Element2Offset, k);
            row.sampleEnd = SampleEndOf(logical, bank::Element1Offset, k);
            auto& opts = options[static_cast<size_t>(k)];
            opts = ShapeOptions(row.sampleStart1, row.sampleStart2, row.sampleEnd,
                                SampleEndOf(logical, bank::Element2Offset, k));
            if (opts.size() > 1) doubtful.push_back(k);
        }
        // One row in doubt: take the shape under which the rows fill the file exactly.
        if (doubtful.size() == 1) {
            size_t others = 0;
            for (int k = 0; k < VoiceSlotCount; ++k) {
                const auto& opts = options[static_cast<size_t>(k)];
                if (k != doubtful.front() && !opts.empty()) others += SampleBytes(opts.front());
            }
            auto& opts = options[static_cast<size_t>(doubtful.front())];
            for (size_t i = 0; i < opts.size(); ++i) {
                if (bank::SampleAreaOffset + others + SampleBytes(opts[i]) == size) {
                    std::swap(opts[0], opts[i]);
                    break;
                }
            }
        }

        size_t pos = 0;  // bytes past 0x0860, in the builder's order
        for (int k = 0; k < VoiceSlotCount; ++k) {
            const auto& opts = options[static_cast<size_t>(k)];
            if (opts.empty()) continue;
            const Shape shape = opts.front();
            AudioData& rec = result.image->slots[k];
            rec.channels = static_cast<int16_t>(shape.channels);
            rec.sampleRate = 44100;
            rec.bitsPerSample = 16;
            rec.frames = shape.frames;
            ReadChannel(data, size, pos, shape.frames, rec.left);
            pos += static_cast<size_t>(shape.frames) * 2u;
            if (shape.channels == 2) {
                ReadChannel(data, size, pos, shape.frames, rec.right);
                pos += static_cast<size_t>(shape.frames) * 2u;
            }
            VoiceBankRow& row = result.rows[static_cast<size_t>(k)];
            row.channels = shape.channels;
            row.frames = shape.frames;
        }
        *out = std::move(result);
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

VoiceBankReport CheckVoiceBank(const uint8_t* data, size_t size) {
    VoiceBankReport report;
    try {
        auto& problems = report.problems;
        if (data == nullptr || size < bank::SampleAreaOffset) {
            problems.push_back("the file is " + Num(size) +
                               " bytes long; a bank holds at least the 2144-byte parameter area");
            if (data != nullptr && size >= bank::MagicBytes &&
                std::memcmp(Unexchange(data, bank::MagicBytes).data(), bank::Magic,
                            bank::MagicBytes) != 0) {
                problems.push_back("magic is not \"" + std::string(bank::Magic) + "\"");
            }
            return report;
        }
        const Bytes logical = Unexchange(data, size);
        if (size % 2 != 0) {
            problems.push_back("the file's length " + Num(size) + " is odd; a bank's is always even");
        }
        const size_t checksumProblems = CheckHeader(data, size, logical, problems);

        if (DecodeVoiceBank(data, size, &report.bank) != 1) {
            problems.push_back("out of memory while decoding the bank");
            return report;
        }
        report.decoded = true;

        auto copy = std::make_unique<VoiceBankImage>(*report.bank.image);
        Bytes rebuilt;
        if (FillVoiceAddresses(copy.get(), report.bank.bankName.c_str()) != 1 ||
            BuildVoiceBankFile(copy.get(), &rebuilt) != 1 ||
            rebuilt.size() < bank::SampleAreaOffset) {
            problems.push_back("the bank could not be rebuilt for comparison");
            return report;
        }
        NameHeadDifferences(logical, Unexchange(rebuilt.data(), rebuilt.size()), problems);

        if (size > rebuilt.size()) {
            problems.push_back(Num(size - rebuilt.size()) +
                               " bytes follow the last filled row's sample data");
        } else if (size < rebuilt.size()) {
            problems.push_back("the sample area is " + Num(rebuilt.size() - size) +
                               " bytes shorter than the filled rows need");
        }
        CheckSampleRanges(report.bank, size, problems);
        if (checksumProblems > 0 && problems.size() == checksumProblems) {
            // Only the checksums disagree: every field is as the rows want it.
            problems.push_back("every other field is intact, so a sample byte or the checksum "
                               "itself has changed");
        }

        const bool identical =
            size == rebuilt.size() && std::memcmp(data, rebuilt.data(), size) == 0;
        if (!identical && problems.empty()) {
            size_t at = 0;
            while (at < size && data[at] == rebuilt[at]) ++at;
            problems.push_back("byte " + Hex(at, 4) +
                               " differs from the bank rebuilt from the file's own rows");
        }
        report.valid = identical && problems.empty();
    } catch (const std::bad_alloc&) {
        report.valid = false;
        report.problems.emplace_back("out of memory while checking the bank");
    }
    return report;
}
