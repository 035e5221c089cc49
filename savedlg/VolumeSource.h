#pragma once

#include <vector>

#include "savedlg/VolumeList.h"

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
// statvfs for the size, /dev/disk/by-label for the labels.
class SystemVolumeSource final : public VolumeSource {
public:
    [[nodiscard]] std::vector<Volume> ListVolumes() const override;
};
