#include "voicebank/VoiceBankCheck.h"

#include <algorithm>
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

// The parameter area in its logical form: every field read in that form
// lies before the sample area, so the samples (most of the file) are left
// where they stand instead of copied.
Bytes LogicalHead(const uint8_t* data, size_t size) {
    return Unexchange(data, std::min(size, bank::SampleAreaOffset));
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
// its start); samples beyond the file's end read as silence.
void ReadChannel(const uint8_t* data, size_t size, size_t pos, int32_t count, int16_t* dst) {
    if (count <= 0) return;
    const size_t start = bank::SampleAreaOffset + pos;
    // The samples whose both bytes are in the file; the check stays out of
    // the loop over them.
    const size_t whole =
        std::min(static_cast<size_t>(count), start < size ? (size - start) / 2u : size_t{0});
    const uint8_t* from = data + start;
    for (size_t i = 0; i < whole; ++i) {
        // Stored form: the big-endian word with its pair exchanged, so low byte first.
        const auto e = static_cast<uint16_t>(from[2 * i] | (from[2 * i + 1] << 8));
        dst[i] = EncodeSampleWord(static_cast<int16_t>(e));
    }
    for (size_t i = whole; i < static_cast<size_t>(count); ++i) dst[i] = 0;
}

// ---- naming a differing field of the parameter head ----

// The name a problem gives an item of the head, e.g. "tableOffset",
// "section 7 word 0x…" (with its offset), "element 2 key record 3 (row 04) rootKey" or
// "element 1 key record 5 (row 06) word +22".
std::string ItemName(const bank::FieldItem& item) {
    const bank::HeadField& field = item.field;
    std::string prefix;
    if (item.element >= 0) prefix = "element " + Num(static_cast<uint64_t>(item.element) + 1);
    if (item.keyRecord >= 0) {
        prefix += " key record " + Num(static_cast<uint64_t>(item.keyRecord)) + " (" +
                  RowName(item.keyRecord) + ")";
    }
    std::string name = prefix;
    if (*field.name != '\0') {
        if (!name.empty()) name += ' ';
        name += field.name;
    }
    if (field.label == bank::Label::Field) return name;
    const char* kind = field.width == 1 ? " byte " : " word ";
    // Inside a key record a position counts from the record's start.
    if (item.keyRecord >= 0) {
        const size_t inRecord = field.offset + field.width * static_cast<size_t>(item.index);
        return name + kind + "+" + Num(inRecord);
    }
    return name + kind + Hex(item.offset, 4);
}

std::string KeyMapProblem(const bank::FieldItem& item, uint8_t found, uint8_t expected) {
    const int note = item.index;
    const bool filled = expected != bank::NoSlot;
    return "element " + Num(static_cast<uint64_t>(item.element) + 1) + " key map entry for note " +
           std::to_string(note) + " is " + Num(found) + ", expected " + Num(expected) + " (" +
           RowName(bank::DefaultSlotForNote(note)) + (filled ? " is filled)" : " is empty)");
}

// Names every field of the parameter head whose bytes differ from the rebuild.
void NameHeadDifferences(const Bytes& stored, const Bytes& rebuilt,
                         std::vector<std::string>& problems) {
    size_t named = 0;
    size_t unnamed = 0;
    const auto compare = [&](const bank::FieldItem& item) {
        // The header before the area offsets is checked on its own.
        if (item.offset < bank::TableOffsetField) return;
        const size_t at = item.offset;
        const size_t width = item.field.width;
        if (std::memcmp(&stored[at], &rebuilt[at], width) == 0) return;
        if (named >= MaxNamedFields) {
            ++unnamed;
            return;
        }
        if (item.field.initial == bank::Initial::KeyMap) {
            problems.push_back(KeyMapProblem(item, stored[at], rebuilt[at]));
        } else {
            problems.push_back(ItemName(item) + " is " + Num(ReadBig(stored, at, width)) +
                               ", expected " + Num(ReadBig(rebuilt, at, width)));
        }
        ++named;
    };
    bank::ForEachHeadItem(compare);
    const bank::HeadField& tail = bank::FileOnlyReserved;
    for (size_t i = 0; i < tail.count; ++i)
        compare(bank::FieldItem{tail, tail.offset + i, static_cast<int>(i), -1, -1});
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
        problems.push_back("checksum32 is " + Num(c32) + " but the bytes from " +
                           Hex(bank::HeaderBytes, 4) + " on sum to " + Num(sum));
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

// The shapes each row's fields allow, most likely first; empty for a row
// that is not filled.
using RowShapes = std::array<std::vector<Shape>, VoiceSlotCount>;

std::string BankNameOf(const Bytes& logical) {
    std::string name;
    for (size_t i = 0; i < bank::BankNameBytes; ++i) {
        const uint8_t c = logical[bank::BankNameOffset + i];
        if (c == 0) break;
        name += static_cast<char>(c);
    }
    return name;
}

// Which rows are filled, by their key maps, and the shapes their addresses
// allow; rows records each filled row's addresses.
RowShapes FindRowShapes(const Bytes& logical, std::array<VoiceBankRow, VoiceSlotCount>& rows,
                        std::vector<int>* doubtful) {
    RowShapes options;
    for (int k = 0; k < VoiceSlotCount; ++k) {
        const KeyVotes votes = CountKeyVotes(logical, k);
        if (votes.named <= votes.empty) continue;
        VoiceBankRow& row = rows[static_cast<size_t>(k)];
        row.sampleStart1 = SampleStartOf(logical, bank::Element1Offset, k);
        row.sampleStart2 = SampleStartOf(logical, bank::Element2Offset, k);
        row.sampleEnd = SampleEndOf(logical, bank::Element1Offset, k);
        auto& opts = options[static_cast<size_t>(k)];
        opts = ShapeOptions(row.sampleStart1, row.sampleStart2, row.sampleEnd,
                            SampleEndOf(logical, bank::Element2Offset, k));
        if (opts.size() > 1) doubtful->push_back(k);
    }
    return options;
}

// One row in doubt: take the shape under which the rows fill the file exactly.
void SettleDoubtfulRow(RowShapes& options, const std::vector<int>& doubtful, size_t size) {
    if (doubtful.size() != 1) return;
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

// The samples of every filled row, in the builder's order, into result.
void ReadRowSamples(const uint8_t* data, size_t size, const RowShapes& options,
                    DecodedVoiceBank& result) {
    size_t pos = 0;  // bytes into the sample area, in the builder's order
    for (int k = 0; k < VoiceSlotCount; ++k) {
        const auto& opts = options[static_cast<size_t>(k)];
        if (opts.empty()) continue;
        const Shape shape = opts.front();
        AudioData& rec = result.image->voices[static_cast<size_t>(k)];
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
}

}  // namespace

bool DecodeVoiceBank(const uint8_t* data, size_t size, DecodedVoiceBank* out) {
    if (data == nullptr || out == nullptr || size < bank::SampleAreaOffset) return false;
    try {
        const Bytes logical = LogicalHead(data, size);
        DecodedVoiceBank result;
        result.image = std::make_unique<VoiceBankImage>();
        if (!InitVoiceBankImage(result.image.get())) return false;
        result.bankName = BankNameOf(logical);
        std::vector<int> doubtful;
        RowShapes options = FindRowShapes(logical, result.rows, &doubtful);
        SettleDoubtfulRow(options, doubtful, size);
        ReadRowSamples(data, size, options, result);
        *out = std::move(result);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {

// What a sound file given as a bank is, by its first bytes as they stand in
// the file; empty for anything else.
std::string SoundFileKind(const uint8_t* data, size_t size) {
    const auto at = [data, size](size_t offset, const char* text) {
        const size_t length = std::strlen(text);
        return offset + length <= size && std::memcmp(data + offset, text, length) == 0;
    };
    if ((at(0, "RIFF") || at(0, "RIFX") || at(0, "RF64")) && at(8, "WAVE")) return "a WAV";
    if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) return "an AIFF";
    if (at(0, "fLaC")) return "a FLAC";
    if (at(0, "OggS")) return "an Ogg";
    return {};
}

// A sound file, or a file too short to hold the parameter area: the check
// ends there. True, with the reason in problems, for such a file.
bool RefuseNonBank(const uint8_t* data, size_t size, std::vector<std::string>& problems) {
    if (data != nullptr) {
        if (const std::string kind = SoundFileKind(data, size); !kind.empty()) {
            problems.push_back("the file is " + kind + " sound file, not a voice bank");
            return true;
        }
    }
    if (data != nullptr && size >= bank::SampleAreaOffset) return false;
    problems.push_back("the file is " + Num(size) +
                       " bytes long; a bank holds at least the 2144-byte parameter area");
    if (data != nullptr && size >= bank::MagicBytes &&
        std::memcmp(Unexchange(data, bank::MagicBytes).data(), bank::Magic, bank::MagicBytes) !=
            0) {
        problems.push_back("magic is not \"" + std::string(bank::Magic) + "\"");
    }
    return true;
}

// Compares the file with the bank the builder makes from its decoded rows:
// the fields that differ, a length that does not fit the rows, samples
// outside their rows. Valid when the two are the same bytes and nothing else
// was found; checksumProblems of the problems found so far are checksums.
void CompareWithRebuilt(const uint8_t* data, size_t size, const Bytes& logical,
                        size_t checksumProblems, VoiceBankReport& report) {
    auto& problems = report.problems;
    auto copy = std::make_unique<VoiceBankImage>(*report.bank.image);
    Bytes rebuilt;
    if (!FillVoiceAddresses(copy.get(), report.bank.bankName.c_str()) ||
        !BuildVoiceBankFile(copy.get(), &rebuilt) || rebuilt.size() < bank::SampleAreaOffset) {
        problems.push_back("the bank could not be rebuilt for comparison");
        return;
    }
    NameHeadDifferences(logical, LogicalHead(rebuilt.data(), rebuilt.size()), problems);

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
        problems.push_back(
            "every other field is intact, so a sample byte or the checksum "
            "itself has changed");
    }

    const bool identical = size == rebuilt.size() && std::memcmp(data, rebuilt.data(), size) == 0;
    if (!identical && problems.empty()) {
        size_t at = 0;
        while (at < size && data[at] == rebuilt[at]) ++at;
        problems.push_back("byte " + Hex(at, 4) +
                           " differs from the bank rebuilt from the file's own rows");
    }
    report.valid = identical && problems.empty();
}

}  // namespace

VoiceBankReport CheckVoiceBank(const uint8_t* data, size_t size) {
    VoiceBankReport report;
    try {
        auto& problems = report.problems;
        if (RefuseNonBank(data, size, problems)) return report;
        const Bytes logical = LogicalHead(data, size);
        if (size % 2 != 0) {
            problems.push_back("the file's length " + Num(size) +
                               " is odd; a bank's is always even");
        }
        const size_t checksumProblems = CheckHeader(data, size, logical, problems);

        if (!DecodeVoiceBank(data, size, &report.bank)) {
            problems.push_back("out of memory while decoding the bank");
            return report;
        }
        report.decoded = true;
        CompareWithRebuilt(data, size, logical, checksumProblems, report);
    } catch (const std::bad_alloc&) {
        report.valid = false;
        report.problems.emplace_back("out of memory while checking the bank");
    }
    return report;
}
