#pragma once

// A capture device the test feeds, made at the sound library's edge: a
// program that uses this links the calls to alcCaptureOpenDevice,
// alcCaptureCloseDevice, alcCaptureStart, alcCaptureStop,
// alcCaptureSamples, alcGetIntegerv and alcGetString through the wrappers
// in FakeCaptureDevice.cpp (the linker's --wrap; see
// glw_use_fake_capture_device). The default capture device and the one
// named FakeCaptureName are the fake; every other device, and every call on
// a playback device, still reaches OpenAL.

#include <cstddef>
#include <vector>

namespace recordtest {

inline constexpr const char* FakeCaptureName = "Fake input";

// Frames (interleaved stereo) the device delivers next, also to a device
// opened later. They come out at once: nothing waits for a clock.
void FeedCapture(const std::vector<float>& stereo);
// The open device reads as disconnected from here on, as if unplugged.
void UnplugCapture();
// No frames waiting, plugged in.
void ResetCapture();
// A device is open now.
[[nodiscard]] bool CaptureOpen();

// count frames of silence, then of a sine of amplitude at hz (both
// channels), at rate.
[[nodiscard]] std::vector<float> Silence(std::size_t count);
[[nodiscard]] std::vector<float> Sine(std::size_t count, double hz, float amplitude, int rate);

}  // namespace recordtest
