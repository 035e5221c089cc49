#pragma once

// Bytes in memory, read through the same source entries the files are read
// through (ReadAudioSource, ReadAudioSourceConverting, ConvertAudioSource),
// so tests and fuzzers need no files.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "audio/AudioReader.h"
#include "audio/ByteSource.h"

namespace testsupport {

// Bytes held by the caller; they must outlive the source. A null pointer
// holds nothing.
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size)
        : data_(data), size_(data != nullptr ? size : 0) {}

    [[nodiscard]] size_t Read(void* dst, size_t n) override {
        const size_t k = std::min(n, size_ - pos_);
        if (k > 0) std::memcpy(dst, data_ + pos_, k);
        pos_ += k;
        return k;
    }
    [[nodiscard]] bool SeekTo(uint64_t offset) override {
        if (offset > size_) return false;
        pos_ = static_cast<size_t>(offset);
        return true;
    }
    [[nodiscard]] uint64_t Position() const override { return pos_; }
    [[nodiscard]] uint64_t Size() const override { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Runs read(source) over the size bytes at data and returns its code. A null
// pointer with a size is ReadBadArgument; without one it reads as an empty
// file.
template <class Read>
[[nodiscard]] int ReadFromMemory(const uint8_t* data, size_t size, Read&& read) {
    if (data == nullptr && size != 0) return ReadBadArgument;
    MemorySource source(data, size);
    return std::forward<Read>(read)(source);
}

}  // namespace testsupport
