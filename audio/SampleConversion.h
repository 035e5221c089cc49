#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes interleaved raw sample bytes into two arrays of 16-bit-range values.
// bytes/byteCount: the raw data; first/second: n entries each (second gets 0
// for mono); channels 1|2, bitsPerSample 8|16, sampleRate one of the four
// accepted rates; sourceKind SourceKindWave|SourceKindAiff.
// Returns false for a null pointer, a zero count or an unaccepted format.
[[nodiscard]] bool DecodeFrames(const uint8_t* bytes, size_t byteCount, int32_t* first,
                                int32_t* second, size_t n, int channels, int bitsPerSample,
                                int sampleRate, int sourceKind);

// Converts n frames at sourceRate to 44,100 Hz by linear interpolation in
// 10-bit fixed point. outFirst/outSecond must be empty on entry; on success
// they hold the converted arrays and *outCount their length.
// Returns false (outputs left empty) for null inputs, n < 4, a zero rate,
// non-empty outputs or an allocation failure.
[[nodiscard]] bool ResampleTo44k(const int32_t* first, const int32_t* second, size_t n,
                                 uint32_t sourceRate, std::vector<int32_t>& outFirst,
                                 std::vector<int32_t>& outSecond, size_t* outCount);

// Fades samples[start+1 .. frames-1] towards 0; the last sample becomes 0.
// Returns true when done or nothing to do (start <= 0 or start >= frames - 1),
// false for a null pointer, frames == 0 or start > frames.
[[nodiscard]] bool FadeOutTail(int16_t* samples, uint32_t frames, int32_t start);
// The ramp itself: gain j/length at frame frames-1-j for j < length - 1, so
// the last sample becomes 0 (length <= frames, at least 1). FadeOutTail is
// this ramp from start on; a fade over the whole row is it with length =
// frames.
void FadeLastFrames(int16_t* samples, uint32_t frames, uint32_t length);

// Frames faded at the end of every loaded slot (20 ms at 44,100 Hz).
inline constexpr int32_t FadeFrames = 882;

struct AudioData;

// The fade every freshly loaded voice gets: FadeOutTail on left and then on
// right with start = frames - FadeFrames. Returns false for a null record or
// when either fade reports failure (a record of 0 frames).
[[nodiscard]] bool FadeVoiceTail(AudioData* record);
