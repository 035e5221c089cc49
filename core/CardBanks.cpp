#include "core/CardBanks.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "convert/SoundFiles.h"
#include "core/BankBackup.h"
#include "core/BankSave.h"
#include "core/UserData.h"
#include "voicebank/BankFile.h"
#include "voicebank/BankFolder.h"
#include "voicebank/BankHead.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/WholeFileReader.h"

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
// its name, size and time, in natural order (BANK2 before BANK10); not yet
// checked.
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
              [](const CardBank& a, const CardBank& b) { return NaturalLess(a.name, b.name); });
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
void CheckCardBanks(std::vector<CardBank>* banks, const std::atomic<bool>* cancelled) {
    std::atomic<size_t> next{0};
    const auto work = [&next, banks, cancelled] {
        for (size_t i = next++; i < banks->size(); i = next++) {
            if (cancelled != nullptr && cancelled->load()) return;
            CheckCardBank(&(*banks)[i]);
        }
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

void KeepFreedBankBuffers() {
    (void)mallopt(M_MMAP_THRESHOLD, 32 << 20);
    (void)mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

int CardBank::RowsFilled() const {
    return static_cast<int>(
        std::count_if(rowFrames.begin(), rowFrames.end(), [](std::int32_t f) { return f > 0; }));
}

CardListing ListCardBanks(const std::string& cardRoot, const std::atomic<bool>* cancelled) {
    CardListing listing;
    struct stat info {};
    if (cardRoot.empty() || ::stat(cardRoot.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        listing.reason = cardRoot + " is no folder";
        return listing;
    }
    listing.ok = true;
    listing.folder = BankFolderOf(cardRoot);
    listing.banks = FindBankFiles(listing.folder);
    CheckCardBanks(&listing.banks, cancelled);
    for (const CardBank& bank : listing.banks) listing.bankBytes += bank.size;
    struct statvfs fs {};
    if (::statvfs(cardRoot.c_str(), &fs) == 0)
        listing.freeBytes = static_cast<std::uintmax_t>(fs.f_bavail) * fs.f_frsize;
    return listing;
}

namespace {

// The bank name in folder, in any letter case: NAME.glw itself when it is
// there, else the first of the card's banks whose name matches; empty when
// there is none.
std::string FindBank(const std::string& folder, const std::string& name) {
    const std::string exact = folder + '/' + name + std::string(BankFileExtension);
    struct stat info {};
    if (::lstat(exact.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return exact;
    for (const CardBank& bank : FindBankFiles(folder))
        if (SameBankName(bank.name, name)) return bank.path;
    return {};
}

// Empty when the card is still the one listed (or nothing was taken to
// check), else the reason. Asked before every write and removal.
std::string CardGone(const CardPlace& place) {
    return place.volume.root.empty() ? std::string() : CheckVolumeIdentity(place.volume);
}

bool Refuse(CardOutcome* outcome, std::string reason) {
    outcome->ok = false;
    outcome->reason = std::move(reason);
    return false;
}

// A file as it was seen: a removal goes ahead only while the file is still
// the one kept.
struct Seen {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
};

bool Look(const std::string& path, Seen* seen) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    *seen = {info.st_dev, info.st_ino, info.st_size, info.st_mtim};
    return true;
}

bool Unchanged(const std::string& path, const Seen& before) {
    Seen now;
    return Look(path, &now) && now.device == before.device && now.inode == before.inode &&
           now.size == before.size && now.modified.tv_sec == before.modified.tv_sec &&
           now.modified.tv_nsec == before.modified.tv_nsec;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    (void)::close(fd);
}

// Keeps a copy of the bank at path (core/BankBackup.h); a copy must be in
// place unless the file is empty.
bool KeepBank(const CardPlace& place, const std::string& path, CardOutcome* outcome) {
    if (place.backupsRoot.empty())
        return Refuse(outcome, "there is no data folder for this user to keep a copy in");
    std::string kept;
    std::string why;
    if (!BackUpBank(path, place.backupsRoot, place.now, &kept, &why))
        return Refuse(outcome, "no copy of " + path + " could be kept: " + why);
    if (!kept.empty()) outcome->kept.push_back(kept);
    return true;
}

// Removes the bank at path, kept before (KeepBank), once the card is still
// the one listed and the file is still the one kept.
bool RemoveKeptBank(const CardPlace& place, const std::string& path, const Seen& seen,
                    CardOutcome* outcome) {
    if (std::string gone = CardGone(place); !gone.empty()) return Refuse(outcome, gone);
    if (!Unchanged(path, seen))
        return Refuse(outcome, path + " changed while it was being kept; it stays");
    if (::unlink(path.c_str()) != 0)
        return Refuse(outcome, path + " cannot be removed: " + std::strerror(errno));
    SyncFolder(fs::path(path).parent_path().string());
    return true;
}

// The bank at path read and checked; refuses a damaged one.
bool ReadSoundBank(const std::string& path, const std::string& name, BankFile* file,
                   CardOutcome* outcome) {
    std::string why;
    if (!ReadBankFile(path, file, &why)) return Refuse(outcome, path + " cannot be read: " + why);
    if (!file->report.valid)
        return Refuse(outcome, name + " is damaged: " +
                                   (file->report.problems.empty() ? std::string("not a bank")
                                                                  : file->report.problems.front()));
    return true;
}

// The checked bank under a new stored name: the same rows, byte for byte.
bool Rename(BankFile* file, const std::string& newName, std::vector<uint8_t>* bytes,
            CardOutcome* outcome) {
    VoiceBankImage& image = *file->report.bank.image;
    if (!FillVoiceAddresses(&image, newName.c_str()) || !BuildVoiceBankFile(&image, bytes))
        return Refuse(outcome, "the bank could not be built under its new name");
    const auto area = static_cast<std::ptrdiff_t>(bank::SampleAreaOffset);
    // The rows' bytes stand after the parameter area, the same whatever the name.
    if (bytes->size() != file->bytes.size() ||
        !std::equal(bytes->begin() + area, bytes->end(), file->bytes.begin() + area) ||
        !CheckVoiceBank(bytes->data(), bytes->size()).valid)
        return Refuse(outcome, "the bank built under its new name does not hold the same rows");
    return true;
}

// Copy and rename: the new bank written as NEWNAME.glw; *source and *seen
// the bank it was made from.
bool WriteUnderNewName(const CardPlace& place, const std::string& name, const std::string& newName,
                       bool replace, bool keepSourceFirst, std::string* source, Seen* seen,
                       CardOutcome* outcome) {
    for (const std::string* n : {&name, &newName})
        if (std::string problem = BankNameProblem(*n); !problem.empty())
            return Refuse(outcome, problem);
    if (std::string gone = CardGone(place); !gone.empty()) return Refuse(outcome, gone);
    const std::string folder = BankFolderOf(place.root);
    *source = FindBank(folder, name);
    if (source->empty()) return Refuse(outcome, "there is no bank " + name + " on the card");
    if (SameBankName(name, newName))
        return Refuse(outcome, newName + " is the same bank as " + name);
    const std::string existing = FindBank(folder, newName);
    if (!existing.empty() && !replace)
        return Refuse(outcome, "the card already holds a bank " + newName);
    if (!Look(*source, seen)) return Refuse(outcome, *source + " is no longer there");
    BankFile file;
    if (!ReadSoundBank(*source, name, &file, outcome)) return false;
    std::vector<uint8_t> bytes;
    if (!Rename(&file, newName, &bytes, outcome)) return false;
    if (keepSourceFirst) {
        if (!KeepBank(place, *source, outcome)) return false;
        if (outcome->kept.empty() && seen->size > 0)
            return Refuse(outcome, "no copy of " + *source + " could be kept; it stays");
    }

    const std::string target = folder + '/' + newName + std::string(BankFileExtension);
    const BeforeReplace beforeReplace = [&](std::string* reason) {
        if (std::string gone = CardGone(place); !gone.empty()) {
            *reason = gone;
            return false;
        }
        if (!SomethingStandsAt(target)) return true;
        if (!replace) {
            *reason = "the card already holds a bank " + newName;
            return false;
        }
        CardOutcome kept;
        if (!KeepBank(place, target, &kept)) {
            *reason = kept.reason;
            return false;
        }
        outcome->kept.insert(outcome->kept.end(), kept.kept.begin(), kept.kept.end());
        return true;
    };
    if (std::string gone = CardGone(place); !gone.empty()) return Refuse(outcome, gone);
    WriteFailure failure;
    if (!WriteWholeFile(target.c_str(), bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()),
                        &failure, beforeReplace)) {
        std::string gone = CardGone(place);
        return Refuse(outcome, !gone.empty() ? gone
                                             : target + " cannot be written: " +
                                                   DescribeBankWriteFailure(target, place.root,
                                                                            bytes.size(), failure));
    }
    outcome->written.push_back(target);
    // The bank replaced under another letter case (drums.glw for DRUMS) goes
    // too, kept first; on a card that ignores case it is the new file itself.
    Seen replaced;
    Seen made;
    if (!existing.empty() && existing != target && Look(existing, &replaced) &&
        Look(target, &made) && (replaced.device != made.device || replaced.inode != made.inode)) {
        if (!KeepBank(place, existing, outcome) ||
            !RemoveKeptBank(place, existing, replaced, outcome))
            return false;
    }
    return true;
}

}  // namespace

CardOutcome CopyCardBank(const CardPlace& place, const std::string& name,
                         const std::string& newName, bool replace) {
    CardOutcome outcome;
    std::string source;
    Seen seen;
    outcome.ok = WriteUnderNewName(place, name, newName, replace, false, &source, &seen, &outcome);
    return outcome;
}

CardOutcome RenameCardBank(const CardPlace& place, const std::string& name,
                           const std::string& newName, bool replace) {
    CardOutcome outcome;
    std::string source;
    Seen seen;
    // The old bank is kept before anything is written, so a failure at any
    // later step loses nothing.
    if (!WriteUnderNewName(place, name, newName, replace, true, &source, &seen, &outcome))
        return outcome;
    outcome.ok = RemoveKeptBank(place, source, seen, &outcome);
    if (!outcome.ok)
        outcome.reason =
            "the bank is copied to " + newName + ", but " + name + " stays: " + outcome.reason;
    return outcome;
}

CardOutcome RemoveCardBank(const CardPlace& place, const std::string& name) {
    CardOutcome outcome;
    if (std::string problem = BankNameProblem(name); !problem.empty()) {
        Refuse(&outcome, problem);
        return outcome;
    }
    if (std::string gone = CardGone(place); !gone.empty()) {
        Refuse(&outcome, gone);
        return outcome;
    }
    const std::string path = FindBank(BankFolderOf(place.root), name);
    Seen seen;
    if (path.empty() || !Look(path, &seen)) {
        Refuse(&outcome, "there is no bank " + name + " on the card");
        return outcome;
    }
    if (!KeepBank(place, path, &outcome)) return outcome;
    if (outcome.kept.empty() && seen.size > 0) {
        Refuse(&outcome, "no copy of " + path + " could be kept; it stays");
        return outcome;
    }
    outcome.ok = RemoveKeptBank(place, path, seen, &outcome);
    return outcome;
}

std::string DefaultCardBackupsRoot() {
    const std::string data = UserDataFolder();
    return data.empty() ? data : data + "/card-backups";
}

namespace {

// Reads a bank file's bytes whatever the checker says of them.
bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* why) {
    switch (ReadWholeFile(path, bank::LargestBankFileRead, bytes, why)) {
    case WholeFileRead::Read: return true;
    case WholeFileRead::TooLarge: *why = "it is larger than any bank"; return false;
    case WholeFileRead::Failed: return false;
    }
    return false;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

}  // namespace

CardOutcome BackUpCard(const CardPlace& place, const std::string& folder) {
    CardOutcome outcome;
    if (std::string gone = CardGone(place); !gone.empty()) {
        Refuse(&outcome, gone);
        return outcome;
    }
    struct stat info {};
    if (::stat(place.root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        Refuse(&outcome, place.root + " is no folder");
        return outcome;
    }
    std::string why;
    if (!MakeFolderPath(folder, &why)) {
        Refuse(&outcome, "the backup folder " + folder + " cannot be made: " + why);
        return outcome;
    }
    std::vector<std::string> failed;
    for (const CardBank& bank : FindBankFiles(BankFolderOf(place.root))) {
        std::vector<uint8_t> bytes;
        const std::string copy = folder + '/' + bank.name + std::string(BankFileExtension);
        WriteFailure failure;
        std::vector<uint8_t> again;
        std::vector<uint8_t> written;
        if (!ReadBytes(bank.path, &bytes, &why)) {
            failed.push_back(bank.name + " (" + why + ")");
        } else if (!WriteWholeFile(copy.c_str(), bytes.data(),
                                   static_cast<std::ptrdiff_t>(bytes.size()), &failure)) {
            failed.push_back(bank.name + " (" + failure.reason + ")");
        } else if (!ReadBytes(bank.path, &again, &why) || !ReadBytes(copy, &written, &why) ||
                   again != bytes || written != bytes) {
            // Verified against the card as it is now: a bank that changed
            // while it was copied, or a copy that reads back otherwise.
            failed.push_back(bank.name + " (the copy differs from the card's bank)");
        } else {
            outcome.written.push_back(copy);
        }
    }
    outcome.ok = failed.empty();
    if (!outcome.ok) outcome.reason = "not backed up: " + Joined(failed);
    return outcome;
}

std::string NewCardBackupFolder(const std::string& backupsRoot, const std::string& cardLabel,
                                std::time_t now) {
    std::string label;
    for (char c : cardLabel) label += c == '/' || static_cast<unsigned char>(c) < 0x20 ? '_' : c;
    if (label.empty() || label == "." || label == "..") label = "card";
    std::tm utc{};
    (void)gmtime_r(&now, &utc);
    char stamp[32];
    if (std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc) == 0) stamp[0] = '\0';
    const std::string base = backupsRoot + '/' + label + '-' + stamp;
    std::string path = base;
    for (int n = 2; SomethingStandsAt(path); ++n) path = base + '-' + std::to_string(n);
    return path;
}

std::vector<CardBackupFolder> ListCardBackups(const std::string& backupsRoot) {
    struct Found {
        CardBackupFolder folder;
        fs::file_time_type written;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (fs::directory_iterator it(backupsRoot, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->symlink_status(typeError).type() != fs::file_type::directory) continue;
        Found f;
        f.folder.path = it->path().string();
        f.folder.name = it->path().filename().string();
        f.folder.banks = static_cast<int>(FindBankFiles(f.folder.path).size());
        f.written = fs::last_write_time(it->path(), typeError);
        found.push_back(std::move(f));
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.written != b.written ? a.written > b.written : a.folder.name > b.folder.name;
    });
    std::vector<CardBackupFolder> folders;
    for (Found& f : found) folders.push_back(std::move(f.folder));
    return folders;
}

CardOutcome RestoreCard(const CardPlace& place, const std::string& folder) {
    CardOutcome outcome;
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        Refuse(&outcome, folder + " is no folder");
        return outcome;
    }
    const std::string cardFolder = BankFolderOf(place.root);
    std::vector<std::string> skipped;
    for (const CardBank& backup : FindBankFiles(folder)) {
        BankFile file;
        std::string why;
        if (!ReadBankFile(backup.path, &file, &why)) {
            skipped.push_back(backup.name + " (cannot be read: " + why + ")");
            continue;
        }
        std::string target = FindBank(cardFolder, backup.name);
        if (target.empty())
            target = cardFolder + '/' + backup.name + std::string(BankFileExtension);
        // A bank already as the backup holds it (a damaged one too) is left
        // alone: no write, no copy.
        std::vector<uint8_t> onCard;
        if (!file.tooLarge && SomethingStandsAt(target) && ReadBytes(target, &onCard, &why) &&
            onCard == file.bytes)
            continue;
        if (!file.report.valid) {
            skipped.push_back(backup.name + " (damaged: " +
                              (file.report.problems.empty() ? std::string("not a bank")
                                                            : file.report.problems.front()) +
                              ")");
            continue;
        }
        // Asked last before anything is made or written, so a card pulled
        // while the backup's bank was read gets no folder made in its place.
        if (std::string gone = CardGone(place); !gone.empty()) {
            Refuse(&outcome, gone);
            return outcome;
        }
        if (!EnsureBankFolder(cardFolder, nullptr, &why)) {
            Refuse(&outcome, why);
            return outcome;
        }
        const BeforeReplace beforeReplace = [&](std::string* reason) {
            if (std::string gone = CardGone(place); !gone.empty()) {
                *reason = gone;
                return false;
            }
            if (!SomethingStandsAt(target)) return true;
            CardOutcome kept;
            if (!KeepBank(place, target, &kept)) {
                *reason = kept.reason;
                return false;
            }
            outcome.kept.insert(outcome.kept.end(), kept.kept.begin(), kept.kept.end());
            return true;
        };
        WriteFailure failure;
        if (!WriteWholeFile(target.c_str(), file.bytes.data(),
                            static_cast<std::ptrdiff_t>(file.bytes.size()), &failure,
                            beforeReplace)) {
            std::string gone = CardGone(place);
            Refuse(&outcome, !gone.empty()
                                 ? gone
                                 : target + " cannot be written: " +
                                       DescribeBankWriteFailure(target, place.root,
                                                                file.bytes.size(), failure));
            return outcome;
        }
        outcome.written.push_back(target);
    }
    outcome.ok = skipped.empty();
    if (!outcome.ok) outcome.reason = "not restored: " + Joined(skipped);
    return outcome;
}

namespace {

// The rows whose shape or samples differ between two checked banks.
std::vector<int> DifferentRows(const DecodedVoiceBank& a, const DecodedVoiceBank& b) {
    std::vector<int> rows;
    for (size_t i = 0; i < VoiceSlotCount; ++i) {
        const AudioData& x = a.image->voices[i];
        const AudioData& y = b.image->voices[i];
        const auto frames = static_cast<size_t>(std::max(x.frames, 0));
        bool same = x.channels == y.channels && x.frames == y.frames;
        if (same && x.channels != 0)
            same = std::equal(x.left, x.left + frames, y.left) &&
                   (x.channels != 2 || std::equal(x.right, x.right + frames, y.right));
        if (!same) rows.push_back(static_cast<int>(i) + 1);
    }
    return rows;
}

}  // namespace

bool CompareCard(const std::string& cardRoot, const std::string& folder,
                 std::vector<CardDifference>* differences, std::string* reason) {
    differences->clear();
    struct stat info {};
    for (const std::string* f : {&cardRoot, &folder}) {
        if (::stat(f->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            *reason = *f + " is no folder";
            return false;
        }
    }
    const std::vector<CardBank> card = FindBankFiles(BankFolderOf(cardRoot));
    const std::vector<CardBank> backup = FindBankFiles(folder);
    size_t i = 0;
    size_t j = 0;
    while (i < card.size() || j < backup.size()) {
        if (j == backup.size() || (i < card.size() && NaturalLess(card[i].name, backup[j].name))) {
            differences->push_back({CardDifference::Kind::New, card[i++].name, {}});
            continue;
        }
        if (i == card.size() || NaturalLess(backup[j].name, card[i].name)) {
            differences->push_back({CardDifference::Kind::Gone, backup[j++].name, {}});
            continue;
        }
        const CardBank& a = card[i++];
        const CardBank& b = backup[j++];
        std::vector<uint8_t> x;
        std::vector<uint8_t> y;
        std::string why;
        const bool readA = ReadBytes(a.path, &x, &why);
        const bool readB = ReadBytes(b.path, &y, &why);
        if (readA && readB && x == y) continue;
        CardDifference difference{CardDifference::Kind::Changed, a.name, {}};
        if (readA && readB) {
            const VoiceBankReport ra = CheckVoiceBank(x.data(), x.size());
            const VoiceBankReport rb = CheckVoiceBank(y.data(), y.size());
            // A damaged bank on either side: changed, with no rows named.
            if (ra.valid && rb.valid) difference.rows = DifferentRows(ra.bank, rb.bank);
        }
        differences->push_back(std::move(difference));
    }
    reason->clear();
    return true;
}
