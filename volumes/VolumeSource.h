#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "volumes/VolumeList.h"

// Where the save dialog gets its volumes from. Tests give the dialog their
// own (temporary folders); the program uses SystemVolumeSource.
class VolumeSource {
public:
    VolumeSource() = default;
    VolumeSource(const VolumeSource&) = delete;
    VolumeSource& operator=(const VolumeSource&) = delete;
    virtual ~VolumeSource() = default;

    // The volumes to offer, in the order the list shows them. Never fails;
    // an empty list is allowed.
    [[nodiscard]] virtual std::vector<Volume> ListVolumes() const = 0;
};

// The mounted disk filesystems of this machine: /proc/self/mountinfo,
// statvfs for the size, /dev/disk/by-label for the labels, sysfs for
// which are removable (listed first).
class SystemVolumeSource final : public VolumeSource {
public:
    [[nodiscard]] std::vector<Volume> ListVolumes() const override;
};

// What a listed volume's root was when it was listed: the device of the
// filesystem there and, for a volume of the mount table, its mount.
struct VolumeIdentity {
    std::string root;
    std::uint64_t device = 0;
    int mountId = -1;
};

// Takes the identity of a volume's root now; false when the root is no
// folder that can be looked at (the identity then checks nothing later).
[[nodiscard]] bool TakeVolumeIdentity(const Volume& volume, VolumeIdentity* out);

// Empty when identity.root is still the same mounted filesystem it was when
// taken (the same device there and, when known, the same mount in
// /proc/self/mountinfo); else the reason, in words, that it is not (the card
// was pulled or unmounted, so its root is now a plain folder or gone).
[[nodiscard]] std::string CheckVolumeIdentity(const VolumeIdentity& identity);
