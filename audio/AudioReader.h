#pragma once

#include <cstddef>
#include <cstdint>

#include "AudioData.h"

class ByteSource;

// Result codes of ReadAudioFile and of every step it hands over to.
enum AudioReadResult : int {
    ReadOk = 0,
    ReadBadArgument = -1,   // null argument, no sample bytes, decode/resample failed
    ReadNotRecognised = 1,  // neither RIFF nor FORM, or shorter than 4 bytes
    ReadShort = 2,          // cannot be opened, or a read or seek falls short
    ReadWaveStructure = 3,  // "RIFF", "WAVE" or "fmt " not where required
    ReadAiffStructure = 4,  // "FORM"/"AIFF" missing, SSND before COMM, no SSND
    ReadBadChannels = 5,    // not 1 or 2 channels
    ReadBadSampleSize = 6,  // not 8 or 16 bits
    ReadBadSampleRate = 7,  // not 22,050, 24,000, 44,100 or 48,000 Hz
    ReadNoMemory = 8,       // a working buffer could not be allocated
};

// Container kinds found by DetectContainer.
inline constexpr int ContainerWave = 1;  // "RIFF"
inline constexpr int ContainerAiff = 2;  // "FORM"

// Reads a WAV or AIFF file into a zero-filled record: at most the first
// second of the source, converted to 44,100 Hz, capped at MaxVoiceFrames and
// rounded up to a multiple of 16 frames.
// path: the file; record: zero-filled by the caller; hostByteOrder: 1 or 2.
// Returns ReadOk or one of the codes above. On failure the record may hold
// some header fields and must be discarded.
[[nodiscard]] int ReadAudioFile(const char* path, AudioData* record, int hostByteOrder);

// The same over any source positioned anywhere; it is read from offset 0.
[[nodiscard]] int ReadAudioSource(ByteSource& source, AudioData* record, int hostByteOrder);

// Where a sound first reaches -40 dBFS, a hundredth of full scale: the
// level a row's start at the first sound looks for, in either reader.
inline constexpr double FirstSoundLevel = 0.01;
// The same on the 16-bit scale, rounded up.
inline constexpr int FirstSoundThreshold16 = static_cast<int>(32768 * FirstSoundLevel) + 1;
static_assert(FirstSoundThreshold16 == 328);

// A read that does not begin at the first frame of the sample data.
struct SampleWindow {
    // In: frames of the sample data passed over before the read (one
    // second at most is read from there, as from the start of a file).
    int64_t startFrame = 0;
    // In: at most this many frames are read from startFrame (0: no limit
    // beyond the first second).
    int64_t frameLimit = 0;
    // Out: whole frames the sample data holds (as far as the file has them).
    int64_t dataFrames = 0;
    // Out: the byte offset of the first frame of the sample data.
    uint64_t dataOffset = 0;
    // Out: SourceKindWave or SourceKindAiff, how the samples are stored.
    int sourceKind = 0;
    // Out: startFrame is at or past the last frame; nothing was read.
    bool startPastEnd = false;
};

// As ReadAudioSource, with the sample read beginning window->startFrame
// frames into the data (found by seeking; nothing before it is read). The
// record then holds the format fields. A start at or past the end returns
// ReadOk with startPastEnd set and no frames, so a start of INT64_MAX checks
// the header and finds the sample data without reading a sample.
[[nodiscard]] int ReadAudioSourceWindow(ByteSource& source, AudioData* record, int hostByteOrder,
                                        SampleWindow* window);

// Looks at a file's first four bytes. Returns true and sets kind to
// ContainerWave or ContainerAiff when they are "RIFF" or "FORM"; false when
// the file cannot be opened, is shorter than 4 bytes or begins otherwise.
[[nodiscard]] bool DetectContainer(const char* path, int* kind);

// Source-based detection; reads the first four bytes from offset 0.
[[nodiscard]] bool DetectContainer(ByteSource& source, int* kind);

// Parse a container's header chunks from offset 0, fill channels,
// sampleRate and bitsPerSample, then read the samples (ReadSampleData).
// Returns a result code.
[[nodiscard]] int ParseWave(ByteSource& source, AudioData* record, int hostByteOrder);
[[nodiscard]] int ParseAiff(ByteSource& source, AudioData* record, int hostByteOrder);

// Checks the format fields already in the record, reads at most one second
// (dataBytes bounded) from the current position, decodes and converts it and
// fills frames, left and right. sourceKind: SourceKindWave or SourceKindAiff.
// Returns a result code.
[[nodiscard]] int ReadSampleData(ByteSource& source, uint32_t dataBytes, AudioData* record,
                                 int sourceKind);

// Converts the big-endian 80-bit extended float of an AIFF sample rate into
// a double by repacking bits (exact for values from 2 up to 2^257).
[[nodiscard]] double ExtendedToDouble(const uint8_t bytes[10]);

// Reverses n bytes in place. Returns false for a null pointer or n == 0.
bool ReverseBytes(void* p, size_t n);
