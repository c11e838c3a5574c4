#include "platform/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace keelpack::platform {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

// Creates `path` and any missing parents with `mode`; true when it exists as a folder after.
bool MakeFolders(const std::string& path, mode_t mode) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return true;
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// XDG base directories must be absolute; a relative value is ignored, as the standard says.
std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  std::string folder;
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    folder = value;
  } else if (std::string home = HomeFolder(); !home.empty()) {
    folder = home + fallbackBelowHome;
  } else {
    return {};
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return MakeFolders(folder, 0700) ? folder : std::string{};
}

}  // namespace

std::string AppDataFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace keelpack::platform
