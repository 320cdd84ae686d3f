#pragma once
// Removable media the user carries a recording away on (an SD card, a USB stick), found in the
// mounts table where the desktop mounts them: /media/USER/LABEL or /run/media/USER/LABEL.

#include <optional>
#include <string>
#include <vector>

namespace quorvex {

struct Mount {
    std::string device;  // "/dev/sdb1"
    std::string folder;  // where it is mounted, escapes decoded
    std::string type;    // "vfat", "exfat", ...
};

// The lines of a mounts table in the format of /proc/self/mounts, the octal escapes of names
// ("\040" for a space) decoded. Lines that are not mounts are passed over.
std::vector<Mount> ParseMounts(const std::string& table);
// The mounts of devices under /media/USER, /run/media/USER or /media itself (a folder directly
// below it), in the table's order: where desktops and usbmount put removable media.
std::vector<Mount> RemovableMounts(const std::vector<Mount>& mounts, const std::string& user);
// The removable mounts of this system for the user running the program, read from
// /proc/self/mounts.
std::vector<Mount> CurrentRemovableMounts();
// The mount among `mounts` that holds `path` (the deepest one), or nothing.
std::optional<Mount> MountHolding(const std::vector<Mount>& mounts, const std::string& path);
// The medium's name as the user knows it: the last part of its folder ("CARD").
std::string MediumName(const Mount& mount);

}  // namespace quorvex
