// Fuzz target for the bank checker behind `glwtool info`. Beyond "no
// crash": the verdict and the problem list agree, and a bank it accepts is
// exactly what the builder makes of the rows it decoded.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzCheck.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const VoiceBankReport report = CheckVoiceBank(data, size);
    FuzzCheck(report.valid == report.problems.empty(), "valid exactly when no problem is named");
    if (!report.valid) return 0;

    FuzzCheck(report.decoded && report.bank.image != nullptr, "an accepted bank is decoded");
    for (const VoiceBankRow& row : report.bank.rows) {
        FuzzCheck(row.channels >= 0 && row.channels <= 2, "row channels");
        FuzzCheck(row.frames % 16 == 0 && row.frames <= MaxVoiceFrames, "row frames");
    }
    auto copy = std::make_unique<VoiceBankImage>(*report.bank.image);
    std::vector<uint8_t> rebuilt;
    FuzzCheck(FillVoiceAddresses(copy.get(), report.bank.bankName.c_str()), "fill");
    FuzzCheck(BuildVoiceBankFile(copy.get(), &rebuilt), "build");
    FuzzCheck(rebuilt.size() == size && std::memcmp(rebuilt.data(), data, size) == 0,
              "an accepted bank equals the rebuild of its rows");
    return 0;
}
