#pragma once

// Where a take is recorded from: the desktop's default capture device, a
// capture device by its name (both through OpenAL), or this program's own
// JACK input ports. Every source delivers stereo 32-bit float frames at
// the rate the input runs at.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace record {

class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // Frames a second.
    [[nodiscard]] virtual int SampleRate() const = 0;
    // Appends the frames captured since the last call to *frames,
    // interleaved left and right. False once the input is gone (unplugged,
    // its server stopped): nothing more will come.
    [[nodiscard]] virtual bool Read(std::vector<float>* frames) = 0;
    // Returns when frames may be there to read, or after timeout.
    virtual void Wait(std::chrono::milliseconds timeout) = 0;
};

// Which input a recording opens.
struct CaptureChoice {
    enum class Kind { Default, Named, Jack };
    Kind kind = Kind::Default;
    std::string name;  // for Named: a capture device as ListCaptureDevices names it
    // For Jack: other clients' output ports to connect to in_1 and in_2 (one
    // port feeds both inputs; with more, they take turns).
    std::vector<std::string> connect;
};

// The input of a command line's --input: "default", "jack" or a device name.
[[nodiscard]] CaptureChoice ParseCaptureChoice(const std::string& text);

// Opens the input; null when there is no such input (no capture device, no
// device of that name, no JACK server, a port to connect that does not
// exist), with *reason saying which.
[[nodiscard]] std::unique_ptr<CaptureSource> OpenCaptureSource(const CaptureChoice& choice,
                                                               std::string* reason);

// The capture devices the desktop offers, by name.
[[nodiscard]] std::vector<std::string> ListCaptureDevices();

// The JACK client's input ports, named after midi::JackClientName.
inline constexpr const char* JackLeftPort = "in_1";
inline constexpr const char* JackRightPort = "in_2";

}  // namespace record
