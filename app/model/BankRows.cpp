#include "app/model/BankRows.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/model/PathUtils.h"
#include "audio/RowMark.h"
#include "voicebank/BankFile.h"
#include "voicebank/VoiceBankBuilder.h"

bool ReadBankForOpening(const std::string& path, OpenedBankFile* out, std::string* reason) {
    if (path.find('\0') != std::string::npos || !FitsPathMax(path)) {
        *reason = "the path is too long or holds a NUL character";
        return false;
    }
    BankFile file;
    std::string why;
    if (!ReadBankFile(path, &file, &why)) {
        *reason = "the file cannot be read: " + why;
        return false;
    }
    VoiceBankReport& report = file.report;
    if (!report.valid || !report.decoded || !report.bank.image) {
        *reason =
            report.problems.empty() ? "the file is not a voice bank" : report.problems.front();
        return false;
    }
    out->bank = std::move(report.bank);
    out->crc = Crc32(file.bytes.data(), file.bytes.size());
    return true;
}

std::string OpenedBankFolderName(const std::string& bankName, uint32_t crc) {
    std::string name;
    for (const char c : bankName) {
        const auto u = static_cast<unsigned char>(c);
        name += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    if (name.empty()) name = "bank";
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(crc));
    return name + '-' + hex;
}

bool WriteBankRows(const OpenedBankFile& opened, const std::string& banksRoot,
                   std::array<std::string, VoiceSlotCount>* paths, std::string* reason) {
    const std::string folder =
        banksRoot + '/' + OpenedBankFolderName(opened.bank.bankName, opened.crc);
    if (!FitsPathMax(folder + "/00.wav")) {
        *reason = "the path of the folder " + folder + " is too long";
        return false;
    }
    if (!CreateDirectoryTree(folder.c_str())) {
        *reason = "the folder " + folder + " cannot be made: " + std::strerror(errno);
        return false;
    }
    std::array<std::string, VoiceSlotCount> written;
    for (int i = 0; i < VoiceSlotCount; ++i) {
        if (opened.bank.rows[static_cast<size_t>(i)].channels == 0) continue;
        const AudioData& record = opened.bank.image->voices[static_cast<size_t>(i)];
        const std::vector<uint8_t> wave =
            MakeRowWave(record, RowOrigin{opened.bank.bankName, i + 1});
        char name[8];
        std::snprintf(name, sizeof name, "/%02d.wav", i + 1);
        const std::string path = folder + name;
        if (wave.empty() ||
            !WriteWholeFile(path.c_str(), wave.data(), static_cast<ptrdiff_t>(wave.size()))) {
            *reason = path + " cannot be written";
            return false;
        }
        written[static_cast<size_t>(i)] = path;
    }
    *paths = std::move(written);
    return true;
}
