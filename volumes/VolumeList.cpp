#include "volumes/VolumeList.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        if (end > pos) {
            fields.push_back(line.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return fields;
}

// Filesystems that live on a disk partition or a whole disk. Optical media
// (iso9660, udf) are left out on purpose: a bank cannot be written there.
constexpr std::array<std::string_view, 17> DiskFilesystems{
    "btrfs", "exfat", "ext2",   "ext3", "ext4",  "f2fs",     "fuseblk", "hfs", "hfsplus",
    "jfs",   "msdos", "nilfs2", "ntfs", "ntfs3", "reiserfs", "vfat",    "xfs",
};

std::string LastComponent(const std::string& mountPoint) {
    std::string_view path = mountPoint;
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const std::size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return std::string(last.empty() ? path : last);  // "/" names itself
}

}  // namespace

std::string DecodeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
            IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(static_cast<unsigned char>(value & 0xFF)));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::vector<MountEntry> mounts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::vector<std::string_view> fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;
        const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3) {
            continue;
        }
        MountEntry entry{DecodeMountField(fields[4]), DecodeMountField(dash[1]),
                         DecodeMountField(dash[2]), -1, std::string(fields[2])};
        int id = 0;
        if (std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), id).ec ==
            std::errc()) {
            entry.mountId = id;
        }
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

bool IsDiskFilesystem(const MountEntry& entry) {
    return entry.source.starts_with("/dev/") &&
           std::find(DiskFilesystems.begin(), DiskFilesystems.end(), entry.fsType) !=
               DiskFilesystems.end();
}

std::vector<Volume> SelectVolumes(const std::vector<MountEntry>& mounts,
                                  const VolumeSizeQuery& totalBytes,
                                  const VolumeLabelQuery& labelOf,
                                  const VolumeRemovableQuery& isRemovable) {
    // The last mount at a mount point hides the earlier ones.
    std::map<std::string, const MountEntry*> visible;
    for (const MountEntry& mount : mounts) {
        visible[mount.mountPoint] = &mount;
    }
    std::vector<Volume> volumes;  // the map keeps them ordered by mount point
    for (const auto& [mountPoint, mount] : visible) {
        if (!IsDiskFilesystem(*mount)) {
            continue;
        }
        const std::optional<std::uint64_t> size = totalBytes(mountPoint);
        if (!size || *size == 0) {
            continue;
        }
        std::string label = labelOf(*mount);
        if (label.empty()) {
            label = LastComponent(mountPoint);
        }
        std::string root = mountPoint;
        if (!root.ends_with('/')) {
            root.push_back('/');
        }
        volumes.push_back({std::move(root), label + " (" + mountPoint + ")", mount->mountId,
                           isRemovable && isRemovable(*mount)});
    }
    // Cards first: a first save preselects item 0.
    std::stable_partition(volumes.begin(), volumes.end(),
                          [](const Volume& volume) { return volume.removable; });
    return volumes;
}

std::string DecodeUdevName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            HexValue(name[i + 2]) >= 0 && HexValue(name[i + 3]) >= 0) {
            out.push_back(static_cast<char>(
                static_cast<unsigned char>(HexValue(name[i + 2]) * 16 + HexValue(name[i + 3]))));
            i += 3;
        } else {
            out.push_back(name[i]);
        }
    }
    return out;
}

std::map<std::string, std::string> ReadDiskLabels(const std::string& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> labels;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path device = fs::canonical(it->path(), linkError);
        if (!linkError) {
            labels[device.string()] = DecodeUdevName(it->path().filename().string());
        }
    }
    return labels;
}
