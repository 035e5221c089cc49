#include "savedlg/VolumeSource.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

std::string ReadWholeFile(const char* path) {
    // /proc files report size 0, so read to the end instead of by size.
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::optional<std::uint64_t> FolderFilesystemSize(const std::string& mountPoint) {
    struct stat info {};
    if (::stat(mountPoint.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return std::nullopt;  // also a file bind-mounted over a file
    }
    struct statvfs fs {};
    if (::statvfs(mountPoint.c_str(), &fs) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(fs.f_blocks) * static_cast<std::uint64_t>(fs.f_frsize);
}

}  // namespace

std::vector<Volume> SystemVolumeSource::ListVolumes() const {
    const std::map<std::string, std::string> labels = ReadDiskLabels("/dev/disk/by-label");
    const auto labelOf = [&labels](const MountEntry& mount) -> std::string {
        std::error_code ec;
        const std::filesystem::path device = std::filesystem::canonical(mount.source, ec);
        if (ec) {
            return {};
        }
        const auto it = labels.find(device.string());
        return it == labels.end() ? std::string() : it->second;
    };
    return SelectVolumes(ParseMountInfo(ReadWholeFile("/proc/self/mountinfo")),
                         FolderFilesystemSize, labelOf);
}
