#include "FakeCaptureDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <numbers>

// The real functions, as the linker's --wrap names them.
extern "C" {
ALCdevice* __real_alcCaptureOpenDevice(const ALCchar* name, ALCuint rate, ALCenum format,
                                       ALCsizei frames);
ALCboolean __real_alcCaptureCloseDevice(ALCdevice* device);
void __real_alcCaptureStart(ALCdevice* device);
void __real_alcCaptureStop(ALCdevice* device);
void __real_alcCaptureSamples(ALCdevice* device, ALCvoid* buffer, ALCsizei frames);
void __real_alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values);
const ALCchar* __real_alcGetString(ALCdevice* device, ALCenum param);
}

namespace {

struct FakeState {
    std::mutex mutex;
    std::deque<float> queued;
    bool open = false;
    bool unplugged = false;
    bool floatSamples = true;
};

FakeState& State() {
    static FakeState state;
    return state;
}

// The fake device's handle: an address nothing else has.
char g_fakeDevice;
ALCdevice* FakeDevice() { return reinterpret_cast<ALCdevice*>(&g_fakeDevice); }

}  // namespace

namespace recordtest {

void FeedCapture(const std::vector<float>& stereo) {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    s.queued.insert(s.queued.end(), stereo.begin(), stereo.end());
}

void UnplugCapture() {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    s.unplugged = true;
}

void ResetCapture() {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    s.queued.clear();
    s.unplugged = false;
}

bool CaptureOpen() {
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    return s.open;
}

std::vector<float> Silence(size_t count) { return std::vector<float>(count * 2, 0.0f); }

std::vector<float> Sine(size_t count, double hz, float amplitude, int rate) {
    std::vector<float> stereo(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const auto value = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate));
        stereo[i * 2] = stereo[i * 2 + 1] = value;
    }
    return stereo;
}

}  // namespace recordtest

extern "C" {

ALCdevice* __wrap_alcCaptureOpenDevice(const ALCchar* name, ALCuint rate, ALCenum format,
                                       ALCsizei frames) {
    if (name != nullptr && std::strcmp(name, recordtest::FakeCaptureName) != 0)
        return __real_alcCaptureOpenDevice(name, rate, format, frames);
    if (format != AL_FORMAT_STEREO_FLOAT32 && format != AL_FORMAT_STEREO16) return nullptr;
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    if (s.open) return nullptr;  // one at a time, as a real device may be
    s.open = true;
    s.floatSamples = format == AL_FORMAT_STEREO_FLOAT32;
    return FakeDevice();
}

ALCboolean __wrap_alcCaptureCloseDevice(ALCdevice* device) {
    if (device != FakeDevice()) return __real_alcCaptureCloseDevice(device);
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    s.open = false;
    return ALC_TRUE;
}

void __wrap_alcCaptureStart(ALCdevice* device) {
    if (device != FakeDevice()) __real_alcCaptureStart(device);
}

void __wrap_alcCaptureStop(ALCdevice* device) {
    if (device != FakeDevice()) __real_alcCaptureStop(device);
}

void __wrap_alcCaptureSamples(ALCdevice* device, ALCvoid* buffer, ALCsizei frames) {
    if (device != FakeDevice()) {
        __real_alcCaptureSamples(device, buffer, frames);
        return;
    }
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    const auto count = std::min(static_cast<size_t>(frames) * 2, s.queued.size());
    if (s.floatSamples) {
        std::copy_n(s.queued.begin(), count, static_cast<float*>(buffer));
    } else {
        std::transform(s.queued.begin(), s.queued.begin() + static_cast<ptrdiff_t>(count),
                       static_cast<short*>(buffer),
                       [](float v) { return static_cast<short>(std::lround(v * 32767)); });
    }
    s.queued.erase(s.queued.begin(), s.queued.begin() + static_cast<ptrdiff_t>(count));
}

void __wrap_alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values) {
    if (device != FakeDevice()) {
        __real_alcGetIntegerv(device, param, size, values);
        return;
    }
    FakeState& s = State();
    const std::lock_guard lock(s.mutex);
    if (size < 1 || values == nullptr) return;
    if (param == ALC_CAPTURE_SAMPLES) values[0] = static_cast<ALCint>(s.queued.size() / 2);
    if (param == ALC_CONNECTED) values[0] = s.unplugged ? 0 : 1;
}

const ALCchar* __wrap_alcGetString(ALCdevice* device, ALCenum param) {
    // A list of one name, ended by a second NUL.
    static const ALCchar list[] = "Fake input\0";
    if (device == nullptr && param == ALC_CAPTURE_DEVICE_SPECIFIER) return list;
    return __real_alcGetString(device, param);
}

}  // extern "C"
