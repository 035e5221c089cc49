#pragma once

// Making a row from a sound file, the one road the window, the slot model
// and glwtool all take: the strict reader (or, when asked, the converter
// behind it), then the row's own options in a fixed order: the part (start,
// length, end, snapped), pitch, reverse, a peak level, the fades (20 ms at
// the end unless set), a loudness. A file that is a row already made
// (audio/RowMark.h) is kept as it stands.

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/RowMark.h"
#include "convert/ConvertingReader.h"
#include "convert/Loudness.h"
#include "convert/SoundSource.h"

struct AudioData;

// Levels a row may be normalised to, in dBFS.
inline constexpr double NormalizeMinDbfs = -20.0;
inline constexpr double NormalizeMaxDbfs = 0.0;
// Fades a row may be given, in milliseconds; the fade-out every row had
// before fades could be set is 20 ms (FadeFrames).
inline constexpr int MaxFadeMs = 500;
inline constexpr int DefaultFadeOutMs = 20;
// Pitches a row may be given, in hundredths of a semitone.
inline constexpr int MaxPitchCents = 2400;

// What part of its source a row takes and at what level. All off by
// default; a row without options is made exactly as before they existed.
struct VoiceOptions {
    enum class Start {
        Beginning,   // the first frame of the source
        At,          // startNanoseconds into the source
        FirstSound,  // 1 ms before the first frame that reaches -40 dBFS
    };
    Start start = Start::Beginning;
    // For At: where the row begins. The source frame is
    // floor(startNanoseconds * rate / 1e9), computed exactly.
    int64_t startNanoseconds = 0;
    // How much of the source the row takes from its start, at most (the row
    // limit still holds): StartFrameAt(lengthNanoseconds, rate) source
    // frames, at least one. 0: up to the row limit.
    int64_t lengthNanoseconds = 0;
    // Scale the made row (before the fade) so that its largest absolute
    // sample is round(32767 * 10^(normalizeDbfs / 20)).
    bool normalize = false;
    double normalizeDbfs = 0.0;  // NormalizeMinDbfs ... NormalizeMaxDbfs
    // Scale the made row, its fade included, to this loudness
    // (convert/Loudness.h: the peak stays at or below the ceiling). A row
    // has a peak level or a loudness, never both.
    bool loudness = false;
    double loudnessLufs = 0.0;  // LoudnessMinLufs ... LoudnessMaxLufs
    // The row ends 1 ms after the last frame of its part that reaches
    // -40 dBFS (the mirror of Start::FirstSound); the whole part when none
    // does.
    bool endAtLastSound = false;
    // The start, and the end where a length or endAtLastSound sets one,
    // move to the nearest zero crossing within 5 ms.
    bool snap = false;
    // Varispeed: the part played faster (higher, shorter) or slower (lower,
    // longer, cut at the row limit), -MaxPitchCents ... MaxPitchCents.
    int pitchCents = 0;
    // The part played backwards; the fades apply to the reversed sound.
    bool reverse = false;
    // Gain rising from 0 over the row's first fadeInMs, falling to 0 over
    // its last fadeOutMs (0 ... MaxFadeMs).
    int fadeInMs = 0;
    int fadeOutMs = DefaultFadeOutMs;

    // The options that shape the sound after its part is chosen are off.
    [[nodiscard]] bool IsUnshaped() const {
        return !endAtLastSound && !snap && pitchCents == 0 && !reverse && fadeInMs == 0 &&
               fadeOutMs == DefaultFadeOutMs;
    }
    [[nodiscard]] bool IsDefault() const {
        return start == Start::Beginning && lengthNanoseconds == 0 && !normalize && !loudness &&
               IsUnshaped();
    }
    friend bool operator==(const VoiceOptions&, const VoiceOptions&) = default;
};

// How a load went.
struct VoiceLoadOutcome {
    // The strict reader's code: ReadOk when the row was made. When the
    // converter was asked for, converter.strictCode and convertReason tell
    // what it did (as ReadAudioFileConverting reports it).
    int code = 0;
    ConvertOutcome converter;
    // The file is a row already made, kept as it stands (no options
    // applied, no second fade); origin names its bank and row.
    bool exactRow = false;
    RowOrigin origin;
    // The options as applied: the source frame the row begins at, and
    // whether it was normalised.
    int64_t startFrame = 0;
    bool normalized = false;
    // The start lies at or past the source's end (the code is then ReadOk
    // but nothing was made).
    bool startPastEnd = false;
    // Both a peak level and a loudness were asked for: nothing was made
    // (code ReadBadArgument).
    bool levelsConflict = false;
    // What the loudness option did.
    LoudnessApplied loudness;
    // Loaded without convert and refused: the converter would take the file.
    bool convertible = false;
    // The load's cancel flag was set before the row was made: nothing was
    // made (code ReadBadArgument).
    bool cancelled = false;
};

// Frame of a start in nanoseconds at a rate, rounded down, without
// floating point: floor(nanoseconds * rate / 1e9). Negative gives 0.
[[nodiscard]] int64_t StartFrameAt(int64_t nanoseconds, int rate);
// The smallest nanosecond count whose StartFrameAt is frame: what to store
// so that a start chosen as a frame comes back as that frame.
[[nodiscard]] int64_t NanosecondsOfFrame(int64_t frame, int rate);

// The frame Start::FirstSound gives for a file (the strict reader's
// formats, and with convert everything the converter reads), and the
// file's rate. False when the file cannot be read or cancelled was set
// while it was scanned.
[[nodiscard]] bool FindFirstSound(const char* path, bool convert, int64_t* frame, int* sampleRate,
                                  const std::atomic<bool>& cancelled = NeverCancelled());

// Makes the row of a sound file in record (zero-filled by the caller),
// ready to store in a slot: read (converted when convert is set and the
// strict reader refuses the file), cut at the start, normalised, faded. A
// row file whose mark matches is kept as it stands when options are
// default or only a loudness (scaled, not faded again); with other options
// it is made like any other file.
// Returns true when record holds the row. False when the file cannot be
// read (outcome->code nonzero), the start is past its end, or it held no
// frames (code ReadOk, record frames 0); record must then be discarded,
// except that its channels, sampleRate and bitsPerSample name the format
// the strict reader found, for DescribeReadFailure. The file is opened once
// for the whole load; a set cancelled flag stops a first-sound scan within
// a block.
[[nodiscard]] bool LoadVoice(const char* path, const VoiceOptions& options, bool convert,
                             AudioData* record, VoiceLoadOutcome* outcome,
                             const std::atomic<bool>& cancelled = NeverCancelled());
