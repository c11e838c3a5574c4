#pragma once

#include <string>
#include <vector>

namespace keelpack::test {

// The real camera files of the corpus folder (KEELPACK_CORPUS env variable, else the folder
// configured at build time), sorted by path, sub-folders included. Empty when absent.
std::vector<std::string> CorpusFiles();

// The corpus folder in use, for skip messages.
std::string CorpusFolder();

}  // namespace keelpack::test

// Skips the current test, with a message, when the corpus is not there.
#define KEELPACK_REQUIRE_CORPUS(files)                                                   \
  do {                                                                                   \
    if ((files).empty()) GTEST_SKIP() << "no camera corpus at " << CorpusFolder();       \
  } while (false)
