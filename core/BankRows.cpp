#include "core/BankRows.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include <sys/stat.h>

#include "audio/ReadFailure.h"
#include "audio/RowMark.h"
#include "core/PathUtils.h"
#include "voicebank/BankFile.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/WholeFileReader.h"

bool ReadBankForOpening(const std::string& path, OpenedBankFile* out, std::string* reason,
                        bool* missing) {
    if (missing != nullptr) *missing = false;
    if (path.find('\0') != std::string::npos || !FitsPathMax(path)) {
        *reason = "the path is too long or holds a NUL character";
        return false;
    }
    // Before the file is opened: a FIFO or a device would block the open or
    // the read for good.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (missing != nullptr) *missing = err == ENOENT || err == ENOTDIR;
        *reason = (err == ENOENT || err == ENOTDIR)
                      ? std::string("there is no such file")
                      : "it cannot be opened: " + std::string(std::strerror(err));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = S_ISDIR(st.st_mode) ? "it is a folder, not a file"
                                      : "it is not a regular file (a pipe, a device or a socket)";
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

std::string OpenedBankFileName(const std::string& bankName) {
    std::string name;
    for (const char c : bankName) {
        const auto u = static_cast<unsigned char>(c);
        // Plain ASCII only: the profile keeps the rows' paths as UTF-8 text,
        // and a name that is not UTF-8 would come back as another path.
        name += (c == '/' || u < 0x20 || u >= 0x7F) ? '_' : c;
    }
    return name.empty() ? "bank" : name;
}

std::string OpenedBankFolderName(const std::string& bankName, uint32_t crc) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(crc));
    return OpenedBankFileName(bankName) + '-' + hex;
}

bool WriteBankRows(const OpenedBankFile& opened, const std::string& banksRoot,
                   std::array<std::string, VoiceSlotCount>* paths, std::string* reason) {
    const std::string folder =
        banksRoot + '/' + OpenedBankFolderName(opened.bank.bankName, opened.crc);
    if (!FitsPathMax(folder + '/' + OpenedBankFileName(opened.bank.bankName) + " 00.wav")) {
        *reason = "the path of the folder " + folder + " is too long";
        return false;
    }
    if (!CreateDirectoryTree(folder.c_str())) {
        *reason = "the folder " + folder + " cannot be made: " + std::strerror(errno);
        return false;
    }
    const std::string prefix = folder + '/' + OpenedBankFileName(opened.bank.bankName);
    std::array<std::string, VoiceSlotCount> written;
    for (int i = 0; i < VoiceSlotCount; ++i) {
        if (opened.bank.rows[static_cast<size_t>(i)].channels == 0) continue;
        const AudioData& record = opened.bank.image->voices[static_cast<size_t>(i)];
        const std::vector<uint8_t> wave =
            MakeRowWavFile(record, RowOrigin{opened.bank.bankName, i + 1});
        char name[8];
        std::snprintf(name, sizeof name, " %02d.wav", i + 1);
        const std::string path = prefix + name;
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

bool KeepRowFile(const std::string& path, const std::string& rowsRoot, std::string* kept,
                 std::string* reason) {
    // A row file is at most a second of 16-bit stereo and its mark.
    constexpr uintmax_t RowFileMaxBytes = 1 << 20;
    std::vector<uint8_t> bytes;
    std::string why;
    switch (ReadWholeFile(path, RowFileMaxBytes, &bytes, &why)) {
    case WholeFileRead::Read: break;
    case WholeFileRead::TooLarge: *reason = path + " is too large for a row"; return false;
    case WholeFileRead::Failed: *reason = path + " cannot be read: " + why; return false;
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x",
                  static_cast<unsigned>(Crc32(bytes.data(), bytes.size())));
    const std::string folder = rowsRoot + '/' + hex;
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string copy = folder + '/' + name;
    if (!FitsPathMax(copy) || !CreateDirectoryTree(folder.c_str())) {
        *reason = "the folder " + folder + " cannot be made";
        return false;
    }
    // A copy already there with the same bytes is the same row.
    std::vector<uint8_t> there;
    if (ReadWholeFile(copy, RowFileMaxBytes, &there, &why) == WholeFileRead::Read &&
        there == bytes) {
        *kept = copy;
        return true;
    }
    if (!WriteWholeFile(copy.c_str(), bytes.data(), static_cast<ptrdiff_t>(bytes.size()))) {
        *reason = copy + " cannot be written";
        return false;
    }
    *kept = copy;
    return true;
}

CheckedBank CheckBank(const std::string& path) {
    CheckedBank checked;
    auto opened = std::make_shared<OpenedBankFile>();
    checked.ok = ReadBankForOpening(path, opened.get(), &checked.reason, &checked.missing);
    if (checked.ok) checked.opened = std::move(opened);
    return checked;
}

MadeBankRows CopyAndReadBankRows(const OpenedBankFile& opened, const std::string& banksRoot,
                                 bool convert, const std::atomic<bool>& cancelled) {
    MadeBankRows made;
    if (!WriteBankRows(opened, banksRoot, &made.paths, &made.copyFailure)) return made;
    for (size_t i = 0; i < made.paths.size() && !cancelled; ++i) {
        const std::string& path = made.paths[i];
        if (path.empty()) continue;
        auto record = std::unique_ptr<AudioData>(new (std::nothrow) AudioData());
        VoiceLoadOutcome& outcome = made.outcomes[i];
        if (record && LoadVoice(path.c_str(), {}, convert, record.get(), &outcome)) {
            made.records[i] = std::move(record);
        } else if (!made.failed) {
            made.failed = true;
            made.firstFailure.code = outcome.code;
            made.firstFailure.reason =
                record ? DescribeReadFailure(path, outcome.code, *record) : "not enough memory";
        }
    }
    return made;
}
