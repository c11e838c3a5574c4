#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keelpack::platform {

// The file-name patterns of the JPEG names the program works on.
inline constexpr std::string_view kJpegPatterns = "*.jpg;*.jpeg;*.jpe;*.jfi;*.jif";

// True when `name` matches one of the ";"-separated patterns ("*" any run, "?" any one
// character), compared without regard to letter case.
bool MatchesPatterns(std::string_view name, std::string_view patterns);

// The subfolders of `folder` as full paths ("folder/name"), in name order. Hidden folders
// (names beginning with ".") and links to folders are left out, so that a walk over a tree
// never loops and never leaves it. Nothing when the folder cannot be read.
std::optional<std::vector<std::string>> ListSubfolders(const std::string& folder);

// The names of the regular files in `folder` that match `patterns`, in name order, hidden
// files included; links and special files (pipes, devices) are left out.
std::optional<std::vector<std::string>> ListFiles(const std::string& folder,
                                                  std::string_view patterns = kJpegPatterns);

// Name order: without regard to letter case first, then byte by byte, so that it is stable.
bool NameLess(std::string_view a, std::string_view b);

}  // namespace keelpack::platform
