#include "FakeSoundDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// The real functions, as the linker's --wrap names them.
extern "C" {
ALCdevice* __real_alcOpenDevice(const ALCchar* name);
ALCboolean __real_alcCloseDevice(ALCdevice* device);
void __real_alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values);
void __real_alGetSourcei(ALuint source, ALenum param, ALint* value);
void __real_alSourcePlay(ALuint source);
void __real_alSourceStop(ALuint source);
void __real_alDeleteSources(ALsizei n, const ALuint* sources);
}

namespace {

struct FakeState {
    std::mutex mutex;
    // Held while the hook runs, so that changing it waits for a run to end.
    std::mutex hookRun;
    std::vector<ALCdevice*> open;
    std::vector<ALCdevice*> unplugged;
    std::function<void(bool)> lookHook;
    std::vector<ALuint> started;  // started, not yet stopped or deleted
};

FakeState& State() {
    static FakeState state;
    return state;
}

std::atomic<uint64_t> g_watcherLooks{0};
// The test's own thread asks sources too (IsSlotPlaying); only the engine's
// watcher looks from another thread.
const std::thread::id g_testThread = std::this_thread::get_id();

bool IsUnplugged(ALCdevice* device) {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    return std::find(s.unplugged.begin(), s.unplugged.end(), device) != s.unplugged.end();
}

}  // namespace

extern "C" {

ALCdevice* __wrap_alcOpenDevice(const ALCchar* name) {
    ALCdevice* device = __real_alcOpenDevice(name);
    if (device != nullptr) {
        FakeState& s = State();
        const std::lock_guard lock(s.mutex);
        s.open.push_back(device);
    }
    return device;
}

ALCboolean __wrap_alcCloseDevice(ALCdevice* device) {
    {
        // A later device may get the same address.
        FakeState& s = State();
        const std::lock_guard lock(s.mutex);
        std::erase(s.open, device);
        std::erase(s.unplugged, device);
    }
    return __real_alcCloseDevice(device);
}

void __wrap_alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values) {
    __real_alcGetIntegerv(device, param, size, values);
    if (param != ALC_CONNECTED || size < 1 || values == nullptr) return;
    // The watcher asks this on every pass, also where a lost device spares
    // it the look at each source.
    if (std::this_thread::get_id() != g_testThread) ++g_watcherLooks;
    if (IsUnplugged(device)) values[0] = ALC_FALSE;
}

void __wrap_alGetSourcei(ALuint source, ALenum param, ALint* value) {
    __real_alGetSourcei(source, param, value);
    if (param != AL_SOURCE_STATE || value == nullptr) return;
    if (std::this_thread::get_id() == g_testThread) return;
    ++g_watcherLooks;
    FakeState& s = State();
    const std::lock_guard running(s.hookRun);
    std::function<void(bool)> hook;
    {
        const std::lock_guard lock(s.mutex);
        hook = s.lookHook;
    }
    if (hook) hook(*value == AL_PLAYING);
}

void __wrap_alSourcePlay(ALuint source) {
    __real_alSourcePlay(source);
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    if (std::find(s.started.begin(), s.started.end(), source) == s.started.end())
        s.started.push_back(source);
}

void __wrap_alSourceStop(ALuint source) {
    __real_alSourceStop(source);
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    s.started.erase(std::remove(s.started.begin(), s.started.end(), source), s.started.end());
}

void __wrap_alDeleteSources(ALsizei n, const ALuint* sources) {
    __real_alDeleteSources(n, sources);
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    for (ALsizei i = 0; i < n; ++i)
        s.started.erase(std::remove(s.started.begin(), s.started.end(), sources[i]),
                        s.started.end());
}

}  // extern "C"

namespace enginetest {

int SourcesStarted() {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    return static_cast<int>(s.started.size());
}

void UnplugOpenDevices() {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    s.unplugged.insert(s.unplugged.end(), s.open.begin(), s.open.end());
}

void SetWatcherLookHook(std::function<void(bool playing)> hook) {
    FakeState& s = State();
    const std::lock_guard running(s.hookRun);
    const std::lock_guard lock(s.mutex);
    s.lookHook = std::move(hook);
}

uint64_t WatcherLooks() { return g_watcherLooks.load(); }

bool WatcherGoesQuiet(std::chrono::milliseconds timeout) {
    // Far longer than the watcher's poll, so a polling watcher is seen.
    constexpr auto Quiet = std::chrono::milliseconds(25);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    uint64_t seen = WatcherLooks();
    auto since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint64_t now = WatcherLooks();
        if (now != seen) {
            seen = now;
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since >= Quiet) {
            return true;
        }
    }
    return false;
}

}  // namespace enginetest
