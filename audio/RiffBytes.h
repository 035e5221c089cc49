#pragma once

// Appending the fields of a RIFF file: little-endian numbers and four-letter
// chunk tags. Shared by every writer of WAV bytes.

#include <cstdint>
#include <vector>

// The lowest `bytes` bytes of value, least significant first.
inline void AppendLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A chunk tag: exactly four characters.
inline void AppendTag(std::vector<uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}
