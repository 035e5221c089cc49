#pragma once

// A sound device the test can unplug, and a view of the engine's watcher,
// made at the sound library's edge: a program that uses this links the
// engine's calls to alcOpenDevice, alcCloseDevice, alcGetIntegerv,
// alGetSourcei, alSourcePlay, alSourceStop and alDeleteSources through the wrappers in
// FakeSoundDevice.cpp (the linker's
// --wrap; see glw_use_fake_sound_device). Every call still reaches OpenAL;
// the wrappers only change what "connected" reads and count the looks.

#include <chrono>
#include <cstdint>
#include <functional>

namespace enginetest {

// Every device open now reads as disconnected from here on, as if it had
// been unplugged; a device opened later is connected.
void UnplugOpenDevices();

// Run on the engine's watcher thread each time it looks at a source's
// state, with whether the source was playing. Setting or removing it (an
// empty function) waits for a run in progress to end.
void SetWatcherLookHook(std::function<void(bool playing)> hook);

// Sources the program started and has not stopped or deleted since (a
// sound that ended by itself still counts): what plays, for a test that
// cannot ask the engine.
[[nodiscard]] int SourcesStarted();

// Looks the watcher has made so far, at sources or at the device.
[[nodiscard]] uint64_t WatcherLooks();

// Waits until the watcher makes no look for a while (it polls about every
// millisecond while a play awaits its report, and not at all once parked).
// False when it still looks at the deadline.
[[nodiscard]] bool WatcherGoesQuiet(std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace enginetest
