#pragma once

#include <string>

namespace keelpack::platform {

// Opens `path` in the desktop's default viewer for its kind (xdg-open), detached: returns at
// once, never waits for the viewer and ignores every failure to start it. The viewer is
// started even when the file does not exist; what it then shows is its own affair.
void OpenInViewer(const std::string& path);

}  // namespace keelpack::platform
