#include "volumes/VolumeList.h"
#include "volumes/VolumeSource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "SoundFileWriter.h"

namespace {

std::vector<std::string> Roots(const std::vector<Volume>& volumes) {
    std::vector<std::string> roots;
    for (const Volume& v : volumes) {
        roots.push_back(v.root);
    }
    return roots;
}

TEST(MountInfo, ParsesFieldsEscapesAndOptionalTags) {
    const std::string table =
        "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "88 27 8:17 / /media/ana/MY\\040CARD rw,nosuid shared:50 master:3 - vfat /dev/sdb1 rw\n"
        "garbage line\n"
        "\n"
        "90 27 0:50 / /short rw -\n"
        "91 27 8:18 / /tab\\011and\\134slash rw - exfat /dev/sdc1 rw";
    const std::vector<MountEntry> mounts = ParseMountInfo(table);
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[0].source, "/dev/vda");
    EXPECT_EQ(mounts[1].mountPoint, "/media/ana/MY CARD");
    EXPECT_EQ(mounts[1].fsType, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].mountPoint, "/tab\tand\\slash");
    EXPECT_EQ(DecodeMountField("a\\04b\\9999\\"), "a\\04b\\9999\\");
}

TEST(MountInfo, OffersDiskFilesystemsWithASizeOrderedByMountPoint) {
    const std::string table =
        "1 0 0:1 / /tmp rw - tmpfs tmpfs rw\n"
        "2 0 8:1 / /media/ana/CARD rw - vfat /dev/sdb1 rw\n"
        "3 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
        "4 0 8:3 / /media/ana/STICK rw - exfat /dev/sdc1 rw\n"
        "5 0 8:4 / /home rw - btrfs /dev/sda3 rw\n"
        "6 0 0:2 / /net/share rw - nfs server:/export rw\n"
        "7 0 0:3 / /mnt/win rw - cifs //host/share rw\n"
        "8 0 11:0 / /media/cdrom rw - iso9660 /dev/sr0 ro\n"
        "9 0 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
        "10 0 0:4 / /var/lib/docker/x rw - overlay overlay rw\n"
        "11 0 8:5 / /media/ana/EMPTY rw - vfat /dev/sdd1 rw\n"
        "12 0 8:6 / /media/ana/GONE rw - ext4 /dev/sde1 rw\n"
        "13 0 0:5 / /proc rw - proc proc rw\n"
        "14 0 0:6 / /mnt/win2 rw - ntfs3 /dev/sdf1 rw\n"
        "15 0 8:7 / /mnt/odd rw - ext4 /not/dev rw\n";
    std::set<std::string> asked;
    const auto size = [&asked](const std::string& mountPoint) -> std::optional<std::uint64_t> {
        asked.insert(mountPoint);
        if (mountPoint == "/media/ana/EMPTY") {
            return 0;  // a reader without a card
        }
        if (mountPoint == "/media/ana/GONE") {
            return std::nullopt;
        }
        return 1 << 20;
    };
    const auto label = [](const MountEntry& m) -> std::string {
        return m.source == "/dev/sdb1" ? "VOICES" : "";
    };
    const std::vector<Volume> volumes = SelectVolumes(ParseMountInfo(table), size, label);

    EXPECT_EQ(Roots(volumes), (std::vector<std::string>{"/", "/home/", "/media/ana/CARD/",
                                                        "/media/ana/STICK/", "/mnt/win2/"}));
    ASSERT_EQ(volumes.size(), 5u);
    EXPECT_EQ(volumes[0].displayName, "/ (/)");
    EXPECT_EQ(volumes[2].displayName, "VOICES (/media/ana/CARD)");
    EXPECT_EQ(volumes[3].displayName, "STICK (/media/ana/STICK)");
    // A hung network mount would block the dialog: only disks are asked.
    EXPECT_EQ(asked.count("/net/share") + asked.count("/mnt/win") + asked.count("/tmp") +
                  asked.count("/proc") + asked.count("/media/cdrom"),
              0u);
}

TEST(MountInfo, LastMountAtAMountPointWins) {
    const auto size = [](const std::string&) -> std::optional<std::uint64_t> { return 1; };
    const auto noLabel = [](const MountEntry&) { return std::string(); };
    const std::vector<MountEntry> hidden = {{"/mnt/a", "ext4", "/dev/sda1"},
                                            {"/mnt/a", "tmpfs", "tmpfs"}};
    EXPECT_TRUE(SelectVolumes(hidden, size, noLabel).empty());
    const std::vector<MountEntry> remounted = {{"/mnt/a", "tmpfs", "tmpfs"},
                                               {"/mnt/a", "ext4", "/dev/sda1"}};
    EXPECT_EQ(Roots(SelectVolumes(remounted, size, noLabel)), std::vector<std::string>{"/mnt/a/"});
}

TEST(DiskLabels, DecodesUdevEscapesAndMapsDevices) {
    EXPECT_EQ(DecodeUdevName("MY\\x20CARD\\x2f2"), "MY CARD/2");
    EXPECT_EQ(DecodeUdevName("A\\xZZ\\x4"), "A\\xZZ\\x4");

    testsupport::TempDir dir;
    const std::filesystem::path device = dir.file("sdb1");
    std::ofstream(device).put('x');
    std::filesystem::create_directory(dir.file("by-label"));
    std::filesystem::create_symlink(device, dir.file("by-label/MY\\x20CARD"));
    std::filesystem::create_symlink(dir.file("missing"), dir.file("by-label/DANGLING"));
    const auto labels = ReadDiskLabels(dir.file("by-label"));
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels.at(std::filesystem::canonical(device).string()), "MY CARD");
    EXPECT_TRUE(ReadDiskLabels(dir.file("nowhere")).empty());
}

TEST(DiskLabels, SystemListIsOrderedAndEveryRootEndsWithSlash) {
    const std::vector<Volume> volumes = SystemVolumeSource().ListVolumes();
    std::pair<bool, std::string> previous;  // fixed, mount point: cards first
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const std::string& root = volumes[i].root;
        ASSERT_TRUE(root.ends_with('/')) << root;
        EXPECT_TRUE(std::filesystem::is_directory(root)) << root;
        const std::pair<bool, std::string> key{!volumes[i].removable,
                                               root.substr(0, root.size() - 1)};  // "/" gives ""
        if (i > 0) {
            EXPECT_LT(previous, key);
        }
        previous = key;
    }
}

TEST(MountInfo, RemovableVolumesComeFirst) {
    const std::vector<MountEntry> mounts = ParseMountInfo(
        "20 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "21 20 179:1 / /mnt/card rw - vfat /dev/mmcblk0p1 rw\n"
        "22 20 8:2 / /home rw - ext4 /dev/sda2 rw\n");
    const auto size = [](const std::string&) { return std::optional<std::uint64_t>(1); };
    const auto noLabel = [](const MountEntry&) { return std::string(); };
    const std::vector<Volume> volumes = SelectVolumes(
        mounts, size, noLabel, [](const MountEntry& m) { return m.device == "179:1"; });
    EXPECT_EQ(Roots(volumes), (std::vector<std::string>{"/mnt/card/", "/", "/home/"}));
    EXPECT_EQ(volumes[0].mountId, 21);
}

}  // namespace
