#include "platform/listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/text.h"

namespace keelpack::platform {
namespace {

bool Matches(std::string_view name, std::string_view pattern) {
  // Classic wildcard matching with one backtrack point for the last "*".
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || EqualIgnoringCase(pattern[p], name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

enum class Kind { kFolder, kRegularFile, kOther };

// The entry's own kind: links are "other", whatever they point at.
Kind KindOf(int folderFd, const dirent* entry) {
  switch (entry->d_type) {
    case DT_DIR:
      return Kind::kFolder;
    case DT_REG:
      return Kind::kRegularFile;
    case DT_UNKNOWN:
      break;
    default:
      return Kind::kOther;
  }
  struct stat info {};
  if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return Kind::kOther;
  if (S_ISDIR(info.st_mode)) return Kind::kFolder;
  if (S_ISREG(info.st_mode)) return Kind::kRegularFile;
  return Kind::kOther;
}

template <typename Keep>
std::optional<std::vector<std::string>> List(const std::string& folder, Keep keep) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (keep(name, KindOf(::dirfd(dir.get()), entry))) names.emplace_back(name);
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

}  // namespace

bool MatchesPatterns(std::string_view name, std::string_view patterns) {
  while (!patterns.empty()) {
    const size_t end = std::min(patterns.find(';'), patterns.size());
    if (Matches(name, patterns.substr(0, end))) return true;
    patterns.remove_prefix(std::min(end + 1, patterns.size()));
  }
  return false;
}

bool NameLess(std::string_view a, std::string_view b) {
  const auto folded =
      std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                   [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
  const auto foldedReverse =
      std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                   [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
  if (folded != foldedReverse) return folded;
  return a < b;
}

std::optional<std::vector<std::string>> ListSubfolders(const std::string& folder) {
  auto names = List(folder, [](std::string_view name, Kind kind) {
    return kind == Kind::kFolder && name.front() != '.';
  });
  if (!names) return std::nullopt;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (std::string& name : *names) name = prefix + name;
  return names;
}

std::optional<std::vector<std::string>> ListFiles(const std::string& folder,
                                                  std::string_view patterns) {
  return List(folder, [patterns](std::string_view name, Kind kind) {
    return kind == Kind::kRegularFile && MatchesPatterns(name, patterns);
  });
}

}  // namespace keelpack::platform
