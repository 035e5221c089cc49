#include "core/CardBanks.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "voicebank/BankFile.h"
#include "voicebank/BankName.h"

namespace fs = std::filesystem;

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string BankFolderOf(const std::string& cardRoot) {
    std::string root = WithoutTrailingSlash(cardRoot);
    if (root != "/") root += '/';
    return root + std::string(BankFolderName);
}

// The bank files in folder (regular files only, never links), each with
// its name, size and time, sorted by name; not yet checked.
std::vector<CardBank> FindBankFiles(const std::string& folder) {
    std::vector<CardBank> banks;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (!IsBankFileName(file) || file.size() == BankFileExtension.size()) continue;
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        CardBank bank;
        bank.name = file.substr(0, file.size() - BankFileExtension.size());
        bank.path = it->path().string();
        bank.size = static_cast<std::uintmax_t>(info.st_size);
        bank.modified = info.st_mtime;
        banks.push_back(std::move(bank));
    }
    std::sort(banks.begin(), banks.end(),
              [](const CardBank& a, const CardBank& b) { return a.name < b.name; });
    return banks;
}

// Reads and checks one bank: the checker needs every byte (the checksums
// and the rebuild it compares with), so the whole file is read.
void CheckCardBank(CardBank* bank) {
    BankFile file;
    std::string why;
    if (!ReadBankFile(bank->path, &file, &why)) {
        bank->damaged = true;
        bank->reason = "cannot be read: " + why;
        return;
    }
    if (!file.report.valid) {
        bank->damaged = true;
        bank->reason = file.report.problems.empty() ? "not a bank" : file.report.problems.front();
        return;
    }
    for (size_t i = 0; i < bank->rowFrames.size(); ++i)
        bank->rowFrames[i] =
            file.report.bank.rows[i].channels != 0 ? file.report.bank.rows[i].frames : 0;
}

// Checks every bank, on a few threads: the check is the listing's cost, and
// each bank is checked on its own.
void CheckCardBanks(std::vector<CardBank>* banks) {
    std::atomic<size_t> next{0};
    const auto work = [&next, banks] {
        for (size_t i = next++; i < banks->size(); i = next++) CheckCardBank(&(*banks)[i]);
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t helpers = std::min<size_t>({cores - 1, 3, banks->size() / 4});
    std::vector<std::thread> threads;
    for (size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads: the ones running and this one do the rest
        }
    }
    work();
    for (std::thread& thread : threads) thread.join();
}

}  // namespace

int CardBank::RowsFilled() const {
    return static_cast<int>(
        std::count_if(rowFrames.begin(), rowFrames.end(), [](std::int32_t f) { return f > 0; }));
}

CardListing ListCardBanks(const std::string& cardRoot) {
    CardListing listing;
    struct stat info {};
    if (cardRoot.empty() || ::stat(cardRoot.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        listing.reason = cardRoot + " is no folder";
        return listing;
    }
    listing.ok = true;
    listing.folder = BankFolderOf(cardRoot);
    listing.banks = FindBankFiles(listing.folder);
    CheckCardBanks(&listing.banks);
    for (const CardBank& bank : listing.banks) listing.bankBytes += bank.size;
    struct statvfs fs {};
    if (::statvfs(cardRoot.c_str(), &fs) == 0)
        listing.freeBytes = static_cast<std::uintmax_t>(fs.f_bavail) * fs.f_frsize;
    return listing;
}

// ---- not written yet: the writes follow ----

CardOutcome CopyCardBank(const CardPlace&, const std::string&, const std::string&, bool) {
    return {false, "not available yet", {}, {}};
}
CardOutcome RenameCardBank(const CardPlace&, const std::string&, const std::string&, bool) {
    return {false, "not available yet", {}, {}};
}
CardOutcome RemoveCardBank(const CardPlace&, const std::string&) {
    return {false, "not available yet", {}, {}};
}
std::string DefaultCardBackupsRoot() { return {}; }
CardOutcome BackUpCard(const CardPlace&, const std::string&) {
    return {false, "not available yet", {}, {}};
}
std::string NewCardBackupFolder(const std::string&, const std::string&, std::time_t) { return {}; }
std::vector<CardBackupFolder> ListCardBackups(const std::string&) { return {}; }
CardOutcome RestoreCard(const CardPlace&, const std::string&) {
    return {false, "not available yet", {}, {}};
}
bool CompareCard(const std::string&, const std::string&, std::vector<CardDifference>*,
                 std::string* reason) {
    *reason = "not available yet";
    return false;
}
