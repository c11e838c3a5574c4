#pragma once

#include <optional>
#include <string>

namespace keelpack::platform {

// The per-user folder for the settings and log files ($XDG_CONFIG_HOME, else ~/.config),
// created with mode 0700 when missing. Nothing when it can be neither found nor made.
std::optional<std::string> AppDataFolder();

// The process's current folder; nothing when it cannot be read.
std::optional<std::string> CurrentFolder();

}  // namespace keelpack::platform
