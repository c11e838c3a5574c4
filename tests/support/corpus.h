#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace keelpack::test {

// The corpus folder in use: the KEELPACK_CORPUS env variable, else the folder configured at
// build time.
inline std::string CorpusFolder() {
  const char* folder = std::getenv("KEELPACK_CORPUS");
  return folder != nullptr && folder[0] != 0 ? folder : KEELPACK_CORPUS_DIR;
}

// The real camera files of the corpus folder, sorted by path, sub-folders included. Empty
// when absent.
inline std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(CorpusFolder(), error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    if (it->is_regular_file(error)) files.push_back(it->path().string());
  std::ranges::sort(files);
  return files;
}

}  // namespace keelpack::test
