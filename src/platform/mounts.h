#pragma once

#include <string>
#include <vector>

namespace keelpack::platform {

// A mounted file system that can hold the user's files: what the drive list offers.
struct MountPoint {
  std::string path;   // where it is mounted ("/", "/home", "/media/usb")
  std::string label;  // the volume label when it has one, else the device's name; may be empty
};

// The mounted file systems from a mount table in the format of /proc/self/mounts, in the
// table's order with "/" always first. Pseudo and memory file systems (proc, sysfs, cgroup,
// tmpfs, ...), everything below /proc, /sys, /dev and /run (except removable media under
// /run/media), and mounts that are not folders are left out. When a mount point is mounted
// over, only the last mount counts. A table that cannot be read gives "/" alone.
std::vector<MountPoint> MountPoints(const std::string& table = "/proc/self/mounts");

// The index of the mount point that holds `folder`: the longest mount path that is `folder`
// itself or one of its parent folders. -1 when none does (a relative path).
int MountPointOf(const std::vector<MountPoint>& mounts, const std::string& folder);

}  // namespace keelpack::platform
