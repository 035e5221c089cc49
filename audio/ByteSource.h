#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A seekable run of bytes the reader parses. Keeping the reader on this small
// interface lets tests and fuzzers feed it memory instead of files.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Copies up to n bytes at the current position into dst and advances.
    // Returns the number of bytes copied; fewer than n means the end (or an
    // I/O error) was reached.
    [[nodiscard]] virtual size_t Read(void* dst, size_t n) = 0;

    // Moves the position to an absolute offset. Returns false, without
    // moving, for an offset beyond the end.
    [[nodiscard]] virtual bool SeekTo(uint64_t offset) = 0;

    [[nodiscard]] virtual uint64_t Position() const = 0;
    [[nodiscard]] virtual uint64_t Size() const = 0;

    // Advances by n bytes. Returns false, without moving, when that would
    // pass the end.
    [[nodiscard]] bool Skip(uint64_t n);

    // Reads one byte without consuming it. Returns -1 at the end.
    [[nodiscard]] int Peek();
};

// A regular file opened read-only. Anything that is not a regular file
// (a directory, a FIFO, a device) reads as empty, so it is never waited on.
class FileSource final : public ByteSource {
public:
    // Opens path. Returns null when the file cannot be opened.
    [[nodiscard]] static std::unique_ptr<FileSource> Open(const char* path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    [[nodiscard]] size_t Read(void* dst, size_t n) override;
    [[nodiscard]] bool SeekTo(uint64_t offset) override;
    [[nodiscard]] uint64_t Position() const override { return pos_; }
    [[nodiscard]] uint64_t Size() const override { return size_; }

private:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    uint64_t size_;
    uint64_t pos_ = 0;
};
