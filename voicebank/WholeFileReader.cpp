#include "voicebank/WholeFileReader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

WholeFileRead ReadWholeFile(const std::string& path, uintmax_t maxBytes,
                            std::vector<uint8_t>* bytes, std::string* why) {
    bytes->clear();
    // Opened first, so the size is that of the file being read.
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        *why = std::strerror(errno != 0 ? errno : ENOENT);
        return WholeFileRead::Failed;
    }
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        *why = ec.message();
        return WholeFileRead::Failed;
    }
    if (size > maxBytes) return WholeFileRead::TooLarge;
    try {
        bytes->resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        *why = "not enough memory";
        return WholeFileRead::Failed;
    }
    in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(size));
    if (static_cast<uintmax_t>(in.gcount()) != size) {
        bytes->clear();
        *why = "the read ended early";
        return WholeFileRead::Failed;
    }
    return WholeFileRead::Read;
}
