#include "volumes/VolumeSource.h"

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

std::string ReadSysFile(const std::filesystem::path& path) {
    std::string text = ReadWholeFile(path.c_str());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// A card or stick: the disk says it is removable, or it is an SD/MMC card
// or sits on USB (card readers often report themselves as fixed), or the
// desktop mounted it where it mounts removable media.
bool IsRemovableMount(const MountEntry& mount) {
    if (mount.mountPoint.starts_with("/media/") || mount.mountPoint.starts_with("/run/media/")) {
        return true;
    }
    std::error_code ec;
    const std::filesystem::path device =
        std::filesystem::canonical("/sys/dev/block/" + mount.device, ec);
    if (ec || mount.device.empty()) {
        return false;
    }
    const std::string path = device.string();
    if (path.find("/usb") != std::string::npos ||
        device.filename().string().starts_with("mmcblk")) {
        return true;
    }
    // A partition's flag is kept by its disk.
    for (const std::filesystem::path& folder : {device, device.parent_path()}) {
        const std::string flag = ReadSysFile(folder / "removable");
        if (!flag.empty()) {
            return flag == "1";
        }
    }
    return false;
}

std::string WithoutTrailingSlash(std::string root) {
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

}  // namespace

bool TakeVolumeIdentity(const Volume& volume, VolumeIdentity* out) {
    out->root = volume.root;
    out->mountId = volume.mountId;
    struct stat info {};
    if (::stat(volume.root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        out->device = 0;
        return false;
    }
    out->device = static_cast<std::uint64_t>(info.st_dev);
    return true;
}

std::string CheckVolumeIdentity(const VolumeIdentity& identity) {
    const std::string gone =
        "the card (" + identity.root + ") is no longer there: it was removed or unmounted";
    if (identity.device == 0) {
        return {};  // nothing was there to compare with; the write says what is wrong
    }
    struct stat info {};
    if (::stat(identity.root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_dev) != identity.device) {
        return gone;
    }
    if (identity.mountId >= 0) {
        // The last mount at the root is the one seen there.
        const std::string mountPoint = WithoutTrailingSlash(identity.root);
        int seen = -1;
        for (const MountEntry& mount : ParseMountInfo(ReadWholeFile("/proc/self/mountinfo"))) {
            if (mount.mountPoint == mountPoint) {
                seen = mount.mountId;
            }
        }
        if (seen != identity.mountId) {
            return gone;
        }
    }
    return {};
}

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
                         FolderFilesystemSize, labelOf, IsRemovableMount);
}
