#include "audio/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

bool ByteSource::Skip(uint64_t n) {
    const uint64_t pos = Position();
    if (n > Size() - pos) return false;
    return SeekTo(pos + n);
}

int ByteSource::Peek() {
    uint8_t b = 0;
    const uint64_t pos = Position();
    if (Read(&b, 1) != 1) return -1;
    (void)SeekTo(pos);
    return b;
}

std::unique_ptr<FileSource> FileSource::Open(const char* path) {
    if (path == nullptr) return nullptr;
    // O_NONBLOCK keeps a FIFO from blocking the open; such files read as
    // empty below.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st {};
    uint64_t size = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        size = static_cast<uint64_t>(st.st_size);
    std::unique_ptr<FileSource> source(new (std::nothrow) FileSource(fd, size));
    if (!source) ::close(fd);
    return source;
}

FileSource::~FileSource() { ::close(fd_); }

size_t FileSource::Read(void* dst, size_t n) {
    // Never read past the size seen at open: a file that grows meanwhile
    // must not change what was checked against that size.
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos_));
    auto* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(pos_ + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    pos_ += done;
    return done;
}

bool FileSource::SeekTo(uint64_t offset) {
    if (offset > size_) return false;
    pos_ = offset;
    return true;
}
