#include "platform/mounts.h"

#include <mntent.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"

namespace keelpack::platform {
namespace {

// File systems that never hold user files: kernel interfaces and memory-backed ones.
constexpr std::string_view kPseudoTypes[] = {
    "proc",        "sysfs",    "devtmpfs",    "devpts",     "tmpfs",
    "ramfs",       "cgroup",   "cgroup2",     "securityfs", "debugfs",
    "tracefs",     "configfs", "fusectl",     "mqueue",     "hugetlbfs",
    "pstore",      "bpf",      "binfmt_misc", "autofs",     "efivarfs",
    "rpc_pipefs",  "nsfs",     "selinuxfs",   "squashfs",   "fuse.gvfsd-fuse",
    "fuse.portal", "nfsd"};

// System folders whose mounts are the system's business, not the user's.
constexpr std::string_view kSystemFolders[] = {"/proc", "/sys", "/dev", "/run"};
constexpr std::string_view kRemovableMedia = "/run/media";

bool IsBelow(std::string_view path, std::string_view folder) {
  return path == folder ||
         (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

bool OffersUserFiles(std::string_view path, std::string_view type) {
  if (std::ranges::find(kPseudoTypes, type) != std::end(kPseudoTypes)) return false;
  if (IsBelow(path, kRemovableMedia)) return true;
  return std::ranges::none_of(kSystemFolders,
                              [path](std::string_view folder) { return IsBelow(path, folder); });
}

// Volume labels by device, from the links in /dev/disk/by-label (absent in containers).
std::map<std::string, std::string> LabelsByDevice() {
  std::map<std::string, std::string> labels;
  std::error_code error;
  for (const auto& link : std::filesystem::directory_iterator("/dev/disk/by-label", error)) {
    std::error_code ignored;
    const auto device = std::filesystem::canonical(link.path(), ignored);
    if (!ignored) labels[device.string()] = link.path().filename().string();
  }
  return labels;
}

// by-label names escape blanks, slashes and other bytes as \xHH.
std::string Unescape(const std::string& name) {
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto byte = name.compare(i, 2, "\\x") == 0 && i + 4 <= name.size()
                          ? ParseNumber<unsigned>(std::string_view(name).substr(i + 2, 2), 16)
                          : std::nullopt;
    if (byte) {
      plain += static_cast<char>(*byte);
      i += 3;
    } else {
      plain += name[i];
    }
  }
  return plain;
}

std::string LabelOf(const std::string& source, const std::map<std::string, std::string>& labels) {
  if (!source.starts_with("/dev/")) return {};
  std::error_code error;
  const auto device = std::filesystem::canonical(source, error);
  if (!error) {
    if (auto found = labels.find(device.string()); found != labels.end()) {
      return Unescape(found->second);
    }
  }
  return source.substr(source.rfind('/') + 1);
}

}  // namespace

std::vector<MountPoint> MountPoints(const std::string& table) {
  std::vector<MountPoint> mounts{{"/", ""}};
  std::unique_ptr<FILE, int (*)(FILE*)> file(::setmntent(table.c_str(), "r"), ::endmntent);
  if (!file) return mounts;
  const auto labels = LabelsByDevice();
  mntent entry{};
  std::array<char, 4096> buffer{};
  while (::getmntent_r(file.get(), &entry, buffer.data(), static_cast<int>(buffer.size()))) {
    const std::string path = entry.mnt_dir;
    if (!OffersUserFiles(path, entry.mnt_type)) continue;
    MountPoint mount{path, LabelOf(entry.mnt_fsname, labels)};
    auto same = std::find_if(mounts.begin(), mounts.end(),
                             [&path](const MountPoint& m) { return m.path == path; });
    if (same != mounts.end()) {
      *same = mount;  // mounted over: the newer mount is the one that shows
    } else if (IsFolder(path)) {
      mounts.push_back(mount);
    }
  }
  return mounts;
}

int MountPointOf(const std::vector<MountPoint>& mounts, const std::string& folder) {
  int best = -1;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const std::string& path = mounts[i].path;
    const bool holds = path == "/" ? folder.starts_with("/") : IsBelow(folder, path);
    if (holds && (best < 0 || path.size() > mounts[best].path.size())) best = static_cast<int>(i);
  }
  return best;
}

}  // namespace keelpack::platform
