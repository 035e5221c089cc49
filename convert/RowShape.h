#pragma once

// The shapes a row's options give its sound once its part is read, on the
// row's own frames (44,100 Hz, whole blocks of 16): where it ends, its
// pitch, its direction and its fades. Each leaves frames a whole number of
// blocks, the frames after it zero. convert/VoiceLoad.cpp applies them in
// their fixed order.

#include <cstdint>

struct AudioData;

// How far a snap looks for a zero crossing on either side: 5 ms in frames
// at rate.
[[nodiscard]] int64_t SnapReachFrames(int rate);

// The frames of record that hold its sound: frames without the zero frames
// (at most 15) that rounded it up to a whole block.
[[nodiscard]] int32_t SoundFrames(const AudioData& record);

// The zero crossing nearest to frame at, at most radius frames away and
// before frame limit; -1 for none. A frame is a crossing when its value
// (left, or left + right for stereo) is 0, or when a neighbour has the
// other sign and is not closer to 0; of two equally near, the earlier.
[[nodiscard]] int64_t NearestZeroCrossing(const AudioData& record, int64_t at, int64_t radius,
                                          int64_t limit);

// 1 ms after the last frame before end that reaches -40 dBFS on a channel
// (at most end); end when none does.
[[nodiscard]] int32_t EndAfterLastSound(const AudioData& record, int32_t end);

// Keeps the first end frames: clears the rest and rounds frames up to a
// whole block.
void CutRowAt(AudioData* record, int32_t end);

// Varispeed by cents (hundredths of a semitone) through libsoxr: +1200
// plays the sound twice as fast in half the frames, -1200 half as fast in
// twice as many, cut at MaxVoiceFrames. False when resampling failed.
[[nodiscard]] bool PitchRow(AudioData* record, int cents);

// The sound played backwards; the zero frames that round it up to a whole
// block stay at its end.
void ReverseRow(AudioData* record);

// Frames of a fade of ms milliseconds: 10 ms is 441 frames, 20 ms FadeFrames.
[[nodiscard]] int32_t FadeFramesOf(int ms);

// Gain j/length on frame j of the first length frames (the whole row when
// it is shorter): the first frame becomes 0.
void FadeRowIn(AudioData* record, int32_t length);

// FadeOutTail over the last length frames of both channels. A fade at
// least as long as the row covers the whole row, except that the 20 ms
// fade of a row without options (whole is false) leaves a row no longer
// than it as rows have always been made. False for a row of no frames.
[[nodiscard]] bool FadeRowOut(AudioData* record, int32_t length, bool whole);
