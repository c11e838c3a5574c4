#include "jobs/path_utils.h"

#include "platform/files.h"

namespace keelpack {

std::string AddTrailingSeparator(const std::string& path) {
  if (!path.empty() && IsSeparator(path.back())) return path;
  return path + "/";
}

void CollapseSeparators(std::string& path) {
  std::string result;
  result.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    // The first two characters always stay, so that a leading "//" survives.
    if (i >= 2 && IsSeparator(path[i]) && !result.empty() && IsSeparator(result.back())) continue;
    result.push_back(path[i]);
  }
  path = std::move(result);
}

void StripTrailingSeparator(std::string& path) {
  if (!path.empty() && path.back() == '/') path.pop_back();
}

Status CreateFolderPath(std::string& path) {
  CollapseSeparators(path);
  return platform::MakeFolders(path);
}

}  // namespace keelpack
