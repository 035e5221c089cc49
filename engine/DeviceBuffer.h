#pragma once

// Private to the engine: the output buffer the program asks OpenAL Soft for.

// OpenAL Soft's buffer on ALSA, PulseAudio and the other sound servers is
// period_size x periods frames from its configuration files (1024 x 3
// unless set: PulseAudio is then asked for 2,560 frames, 58 ms), and the
// program cannot pass one (ALC_REFRESH is ignored). Played as an
// instrument, the program asks for ShortPeriodFrames x ShortPeriods instead
// (PulseAudio then buffers the stream 17 ms; at 256 x 2 it was 23 ms, and a
// note came one JACK period later through PulseAudio's JACK sink), through
// a configuration of its own that OpenAL Soft reads after the user's
// (ALSOFT_CONF, held in memory). A user who sets period_size or periods in an alsoft.conf, or
// sets ALSOFT_CONF, keeps what they chose. Changes the environment: call it
// before other threads start and before the first OpenAL call.
inline constexpr int ShortPeriodFrames = 128;
inline constexpr int ShortPeriods = 3;

void AskForShortDeviceBuffer();

// Whether an alsoft.conf text sets the buffer (period_size or periods).
[[nodiscard]] bool SetsDeviceBuffer(const char* text);
