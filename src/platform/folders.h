#pragma once

#include <string>

namespace keelpack::platform {

// The per-user folder for the settings and log files ($XDG_CONFIG_HOME, else ~/.config),
// created with mode 0700 when missing. Empty when it can be neither found nor made.
std::string AppDataFolder();

// The process's current folder; empty when it cannot be read.
std::string CurrentFolder();

}  // namespace keelpack::platform
