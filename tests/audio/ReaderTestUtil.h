#pragma once

#include <memory>
#include <vector>

#include "MemorySource.h"
#include "SoundFileWriter.h"
#include "audio/AudioReader.h"

// A zero-filled record on the heap (it is 171 KB) and a read into it.
struct ReadResult {
    int code = 0;
    std::unique_ptr<AudioData> record = std::make_unique<AudioData>();
};

inline ReadResult ReadBytes(const testsupport::Bytes& bytes, int hostByteOrder = HostLittleEndian) {
    ReadResult r;
    r.code = testsupport::ReadFromMemory(bytes.data(), bytes.size(), [&](ByteSource& source) {
        return ReadAudioSource(source, r.record.get(), hostByteOrder);
    });
    return r;
}
