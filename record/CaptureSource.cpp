#include "record/CaptureSource.h"

#include "record/JackCapture.h"
#include "record/OpenAlCapture.h"

namespace record {

CaptureChoice ParseCaptureChoice(const std::string& text) {
    CaptureChoice choice;
    if (text.empty() || text == "default") return choice;
    if (text == "jack") {
        choice.kind = CaptureChoice::Kind::Jack;
        return choice;
    }
    choice.kind = CaptureChoice::Kind::Named;
    choice.name = text;
    return choice;
}

std::unique_ptr<CaptureSource> OpenCaptureSource(const CaptureChoice& choice, std::string* reason) {
    if (choice.kind == CaptureChoice::Kind::Jack) return JackCapture::Open(choice.connect, reason);
    return OpenAlCapture::Open(choice.kind == CaptureChoice::Kind::Named ? choice.name : "",
                               reason);
}

std::vector<std::string> ListCaptureDevices() { return OpenAlCapture::DeviceNames(); }

}  // namespace record
