#pragma once

// Private to the record library: a capture device through OpenAL.

#include <AL/alc.h>

#include <memory>
#include <string>
#include <vector>

#include "record/CaptureSource.h"

namespace record {

class OpenAlCapture final : public CaptureSource {
public:
    // name empty: the default capture device. Null when it cannot be opened.
    [[nodiscard]] static std::unique_ptr<OpenAlCapture> Open(const std::string& name,
                                                             std::string* reason);
    [[nodiscard]] static std::vector<std::string> DeviceNames();

    // Takes an opened, started device.
    OpenAlCapture(ALCdevice* device, int rate, bool floatSamples);
    ~OpenAlCapture() override;
    OpenAlCapture(const OpenAlCapture&) = delete;
    OpenAlCapture& operator=(const OpenAlCapture&) = delete;

    [[nodiscard]] int SampleRate() const override { return m_rate; }
    [[nodiscard]] bool Read(std::vector<float>* frames) override;
    void Wait(std::chrono::milliseconds timeout) override;

private:
    ALCdevice* m_device;
    int m_rate;
    bool m_float;  // else 16-bit, where the device offers no float
    std::vector<short> m_shorts;
};

}  // namespace record
