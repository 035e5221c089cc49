#include "core/BankSave.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>

#include "core/BankBackup.h"
#include "voicebank/VoiceBankBuilder.h"

namespace {

// 2739296 as "2,739,296".
std::string WithThousands(unsigned long long value) {
    std::string digits = std::to_string(value);
    for (auto i = static_cast<ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), 1, ',');
    return digits;
}

std::string DescribeFailure(const VoiceBankImage& image, const BankSaveRequest& request,
                            const WriteFailure& failure) {
    // A card pulled during the write fails with whatever the system says;
    // say what happened instead.
    if (std::string gone = CheckVolumeIdentity(request.volume); !gone.empty()) return gone;
    return DescribeBankWriteFailure(request.path, request.volume.root, BankFileSize(image),
                                    failure);
}

}  // namespace

std::string DescribeBankWriteFailure(const std::string& path, const std::string& cardRoot,
                                     std::uintmax_t bankBytes, const WriteFailure& failure) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    switch (failure.error) {
    case ENOSPC:
    case EDQUOT: {
        struct statvfs fs {};
        const std::string needs = WithThousands(bankBytes) + " bytes";
        if (::statvfs(folder.c_str(), &fs) != 0) return "the card is full; the bank needs " + needs;
        const auto free = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
        return "the card is full: " + WithThousands(free) + " bytes are free, the bank needs " +
               needs;
    }
    case EACCES:
    case EPERM: return "permission denied: you may not write to " + folder;
    case EROFS: return "the card is read-only (" + cardRoot + ")";
    default: return failure.reason;
    }
}

BankSaveOutcome ExportVoiceBank(const VoiceBankImage& image, const BankSaveRequest& request) {
    BankSaveOutcome outcome;
    if (std::string gone = CheckVolumeIdentity(request.volume); !gone.empty()) {
        outcome.reason = std::move(gone);
        return outcome;
    }
    const auto backUp = [&request, &outcome](std::string* reason) {
        struct stat info {};
        if (::lstat(request.path.c_str(), &info) != 0) return true;  // nothing replaced
        std::string why = "there is no data folder for this user";
        if (!request.backupsRoot.empty() &&
            BackUpBank(request.path, request.backupsRoot, request.now, &outcome.backupPath, &why))
            return true;
        *reason = "the bank it replaces could not be backed up: " + why;
        return false;
    };
    WriteFailure failure;
    if (!ExportImageToFile(image, request.path.c_str(), &failure, backUp)) {
        outcome.reason = failure.error == 0 && !failure.reason.empty()
                             ? failure.reason
                             : DescribeFailure(image, request, failure);
        return outcome;
    }
    outcome.saved = true;
    return outcome;
}
