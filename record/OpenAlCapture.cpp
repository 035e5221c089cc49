#include "record/OpenAlCapture.h"

#include <AL/al.h>
#include <AL/alext.h>

#include <algorithm>
#include <thread>

namespace record {

namespace {

// OpenAL asks for the capture rate up front; the desktop's sound servers
// run at 48 kHz unless set otherwise, and convert when they run at another.
constexpr int CaptureRate = 48000;
// The device's own buffer: half a second, far more than a look's worth.
constexpr int BufferFrames = CaptureRate / 2;
// How often the device is looked at while waiting: a meter's update is
// several of these.
constexpr auto PollInterval = std::chrono::milliseconds(5);

}  // namespace

std::unique_ptr<OpenAlCapture> OpenAlCapture::Open(const std::string& name, std::string* reason) {
    const ALCchar* deviceName = name.empty() ? nullptr : name.c_str();
    bool floatSamples = true;
    ALCdevice* device =
        alcCaptureOpenDevice(deviceName, CaptureRate, AL_FORMAT_STEREO_FLOAT32, BufferFrames);
    if (device == nullptr) {
        floatSamples = false;
        device = alcCaptureOpenDevice(deviceName, CaptureRate, AL_FORMAT_STEREO16, BufferFrames);
    }
    if (device == nullptr) {
        if (reason != nullptr)
            *reason = name.empty() ? "there is no capture device"
                                   : "there is no capture device named \"" + name + "\"";
        return nullptr;
    }
    alcCaptureStart(device);
    return std::make_unique<OpenAlCapture>(device, CaptureRate, floatSamples);
}

std::vector<std::string> OpenAlCapture::DeviceNames() {
    std::vector<std::string> names;
    // A list of names, each ended by a NUL, the list by a second one.
    const ALCchar* list = alcGetString(nullptr, ALC_CAPTURE_DEVICE_SPECIFIER);
    while (list != nullptr && *list != '\0') {
        names.emplace_back(list);
        list += names.back().size() + 1;
    }
    return names;
}

OpenAlCapture::OpenAlCapture(ALCdevice* device, int rate, bool floatSamples)
    : m_device(device), m_rate(rate), m_float(floatSamples) {}

OpenAlCapture::~OpenAlCapture() {
    alcCaptureStop(m_device);
    alcCaptureCloseDevice(m_device);
}

bool OpenAlCapture::Read(std::vector<float>* frames) {
    ALCint connected = 1;
    alcGetIntegerv(m_device, ALC_CONNECTED, 1, &connected);
    ALCint available = 0;
    alcGetIntegerv(m_device, ALC_CAPTURE_SAMPLES, 1, &available);
    if (available > 0) {
        const auto count = static_cast<size_t>(available);
        const size_t at = frames->size();
        frames->resize(at + count * 2);
        if (m_float) {
            alcCaptureSamples(m_device, frames->data() + at, available);
        } else {
            m_shorts.resize(count * 2);
            alcCaptureSamples(m_device, m_shorts.data(), available);
            std::transform(m_shorts.begin(), m_shorts.end(),
                           frames->begin() + static_cast<ptrdiff_t>(at),
                           [](short s) { return static_cast<float>(s) / 32768.0f; });
        }
    }
    return connected != 0;
}

void OpenAlCapture::Wait(std::chrono::milliseconds timeout) {
    // OpenAL says nothing when frames arrive: it is looked at.
    std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(timeout, PollInterval));
}

}  // namespace record
