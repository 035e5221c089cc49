#include "core/BankBackup.h"
#include "core/UserData.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "core/PathUtils.h"
#include "voicebank/BankFile.h"
#include "voicebank/BankFolder.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/WholeFileReader.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t StampLength = 15;  // YYYYMMDD-HHMMSS

std::string Stamp(std::time_t now) {
    // UTC, so a change of time zone or the end of summer time never makes
    // a new copy's name sort before an older one's.
    std::tm utc{};
    (void)gmtime_r(&now, &utc);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc) != StampLength)
        return "00000000-000000";
    return text;
}

bool IsDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A copy's place in time: its stamp and its number (1 without a suffix);
// false for a file that is no copy of this name.
bool ParseCopyName(const std::string& file, const std::string& name, std::string* stamp,
                   long* number) {
    const std::string prefix = name + '-';
    const std::string suffix = ".glw";
    if (file.size() < prefix.size() + StampLength + suffix.size() ||
        file.compare(0, prefix.size(), prefix) != 0 ||
        file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string rest =
        file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
    const std::string head = rest.substr(0, StampLength);
    if (!IsDigits(head.substr(0, 8)) || head[8] != '-' || !IsDigits(head.substr(9))) return false;
    *stamp = head;
    *number = 1;
    if (rest.size() == StampLength) return true;
    const std::string tail = rest.substr(StampLength);
    if (tail.size() < 2 || tail.size() > 10 || tail[0] != '-' || !IsDigits(tail.substr(1)))
        return false;
    *number = std::stol(tail.substr(1));
    return true;
}

struct Copy {
    fs::file_time_type written;
    std::string stamp;
    long number = 1;
    fs::path path;
};

// Whether path is itself a folder, not a link to one: a link in the backups
// could lead a listing, a restore or a pruning to files kept elsewhere.
bool IsOwnFolder(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

// Whether path is itself a regular file, not a link to one.
bool IsOwnFile(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

// The copies of name in folder, oldest first: by the time each was written,
// then by stamp and number. Only regular files in a real folder count.
std::vector<Copy> ListCopies(const fs::path& folder, const std::string& name) {
    std::vector<Copy> copies;
    if (!IsOwnFolder(folder)) return copies;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        Copy copy;
        std::error_code timeError;
        if (it->symlink_status(timeError).type() == fs::file_type::regular &&
            ParseCopyName(it->path().filename().string(), name, &copy.stamp, &copy.number)) {
            copy.written = fs::last_write_time(it->path(), timeError);
            copy.path = it->path();
            copies.push_back(std::move(copy));
        }
    }
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) {
        if (a.written != b.written) return a.written < b.written;
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
    });
    return copies;
}

// Removes the oldest copies beyond keep, never the one just made nor the
// spared one.
void PruneCopies(const fs::path& folder, const std::string& name, int keep,
                 const fs::path& justMade, const fs::path& spare) {
    std::vector<Copy> copies = ListCopies(folder, name);
    std::error_code ec;
    size_t extra = copies.size() > static_cast<size_t>(std::max(keep, 1))
                       ? copies.size() - static_cast<size_t>(std::max(keep, 1))
                       : 0;
    for (size_t i = 0; i < copies.size() && extra > 0; ++i) {
        if (copies[i].path == justMade || copies[i].path == spare) continue;
        (void)fs::remove(copies[i].path, ec);
        --extra;
    }
}

// Makes folder and its missing parents; false with the real reason.
bool MakeFolder(const std::string& folder, std::string* reason) {
    if (folder.empty() || folder[0] != '/') {
        *reason = "the backup folder " + folder + " is not an absolute path";
        return false;
    }
    std::string why;
    if (MakeFolderPath(folder, &why)) return true;
    *reason = "the backup folder " + folder + " cannot be made: " + why;
    return false;
}

bool SameBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> other;
    std::string why;
    return ReadWholeFile(file.string(), bytes.size(), &other, &why) == WholeFileRead::Read &&
           other == bytes;
}

// The bank's file name without ".glw": the name its copies are kept under.
std::string BackupName(const std::string& bankPath) {
    std::string name = fs::path(bankPath).filename().string();
    if (IsBankFileName(name)) name.resize(name.size() - BankFileExtension.size());
    return name;
}

// The bytes of the bank to keep; none when there is nothing to keep (no
// regular file, or an empty one). False, with the reason, when it cannot be
// read or is too large to be a bank.
bool ReadBankToKeep(const std::string& bankPath, std::vector<uint8_t>* bytes, std::string* reason) {
    std::error_code ec;
    // Nothing a bank could be (a folder in its place): nothing to keep; the
    // save itself then fails as it would without backups.
    if (!fs::is_regular_file(bankPath, ec)) return true;
    // Kept whatever the checker says of it: a damaged bank is still the
    // musician's.
    BankFile file;
    std::string why;
    if (!ReadBankFile(bankPath, &file, &why)) {
        *reason = bankPath + " cannot be read: " + why;
        return false;
    }
    if (file.tooLarge) {
        *reason = bankPath + ": " + file.report.problems.front() + "; no backup of it is made";
        return false;
    }
    *bytes = std::move(file.bytes);
    return true;
}

// A name for a new copy in folder that no file has yet: NAME-STAMP.glw, else
// NAME-STAMP-N.glw.
bool FreeBackupPath(const std::string& folder, const std::string& name, std::time_t now,
                    std::string* path, std::string* reason) {
    std::error_code ec;
    const std::string base = folder + '/' + name + '-' + Stamp(now);
    *path = base + ".glw";
    for (int n = 2; fs::exists(*path, ec) || ec; ++n) {
        if (n > 999999) {
            *reason = "no free backup name in " + folder;
            return false;
        }
        *path = base + '-' + std::to_string(n) + ".glw";
    }
    return true;
}

}  // namespace

bool BackUpBank(const std::string& bankPath, const std::string& backupsRoot, std::time_t now,
                std::string* backupPath, std::string* reason, int keep, const std::string& spare) {
    const std::string name = BackupName(bankPath);
    if (name.empty() || name == "." || name == "..") {
        *reason = "the bank's file name is empty";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!ReadBankToKeep(bankPath, &bytes, reason)) return false;
    if (bytes.empty()) {
        // An empty file holds nothing to keep.
        backupPath->clear();
        return true;
    }
    const std::string folder = backupsRoot + '/' + name;
    if (!FitsPathMax(folder + '/' + name + "-00000000-000000-999999.glw")) {
        *reason = "the path of the backup folder " + folder + " is too long";
        return false;
    }
    if (!MakeFolder(folder, reason)) return false;
    if (!IsOwnFolder(folder)) {
        *reason = "the backup folder " + folder + " is a link, not a folder; no copy is kept there";
        return false;
    }
    // The same bank saved again: its newest copy already keeps it.
    if (const std::vector<Copy> copies = ListCopies(folder, name);
        !copies.empty() && SameBytes(copies.back().path, bytes)) {
        *backupPath = copies.back().path.string();
        return true;
    }
    std::string path;
    if (!FreeBackupPath(folder, name, now, &path, reason)) return false;
    WriteFailure failure;
    if (!WriteWholeFile(path.c_str(), bytes.data(), static_cast<ptrdiff_t>(bytes.size()),
                        &failure)) {
        *reason = "the backup " + path + " cannot be written: " + failure.reason;
        return false;
    }
    PruneCopies(folder, name, keep, path, spare);
    *backupPath = path;
    return true;
}

std::string DefaultBackupsRoot() {
    const std::string data = UserDataFolder();
    return data.empty() ? data : data + "/backups";
}

std::string DescribeBackupTime(const std::string& stamp) {
    if (stamp.size() != StampLength) return stamp;
    std::string text = stamp.substr(0, 4);
    text += '-';
    text += stamp.substr(4, 2);
    text += '-';
    text += stamp.substr(6, 2);
    text += ' ';
    text += stamp.substr(9, 2);
    text += ':';
    text += stamp.substr(11, 2);
    text += ':';
    text += stamp.substr(13, 2);
    text += " UTC";
    return text;
}

std::vector<BankBackupCopy> ListBankBackups(const std::string& backupsRoot,
                                            const std::string& name) {
    std::vector<BankBackupCopy> listed;
    if (backupsRoot.empty() || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
        return listed;
    const std::vector<Copy> copies = ListCopies(fs::path(backupsRoot) / name, name);
    for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(it->path, ec);
        listed.push_back({it->path.string(), it->stamp, it->number, ec ? 0 : size});
    }
    return listed;
}

bool RestoreBankCopy(const std::string& copyPath, const std::string& bankPath,
                     const std::string& backupsRoot, std::time_t now, std::string* backupPath,
                     std::string* reason) {
    backupPath->clear();
    if (!IsOwnFile(copyPath) || !IsOwnFolder(fs::path(copyPath).parent_path())) {
        *reason = copyPath + " is a link or no regular file in the backups; it is no kept copy";
        return false;
    }
    BankFile copy;
    std::string why;
    if (!ReadBankFile(copyPath, &copy, &why)) {
        *reason = copyPath + " cannot be read: " + why;
        return false;
    }
    if (!copy.report.valid) {
        *reason =
            copyPath + " is damaged: " +
            (copy.report.problems.empty() ? std::string("no bank") : copy.report.problems.front());
        return false;
    }
    if (const std::string name = BackupName(bankPath);
        !SameBankName(copy.report.bank.bankName, name)) {
        *reason = copyPath + " holds the bank " + copy.report.bank.bankName + ", not " + name;
        return false;
    }
    // As a save does: the bank it replaces is kept once the new file is
    // written and checked, just before it takes the bank's place.
    const BeforeReplace backUp = [&](std::string* beforeReason) {
        // A lookup that fails for another reason than absence still backs up.
        if (!SomethingStandsAt(bankPath)) return true;  // nothing replaced
        std::string backupWhy = "there is no data folder for this user";
        // The copy being put back is never pruned to make room: the write
        // may still fail.
        if (!backupsRoot.empty() && BackUpBank(bankPath, backupsRoot, now, backupPath, &backupWhy,
                                               BackupsKeptPerBank, copyPath))
            return true;
        *beforeReason = "the bank it replaces could not be backed up: ";
        *beforeReason += backupWhy;
        return false;
    };
    WriteFailure failure;
    if (!WriteWholeFile(bankPath.c_str(), copy.bytes.data(),
                        static_cast<ptrdiff_t>(copy.bytes.size()), &failure, backUp)) {
        *reason = bankPath + " cannot be written: " + failure.reason;
        return false;
    }
    return true;
}
