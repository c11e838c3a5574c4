#include "support/corpus.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace keelpack::test {

std::string CorpusFolder() {
  if (const char* folder = std::getenv("KEELPACK_CORPUS"); folder != nullptr && folder[0] != 0) {
    return folder;
  }
  return KEELPACK_CORPUS_DIR;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(CorpusFolder(), error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace keelpack::test
