#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/log_sink.h"
#include "support/jpeg_builder.h"

namespace keelpack::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() : path_((std::filesystem::temp_directory_path() / "keelpack-test-XXXXXX").string()) {
    if (mkdtemp(path_.data()) == nullptr)
      throw std::runtime_error("cannot make a temporary folder");
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable for the life of the object.
struct ScopedEnv {
  ScopedEnv(const char* variable, const std::string& value) : name(variable) {
    if (const char* was = std::getenv(variable)) old = was;
    setenv(variable, value.c_str(), 1);
  }
  ~ScopedEnv() { old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str()); }

  std::string name;
  std::optional<std::string> old;
};

// A temporary folder that also stands in for the per-user folders (config/ and cache/ in
// it), so that nothing a test runs touches the user's own settings, log or work files.
struct Sandbox : TempDir {
  ScopedEnv config{"XDG_CONFIG_HOME", File("config")}, cache{"XDG_CACHE_HOME", File("cache")};
};

// A log box that keeps its lines, for checking what the program showed.
// (`quietLines`: those added without bringing them into view.)
struct CapturingLogBox : LogBox {
  void AppendLine(std::string_view line, bool showNewest) override {
    lines.emplace_back(line);
    if (!showNewest) quietLines.emplace_back(line);
  }
  void Clear() override { lines.clear(); }
  bool Has(std::string_view line) const { return std::ranges::find(lines, line) != lines.end(); }

  std::vector<std::string> lines, quietLines;
};

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes a file, making the folders on its way.
inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!out) throw std::runtime_error("cannot write " + path);
}

// A file or a link as the tests compare it before and after a run.
struct FileState {
  Bytes bytes;
  int64_t mtimeNs = 0;
  unsigned mode = 0;
  std::string link;  // the target, for a link
  friend bool operator==(const FileState&, const FileState&) = default;
};

// Every file and link below `folder` as it is itself (links not followed, folders left out),
// by its path relative to `folder`.
inline std::map<std::string, FileState> Snapshot(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, FileState> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
    files[it->path().lexically_relative(folder).string()] = {
        S_ISREG(info.st_mode) ? ReadFile(it->path()) : Bytes{},
        info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec, info.st_mode & 07777u,
        S_ISLNK(info.st_mode) ? fs::read_symlink(it->path()).string() : ""};
  }
  return files;
}

// Lines of a CR LF text file, without their line ends.
inline std::vector<std::string> ReadLines(const std::string& path) {
  const Bytes bytes = ReadFile(path);
  const std::string text(bytes.begin(), bytes.end());
  std::vector<std::string> lines;
  for (size_t start = 0, end = 0; start < text.size(); start = end + 2)
    lines.push_back(
        text.substr(start, (end = std::min(text.find("\r\n", start), text.size())) - start));
  return lines;
}

}  // namespace keelpack::test
