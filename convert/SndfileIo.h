#pragma once

// libsndfile over a ByteSource: the converter and the opened sound both
// decode through it, so a file is opened by the system once and the
// decoder only ever sees the bytes the source bounds.

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>

class ByteSource;

struct SoundFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

// Opens a decoder over source from its offset 0; null when libsndfile does
// not recognise the bytes (sf_strerror(nullptr) says why). The source must
// outlive the decoder.
[[nodiscard]] SoundFile OpenSoundFile(ByteSource& source, SF_INFO* info);

// The decoder the converter reads source with, once its channel count and
// rate are within the converter's limits; null with the reason otherwise.
[[nodiscard]] SoundFile OpenConvertible(ByteSource& source, SF_INFO* info, std::string* reason);

// The size each sample of a libsndfile format is stored with, or 0 where
// the format has none.
[[nodiscard]] int16_t NominalBits(int format);
