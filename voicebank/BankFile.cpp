#include "voicebank/BankFile.h"

#include <filesystem>
#include <system_error>

#include "voicebank/BankHead.h"
#include "voicebank/WholeFileReader.h"

bool ReadBankFile(const std::string& path, BankFile* out, std::string* reason) {
    *out = BankFile{};
    switch (ReadWholeFile(path, bank::LargestBankFileRead, &out->bytes, reason)) {
    case WholeFileRead::Failed: return false;
    case WholeFileRead::TooLarge: {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        out->tooLarge = true;
        out->report.problems.push_back(
            "the file is larger than any bank: it holds " +
            (ec ? std::string("more than ") + std::to_string(bank::LargestBankFileRead)
                : std::to_string(size)) +
            " bytes, a bank at most " + std::to_string(bank::MaxFileBytes));
        return true;
    }
    case WholeFileRead::Read: break;
    }
    out->report = CheckVoiceBank(out->bytes.data(), out->bytes.size());
    return true;
}
