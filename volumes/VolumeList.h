#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which mounted filesystems a voice bank may be saved to, worked out from
// the text of a mount table so it can be checked without real mounts.

// One mount of /proc/self/mountinfo, its escapes decoded.
struct MountEntry {
    std::string mountPoint;
    std::string fsType;
    std::string source;
    int mountId = -1;
    std::string device{};  // "major:minor"
};

// A volume offered by the save dialog.
struct Volume {
    std::string root;         // the mount point, always ending in '/'
    std::string displayName;  // "LABEL (/media/ana/CARD)"
    int mountId = -1;         // in the mount table; -1 when not from one
    bool removable = false;   // a card or stick rather than a fixed disk
};

// Decodes the octal escapes (\040 space, \011 tab, \012 newline, \134
// backslash) the kernel writes into mount table fields. A backslash not
// followed by three octal digits stays as it is.
[[nodiscard]] std::string DecodeMountField(std::string_view field);

// Parses the text of /proc/self/mountinfo, line by line, in the table's
// order. Lines without the fields a mount needs are skipped.
[[nodiscard]] std::vector<MountEntry> ParseMountInfo(std::string_view text);

// True for a disk filesystem on a block device (ext4, vfat, exfat, btrfs,
// ntfs, ...), fixed or removable alike; false for optical, network, RAM,
// pseudo and image filesystems and for a source outside /dev.
[[nodiscard]] bool IsDiskFilesystem(const MountEntry& entry);

// Total size in bytes of the filesystem mounted at a folder; nullopt when
// the query fails or the mount point is not a folder.
using VolumeSizeQuery = std::function<std::optional<std::uint64_t>(const std::string& mountPoint)>;
// The filesystem label of a mount; empty when it has none.
using VolumeLabelQuery = std::function<std::string(const MountEntry& mount)>;

// Whether a mount's filesystem lives on removable media (a card, a stick).
using VolumeRemovableQuery = std::function<bool(const MountEntry& mount)>;

// The volumes among mounts, removable ones first (when isRemovable is
// given), each group ordered by mount point: disk filesystems only,
// and of those only the ones whose size query succeeds with a size above
// zero (a reader without a medium). A mount point mounted over again counts
// once, as its last mount. Sizes and labels are asked only of disk
// filesystems, so a stale network mount is never touched.
[[nodiscard]] std::vector<Volume> SelectVolumes(const std::vector<MountEntry>& mounts,
                                                const VolumeSizeQuery& totalBytes,
                                                const VolumeLabelQuery& labelOf,
                                                const VolumeRemovableQuery& isRemovable = {});

// Decodes the \xHH escapes udev uses in /dev/disk/by-label link names.
[[nodiscard]] std::string DecodeUdevName(std::string_view name);

// Reads a folder of label links (normally /dev/disk/by-label) into a map
// from the canonical device path to its label. A missing folder gives an
// empty map.
[[nodiscard]] std::map<std::string, std::string> ReadDiskLabels(const std::string& folder);
