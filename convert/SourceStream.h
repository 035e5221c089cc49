#pragma once

// A whole sound file read front to back in large blocks, by the reader
// that would make its row: the strict reader's formats as they are stored,
// anything else (when conversion is allowed) through libsndfile. For
// finding a file's first sound and drawing its overview without holding
// the file in memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "convert/PeakOverview.h"

// One block of frames, valid until the next call.
struct StreamBlock {
    size_t frames = 0;
    // Strict files: channels 1 and 2 on the 16-bit scale, as the strict
    // reader decodes them (second is first for a mono file).
    const int16_t* first = nullptr;
    const int16_t* second = nullptr;
    // Converted files: every channel of the file, interleaved, full scale
    // 1.0 (not rounded, not clipped).
    const float* interleaved = nullptr;
    int channels = 0;
};

class SourceStream {
public:
    virtual ~SourceStream() = default;

    // Which reader streams the file.
    enum class Reader {
        Strict,     // the strict reader's formats only
        Converter,  // libsndfile, whatever the file is
        Either,     // the strict reader when it takes the header, else libsndfile
    };
    // Opens path at its first frame. Null with the reason in *why (may be
    // null) when the chosen reader cannot read it.
    [[nodiscard]] static std::unique_ptr<SourceStream> Open(const char* path, Reader reader,
                                                            std::string* why);

    [[nodiscard]] const SourceInfo& Info() const { return info_; }
    // The file goes through libsndfile (blocks come as interleaved floats).
    [[nodiscard]] virtual bool Converted() const = 0;
    // The next block of frames. False at the end of the file or when a read
    // fails (Failure() then says why).
    [[nodiscard]] virtual bool Next(StreamBlock* block) = 0;
    [[nodiscard]] const std::string& Failure() const { return failure_; }

protected:
    SourceInfo info_;
    std::string failure_;
};
