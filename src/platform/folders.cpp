#include "platform/folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/files.h"

namespace keelpack::platform {
namespace {

std::optional<std::string> HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return std::nullopt;
}

// XDG base directories must be absolute; a relative value is ignored, as the standard says.
std::optional<std::string> XdgFolder(const char* variable, const char* fallbackBelowHome) {
  std::string folder;
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    folder = value;
  } else if (const auto home = HomeFolder()) {
    folder = *home + fallbackBelowHome;
  } else {
    return std::nullopt;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!MakeFolders(folder, 0700)) return std::nullopt;
  return folder;
}

}  // namespace

std::optional<std::string> AppDataFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::optional<std::string> CurrentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

}  // namespace keelpack::platform
