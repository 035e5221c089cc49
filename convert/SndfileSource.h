#pragma once

// libsndfile over a ByteSource, for the converter and the readers that
// stream a whole file through it. Nothing is ever written.

#include <sndfile.h>

#include <memory>

class ByteSource;

struct SoundFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

// Opens the source from offset 0 for reading; null when libsndfile cannot
// read it (sf_strerror(nullptr) tells why).
[[nodiscard]] SoundFile OpenSoundFile(ByteSource& source, SF_INFO* info);
