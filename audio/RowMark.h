#pragma once

// A row taken out of a voice bank is written as a plain PCM WAV file with a
// small chunk of ours, "glwr", between "fmt " and "data". It names the bank
// and row the sound came from and holds a CRC-32 of the sample bytes. A file
// that still carries a mark matching its samples is a row already made: it
// is loaded as it stands (no second fade), so banks rebuilt from such files
// are byte for byte the bank they came from. Readers that do not know the
// chunk skip it like any other. A file edited elsewhere that kept the chunk
// but changed the sound no longer matches, and loads like any other file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AudioData;
class ByteSource;

inline constexpr char RowMarkChunkId[5] = "glwr";

// Where a row came from.
struct RowOrigin {
    std::string bankName;  // the bank's name field: at most 32 bytes, no NUL
    int row = 0;           // 1 ... 16 as numbered in the window; 0 when not known

    friend bool operator==(const RowOrigin&, const RowOrigin&) = default;
};

// The WAV file of one row: RIFF, a 16-byte PCM "fmt " (44,100 Hz, 16 bits,
// mono or stereo as the record says), the mark, then "data" with the
// record's frames interleaved left, right. Empty for a record whose
// channels is not 1 or 2 or whose frames is not a multiple of 16 in
// 16 ... MaxVoiceFrames. A bank name longer than 32 bytes is cut to 32.
[[nodiscard]] std::vector<uint8_t> MakeRowWavFile(const AudioData& record, const RowOrigin& origin);

// Whether a WAV source is a row file whose samples are unchanged: it holds a
// mark, and record (what the strict reader read from the same source) is
// 44,100 Hz 16-bit with the marked channels and frames and samples whose
// CRC-32 is the marked one. True with *origin (may be null) filled. Reads
// the chunk headers from offset 0; never reads past the source's end.
[[nodiscard]] bool FindRowMark(ByteSource& source, const AudioData& record, RowOrigin* origin);
[[nodiscard]] bool FindRowMark(const char* path, const AudioData& record, RowOrigin* origin);

// CRC-32 (the polynomial of zlib and PNG) of size bytes, continuing from crc.
[[nodiscard]] uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
