#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct VoiceBankImage;

// Writes the bank name (at most 32 bytes, never past its field) and every
// filled slot's sampleStart/sampleEnd (big-endian) into an image copy, and
// sets the key-map entries of empty slots to 255 in both elements.
// Returns false for a null image or name.
[[nodiscard]] bool FillVoiceAddresses(VoiceBankImage* copy, const char* baseName);

// Lays out and encodes the whole stored file from an image copy prepared by
// FillVoiceAddresses. On success *out holds exactly the file's bytes
// (2,144 + the slots' sample bytes) and true is returned; on failure false
// with *out left empty. copy is not changed.
[[nodiscard]] bool BuildVoiceBankFile(const VoiceBankImage* copy, std::vector<uint8_t>* out);

// The size in bytes of the file the image's filled slots make.
[[nodiscard]] size_t BankFileSize(const VoiceBankImage& image);

// The bank's sample encoding: bits 12-15 exclusive-ored with bits 0-3 and
// bits 6-9. Applying it twice gives the sample back.
[[nodiscard]] constexpr int16_t EncodeSampleWord(int16_t s) {
    const auto u = static_cast<uint16_t>(s);
    const auto e = static_cast<uint16_t>(u ^ ((((u >> 6) ^ u) & 0xFu) << 12));
    return static_cast<int16_t>(e);
}

// Sum of the bytes as unsigned values, modulo 2^32; 0 for null or length < 1.
[[nodiscard]] uint32_t ByteSum(const uint8_t* bytes, ptrdiff_t length);

// Why a write failed: the system's error number of the step that failed
// (ENOSPC for a full volume; 0 when the read back differed or the step
// before replacing refused) and the reason in words.
struct WriteFailure {
    int error = 0;
    std::string reason;
};

// Runs once the new file is written and verified, just before it replaces
// the old one; false, with the reason set, stops the write there.
using BeforeReplace = std::function<bool(std::string* reason)>;

// Writes all bytes to path without ever losing what stood there: the bytes go
// to a temporary file in the same folder, which is synced, read back,
// compared and renamed over path; the folder is synced last. Returns true
// when the file is in place, else false with the old file (if any) untouched
// and no temporary file left; failure (may be null) then says why.
// beforeReplace (may be empty) runs between the check and the rename.
[[nodiscard]] bool WriteWholeFile(const char* path, const uint8_t* bytes, ptrdiff_t length,
                                  WriteFailure* failure, const BeforeReplace& beforeReplace = {});
[[nodiscard]] inline bool WriteWholeFile(const char* path, const uint8_t* bytes, ptrdiff_t length) {
    return WriteWholeFile(path, bytes, length, nullptr);
}

// The export without an engine: copies the image, fills the addresses with
// path's base name (no folder, no extension), builds and writes the file.
// Returns true when the file has been written completely. image is not
// changed. A base name that breaks the bank-name rule (voicebank/BankName.h)
// is refused before anything is written. failure and beforeReplace as for
// WriteWholeFile.
[[nodiscard]] bool ExportImageToFile(const VoiceBankImage& image, const char* path,
                                     WriteFailure* failure = nullptr,
                                     const BeforeReplace& beforeReplace = {});
