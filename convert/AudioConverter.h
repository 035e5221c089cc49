#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioReader.h"

struct AudioData;
class ByteSource;

// Reads sound files the strict reader refuses (24- and 32-bit, float, any
// rate, more channels, compressed formats) into the same kind of record:
// the first second of the source, channels 1 and 2 as stereo when there are
// more, resampled to 44,100 Hz, rounded to 16 bits without dither (the same
// file always gives the same samples), capped at MaxVoiceFrames and rounded
// up to a multiple of 16 frames. The tail is not faded here: a slot load
// fades every record, whichever reader made it.
//
// The record's header fields describe the source: channels 1 or 2 (what is
// kept), sampleRate the source's rate, bitsPerSample the size each sample is
// stored with (8, 16, 24, 32; 64 for double; 8 for mu-law and A-law; 4 for
// the ADPCM kinds) or 0 when the format has no such size (Vorbis, Opus, MP3).

// Sources beyond these are refused before any sample is read, so a hostile
// header cannot make the converter allocate or decode without bound.
inline constexpr int ConvertMaxChannels = 256;
inline constexpr int ConvertMinRate = 1000;
inline constexpr int ConvertMaxRate = 768000;

// Reads the source from offset 0 into record (zero-filled by the caller).
// Returns true with the record filled; false with the reason in *reason (a
// sentence fragment such as "unsupported channel count 300"); the record
// must then be discarded.
[[nodiscard]] bool ConvertAudioSource(ByteSource& source, AudioData* record, std::string* reason);

// A conversion that does not begin at the first frame.
struct ConvertWindow {
    int64_t startFrame = 0;     // in: source frames passed over (seeking where possible)
    int64_t frameLimit = 0;     // in: source frames read at most from startFrame (0: a second)
    int64_t sourceFrames = 0;   // out: frames the file says it holds (0 or less: not known)
    bool startPastEnd = false;  // out: nothing at or after startFrame
    int sampleRate = 0;         // out: the file's rate
};

// As ConvertAudioSource, from window->startFrame. window may be null.
[[nodiscard]] bool ConvertAudioSourceWindow(ByteSource& source, AudioData* record,
                                            ConvertWindow* window, std::string* reason);

// File name extensions (lower case, no dot) of the formats the converter
// reads, for a file dialog's filter.
[[nodiscard]] std::vector<std::string> ConvertibleExtensions();
