#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/option_set.h"

namespace keelpack::cli {

inline constexpr const char* kCliName = "keelpack-cli";
// The PATH that stands for standard input and output.
inline constexpr const char* kStreamPath = "-";

// Exit statuses, for scripts.
inline constexpr int kExitAllRewritten = 0;     // every file was rewritten (or there was none)
inline constexpr int kExitNotAllRewritten = 1;  // damaged, not JPEG data, skipped or failed
inline constexpr int kExitUsage = 2;            // nothing was touched
inline constexpr int kExitInterrupted = 130;    // Ctrl+C, as a shell reports SIGINT

// How much of the log goes to standard output.
enum class Verbosity {
  kQuiet,    // the summary line of each run only
  kNormal,   // the lines the window's log box shows, and the summaries
  kVerbose,  // also every message meant for the log file, at its most detailed level
};

// Everything a run needs from the command line.
struct CliRequest {
  std::vector<std::string> paths;  // as given
  OptionSet options;               // defaults, then the settings file, then the options given
  int logLevel = 0;                // the log file keelpack.log: 0 none, 1 to 3
  Verbosity verbosity = Verbosity::kNormal;
  bool durable = true;  // flush every new file to the disk before it replaces the old one
  int jobs = 0;         // files processed at the same time; 0: one per processor core
  bool dryRun = false;  // judge every file, change nothing
  bool json = false;    // one JSON record per file and per run instead of the log lines
  bool filter = false;  // the PATH "-": one picture from standard input to standard output
};

// Parsing ends with a request to run, or with an exit status and the texts to print (the
// help, the version, or a usage error).
struct ParseResult {
  std::optional<CliRequest> request;
  int exitStatus = kExitAllRewritten;
  std::string out;  // for standard output
  std::string err;  // for standard error
};

// The names of a list file: one per line, or each ended by a NUL with `nulSeparated`.
// Empty names are left out.
std::vector<std::string> SplitNames(std::string_view text, bool nulSeparated);

// Reads the arguments; --settings FILE and the list of --files-from are read here too.
// Touches nothing on the disk.
ParseResult ParseCommandLine(int argc, const char* const* argv);

}  // namespace keelpack::cli
