#pragma once

#include <optional>
#include <string>

#include "settings/option_set.h"

namespace keelpack {

// keelpack.ini in the application-data folder; nothing when there is no such folder.
std::optional<std::string> SettingsFilePath();

// What a settings file sets, on top of the options it started from.
struct LoadedSettings {
  OptionSet options;
  // A `log` value above 0 ticks the log box; only the exact texts "1", "2" and "3" also choose
  // a level (the others leave the level where it was).
  bool logTicked = false;
  std::optional<int> logLevel;
};

// Reads `path` line by line: "key=value", keys compared in lower case, blanks around both
// trimmed; unknown keys, lines without "=" and values out of range are skipped. A missing or
// unreadable file, or no path, changes nothing.
LoadedSettings LoadSettings(const std::optional<std::string>& path, const OptionSet& start);

// Writes the eighteen lines, CR LF ended, with `logLevel` as the Log value. Failures are
// silent: false tells the caller, who may ignore it. No path, or an empty one, writes nothing.
bool SaveSettings(const std::optional<std::string>& path, const OptionSet& options, int logLevel);

}  // namespace keelpack
