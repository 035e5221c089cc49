// Writing a bank onto a card that may fill up or be pulled: the old file at
// the path survives every failure, and no temporary file is left behind.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "voicebank/VoiceBankBuilder.h"

namespace {

// Closes a descriptor on every path.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (it can report a
    // deferred write error on some filesystems).
    [[nodiscard]] bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const uint8_t* bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t w = ::write(fd, bytes + done, length - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

bool ReadBackEquals(int fd, const uint8_t* bytes, size_t length) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) != length) return false;
    std::vector<uint8_t> chunk(1 << 16);
    size_t done = 0;
    while (done < length) {
        const size_t want = std::min(chunk.size(), length - done);
        const ssize_t r = ::pread(fd, chunk.data(), want, static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        if (std::memcmp(chunk.data(), bytes + done, static_cast<size_t>(r)) != 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

// The process umask, read without changing it (umask() would change it for
// every thread for a moment). 022 when it cannot be read.
mode_t CurrentUmask() {
    std::FILE* f = std::fopen("/proc/self/status", "re");
    if (f == nullptr) return 022;
    char line[256];
    unsigned mask = 022;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    }
    std::fclose(f);
    return static_cast<mode_t>(mask & 0777);
}

// The mode a newly created file would get: the old file's, or 0666 less the
// process umask.
mode_t TargetMode(const char* path) {
    struct stat st {};
    if (::stat(path, &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return 0666 & ~CurrentUmask();
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // Some card filesystems cannot sync a folder; the file itself is synced
    // already, so this is best effort.
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

bool WriteWholeFile(const char* path, const uint8_t* bytes, ptrdiff_t length, WriteFailure* failure,
                    const BeforeReplace& beforeReplace) {
    WriteFailure ignored;
    WriteFailure& why = failure != nullptr ? *failure : ignored;
    why = {EINVAL, std::strerror(EINVAL)};
    if (path == nullptr || *path == '\0' || bytes == nullptr || length <= 0) return false;
    const auto size = static_cast<size_t>(length);
    std::filesystem::path target(path);
    if (!target.has_filename()) return false;
    const std::string folder =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");

    // A hidden temporary name in the same folder, so the rename stays on one
    // filesystem and never replaces anything but the target.
    std::string temp;
    temp.append(folder).append("/.").append(target.filename().string()).append(".XXXXXX");
    // The folder as it is now: a failed write removes its temporary file
    // there even when the path no longer leads to it (a card unmounted
    // while open files keep it alive).
    Fd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    const auto fail = [&why](int error, std::string reason) {
        why = {error, std::move(reason)};
        return false;
    };
    const auto failErrno = [&fail] {
        const int error = errno != 0 ? errno : EIO;  // a write that stopped without a word
        return fail(error, std::strerror(error));
    };
    if (fd.get() < 0) return failErrno();

    // Card filesystems may refuse modes they cannot store; that is no reason
    // to fail the save.
    (void)::fchmod(fd.get(), TargetMode(path));
    errno = 0;
    const bool ok = (WriteAll(fd.get(), bytes, size) || failErrno()) &&
                    (::fsync(fd.get()) == 0 || failErrno()) &&
                    (ReadBackEquals(fd.get(), bytes, size) ||
                     (errno != 0 ? failErrno()
                                 : fail(0, "what was read back differs from what was written"))) &&
                    (fd.Close() || failErrno()) &&
                    (!beforeReplace || beforeReplace(&why.reason) || fail(0, why.reason)) &&
                    (::rename(temp.c_str(), path) == 0 || failErrno());
    if (!ok) {
        const std::string tempName = temp.substr(folder.size() + 1);
        if (folderFd.get() < 0 || ::unlinkat(folderFd.get(), tempName.c_str(), 0) != 0)
            ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);
    why = {};
    return true;
}
