#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <type_traits>
#include <variant>

#include "settings/option_table.h"
#include "settings/settings_file.h"
#include "version.h"

namespace keelpack::cli {
namespace {

constexpr int kMaxLogLevel = 3;
// More threads than this would only add memory.
constexpr int kMaxJobs = 256;

// The names a choice option takes, in the order of its values ("keep|reduce|delete").
std::vector<std::string> ValueNames(std::string_view names) {
  std::vector<std::string> split;
  for (size_t at = 0; at <= names.size();) {
    const size_t bar = std::min(names.find('|', at), names.size());
    split.emplace_back(names.substr(at, bar - at));
    at = bar + 1;
  }
  return split;
}

// What the command line parsed for one option of the table.
struct TableOption {
  CLI::Option* option = nullptr;
  std::string text;
  bool ticked = false;
};

// Sets the option's field from what was parsed.
void Apply(const OptionEntry& entry, const TableOption& parsed, OptionSet& o) {
  std::visit(
      [&](auto field) {
        using Field = decltype(field);
        if constexpr (std::is_same_v<Field, std::string OptionSet::*>) {
          o.*field = parsed.text;
        } else if constexpr (std::is_same_v<Field, int OptionSet::*>) {
          o.*field = parsed.ticked ? 1 : 0;
        } else if constexpr (!std::is_same_v<Field, std::monostate>) {
          const std::vector<std::string> names = ValueNames(entry.cliValues);
          const auto number = std::find(names.begin(), names.end(), parsed.text) - names.begin();
          if (const auto choice = ChoiceFromNumber<std::remove_cvref_t<decltype(o.*field)>>(number))
            o.*field = *choice;
        }
      },
      entry.field);
}

constexpr const char* kDescription =
    "keelpack-cli - make JPEG files smaller without touching their pictures\n\n"
    "Drops the segments that carry no picture, merges table segments, shrinks the Exif camera\n"
    "data and copies the picture data byte for byte. Each file is replaced in one atomic step\n"
    "by its rewritten form, with its modification time and permissions. Damaged files, and\n"
    "files with a JPEG name that hold other data, are renamed by a mask, deleted or left alone.\n";

constexpr std::string_view kFooterHead = R"(PATHS
  A FOLDER is processed as a tree: every file with a JPEG name (.jpg .jpeg .jpe .jfi .jif,
  any letter case) in it and in all folders below it. Hidden folders, links to folders and
  the output folder are left out.
  FILE arguments are processed together in one run, in the order given; their common folder
  is the run's base folder. Each FILE must have a JPEG name.
  Several FOLDERs make one run each, in the order given, and all FILEs one more run after
  them. A path given twice is processed once.
  With --output, give one FOLDER, or FILEs only: the output mirrors the paths below the
  folder (or below the files' common folder), so two runs could write onto each other.
  The output folder must not be the processed folder or hold it. Files of the same name in
  the output folder are replaced; when the output folder lies inside the processed folder,
  only an earlier output of the same file (one that holds the same picture) is replaced,
  and any other file there is left alone ("Output exists - "). With --output no source is
  ever deleted, renamed or written: a damaged file, or one that holds no JPEG data, is left
  as it is and gets nothing in the output folder ("Incompatible file ignored - ").
  Every PATH must exist. On a usage error nothing is touched.
  --files-from LIST adds the paths listed in the file LIST (- for standard input), one per
  line, or each ended by a NUL with -0, as `find ... -print0` writes them:
    find photos -type f -iname '*.jpg' -print0 | keelpack-cli --files-from - -0
  A list that names nothing processes nothing.
  A lone - as the only PATH reads one picture from standard input (see STANDARD INPUT).

JOBS
  -j N processes N files at the same time, by default one per processor core. What is
  printed and logged is the same for any N: each file's lines together, in the order of
  the files. Each job needs memory for about one file and at most 64 MB more: with
  --optimize or --progressive a picture too large to code again within that keeps its
  picture data as it was, and --check-readability fails a progressive one too large to
  decode within it. --upright turns a picture of up to about 6 megapixels within that; one
  job at a time may take up to 176 MB to turn a larger one, up to a 24-megapixel photo,
  and a picture larger still keeps its data and its orientation.

OUTPUT
  Standard output gets what the window's log box shows: the files that were damaged, not
  JPEG data, ignored, skipped or could not be processed, attributes that could not be
  carried over, "Operation cancelled!", and one summary line per run ("Finished. Out of N
  files, R were reduced saving B bytes.", with " N folders skipped." added when folders
  were left out).
  -q prints the summary lines only; -v adds, once each, every message the log file can hold
  at level 3 (the files read, what became of each segment, each return code, the folders
  left out).
  Standard error gets each folder left out of a tree with the reason ("Cannot open directory
  DIR", "Too many directories in DIR", ...), a log file that cannot be written ("Failed to
  write to the logfile!", once), usage errors and the notices of Ctrl+C; on a terminal also
  a status line with a progress bar, redrawn in place and cleared at the end. When standard
  error is not a terminal, no status line is drawn.

JSON
  --json prints, on standard output and instead of the lines above, one JSON object per line:
  one for each file once its fate is settled, then one for the run. A file's record has
  "record":"file", "path", "verdict" (rewritten, damaged, not_jpeg, skipped, failed),
  "reason" (what was wrong, for a file not rewritten), "bytes_before" and "bytes_after" (the
  length of the rewrite), "reencoding" (not_asked, used, not_smaller, declined, with
  "reencoding_declined" telling why), "turned" (true when the picture was turned upright),
  "action" (replaced, written, deleted, renamed, left) and "target" (the new path of a file
  written to the output folder or renamed). A run's
  record has "record":"run", "kind" (folder_tree, selected_files), "folder", the summary's
  "files", "reduced" and "saved", the counts "rewritten", "damaged", "not_jpeg", "skipped",
  "failed" and "skipped_folders", and "cancelled" and "dry_run" (true or false). A name that
  is not UTF-8 shows U+FFFD for its odd bytes and comes whole, in hex, as "path_hex" (or
  "target_hex", "folder_hex"). Standard error is as above.

DRY RUN
  -n reads and judges every file as a run would, and prints the same lines, records and
  summaries, but changes nothing on the disk: no file is replaced, renamed, deleted or backed
  up, no folder is made, no temporary file is written or removed. Only --log-level writes
  the log file. Each file is locked while it is judged, as in a run. A later run that finds
  the files as they were does what -n told.

STANDARD INPUT
  keelpack-cli [OPTIONS] - reads one JPEG from standard input and writes its rewrite to
  standard output, the same bytes a run would put in place of the file. --exif, --icc, --dpi,
  --slow, --optimize, --progressive, --upright, --check-readability and --settings apply;
  options about files and runs (--backups, --mask, --output, --corrupted, --non-jpegs,
  --files-from, -j, --no-fsync, --dry-run, --json, --log-level) are usage errors. A picture
  that is damaged, not JPEG data, or that does not decode with --check-readability writes
  nothing to standard output, is named with the reason on standard error and exits 1. With
  -v, every log line goes to standard error. The picture is held in memory, once.
    keelpack-cli --exif delete - < photo.jpg > small.jpg

SETTINGS AND LOG FILE
)";

// The keys a settings file may set for the command line: all but the window's own.
std::string SettingsParagraph() {
  std::string keys;
  for (const OptionEntry& entry : kOptionTable) {
    if (entry.windowOnly) continue;
    keys.append(keys.empty() ? "" : ", ").append(entry.key);
  }
  return "The window's settings file (keelpack.ini) is not read. --settings FILE reads the "
         "options from FILE (keys " +
         keys + "); options given on the command line win. Nothing is ever saved.";
}

// `text` in lines of at most `width` columns, each indented by two.
std::string Wrapped(std::string_view text, size_t width) {
  std::string out, line = "  ";
  while (!text.empty()) {
    const size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    if (line.size() > 2 && line.size() + 1 + word.size() > width) {
      out.append(line).append("\n");
      line = "  ";
    }
    line.append(line.size() > 2 ? " " : "").append(word);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return out + line + "\n";
}

constexpr std::string_view kFooterTail =
    R"(  --log-level 1-3 writes keelpack.log in $XDG_CONFIG_HOME (else ~/.config); each run starts
  it afresh, so after several runs it holds the last one.

CTRL+C
  The first Ctrl+C stops the run after the files being processed and prints the summary; no
  further run starts. A second Ctrl+C stops at once. Either way a file is replaced only by
  its complete rewritten form in one step; a second Ctrl+C may leave the new file of each
  file under way, or waiting to be put in place, under a hidden temporary name
  (.keelpack-...-FILE.tmp beside it, or in the output folder), which the next run removes.

TWO RUNS
  Each file is locked while it is processed; a second keelpack-cli (or the window) over the
  same files skips a locked file ("File in use by another run - "). A file that another
  program saves while it is processed is left as that program saved it ("File changed
  during processing - "); so is a file whose rewrite could not keep its owner and group
  ("Owner cannot be kept - ").

EXIT STATUS
  0    every file was rewritten (or none was found)
  1    a file was damaged, not JPEG data, skipped, changed by another program meanwhile or
       could not be processed (named on standard output, unless -q), or a folder was left
       out (named on standard error); with -, the picture was not written
  2    usage error (bad option, missing path); nothing was touched
  130  interrupted by Ctrl+C
)";

bool ReadableFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in.good();
}

std::optional<std::string> ReadList(const std::string& path) {
  std::ifstream file;
  if (path != "-") {
    file.open(path, std::ios::binary);
    if (!file) return std::nullopt;
  }
  std::istream& in = path == "-" ? std::cin : file;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return text;
}

}  // namespace

std::vector<std::string> SplitNames(std::string_view text, bool nulSeparated) {
  const char end = nulSeparated ? '\0' : '\n';
  std::vector<std::string> names;
  while (!text.empty()) {
    const size_t at = std::min(text.find(end), text.size());
    if (at > 0) names.emplace_back(text.substr(0, at));
    text.remove_prefix(std::min(at + 1, text.size()));
  }
  return names;
}

ParseResult ParseCommandLine(int argc, const char* const* argv) {
  CLI::App app(kDescription, kCliName);
  app.footer(std::string(kFooterHead) + Wrapped(SettingsParagraph(), 91) +
             std::string(kFooterTail));
  app.get_formatter()->column_width(34);
  app.set_version_flag("--version", std::string(kCliName) + " " + std::string(kVersion),
                       "Print the program's name and version, and exit");
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string(kCliName) + ": " + e.what() + "\nRun " + kCliName +
           " --help for more information.\n";
  });

  std::vector<std::string> paths;
  std::string settings, filesFrom;
  int logLevel = 0, jobs = 0;
  bool quiet = false, verbose = false, noFsync = false, nulSeparated = false, optimize = false,
       progressive = false, dryRun = false, json = false;

  auto* pathOpt = app.add_option("PATH", paths, "Files and folders to process")->type_name("");
  // CLI11 keeps the addresses of what it parses into: the array never moves.
  std::array<TableOption, kOptionTable.size()> parsed;
  for (size_t i = 0; i < kOptionTable.size(); ++i) {
    const OptionEntry& entry = kOptionTable[i];
    const std::string name(entry.cliName), help(entry.cliHelp), values(entry.cliValues);
    switch (entry.cliForm) {
      case CliForm::kNone:
        break;
      case CliForm::kFlag:
        parsed[i].option = app.add_flag(name, parsed[i].ticked, help);
        break;
      case CliForm::kChoice:
        // Validators describe themselves in the option's column; the value names say it shorter.
        parsed[i].option = app.add_option(name, parsed[i].text, help)
                               ->check(CLI::IsMember(ValueNames(values)).description(""))
                               ->type_name(values);
        break;
      case CliForm::kText:
        parsed[i].option = app.add_option(name, parsed[i].text, help)->type_name(values);
        break;
    }
  }
  const auto tableOption = [&](std::string_view key) {
    for (size_t i = 0; i < kOptionTable.size(); ++i)
      if (kOptionTable[i].key == key) return parsed[i].option;
    return static_cast<CLI::Option*>(nullptr);
  };
  auto* outputOpt = tableOption("Output");
  auto* backupsOpt = tableOption("Backups");
  auto* optimizeOpt = app.add_flag("--optimize", optimize,
                                   "Code the picture data again, losslessly, with\n"
                                   "Huffman tables made for it, when that is smaller");
  auto* progressiveOpt = app.add_flag("--progressive", progressive,
                                      "As --optimize, but progressive: tries a few scan\n"
                                      "scripts and keeps the smallest");
  auto* logOpt = app.add_option("--log-level", logLevel,
                                "Write keelpack.log: 0 none, 1 brief, 2 verbose,\n"
                                "3 explicit (0)")
                     ->check(CLI::Range(0, kMaxLogLevel).description(""))
                     ->type_name("0-3");
  app.add_option("--settings", settings, "Read the options from a settings file first")
      ->type_name("FILE");
  auto* quietOpt = app.add_flag("-q,--quiet", quiet, "Print only the summary of each run");
  auto* verboseOpt = app.add_flag("-v,--verbose", verbose, "Print every log message");
  auto* noFsyncOpt = app.add_flag("--no-fsync", noFsync,
                                  "Do not flush each new file to the disk before it\n"
                                  "replaces the old one: faster, but a power cut\n"
                                  "may then lose files");
  auto* filesFromOpt = app.add_option("--files-from", filesFrom,
                                      "Also process the paths listed in LIST, one per\n"
                                      "line (- reads standard input)")
                           ->type_name("LIST");
  app.add_flag("-0,--null", nulSeparated, "The names in LIST are each ended by a NUL")
      ->needs(filesFromOpt);
  auto* jobsOpt = app.add_option("-j,--jobs", jobs,
                                 "Process N files at the same time (one per\n"
                                 "processor core)")
                      ->check(CLI::Range(1, kMaxJobs).description(""))
                      ->type_name("N");
  auto* dryRunOpt = app.add_flag("-n,--dry-run", dryRun,
                                 "Read and judge every file as a run would, print\n"
                                 "the same lines and summaries, and change nothing");
  auto* jsonOpt = app.add_flag("--json", json,
                               "Print one JSON record per file and one per run on\n"
                               "standard output, instead of the log lines");
  quietOpt->excludes(verboseOpt);
  jsonOpt->excludes(verboseOpt);
  backupsOpt->excludes(outputOpt);
  optimizeOpt->excludes(progressiveOpt);

  ParseResult result;
  std::ostringstream out, err;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e, out, err);
    result.exitStatus = status == 0 ? kExitAllRewritten : kExitUsage;
    result.out = out.str();
    result.err = err.str();
    return result;
  }

  const auto usage = [&result](const std::string& error) {
    result.exitStatus = kExitUsage;
    result.err = std::string(kCliName) + ": " + error + "\nRun " + kCliName +
                 " --help for more information.\n";
    return result;
  };
  if (!pathOpt->count() && !filesFromOpt->count()) return usage("give a PATH or --files-from LIST");
  const bool filter = std::find(paths.begin(), paths.end(), kStreamPath) != paths.end();
  if (filter && paths.size() > 1) {
    return usage("- stands for one picture on standard input: give no other PATH");
  }
  // What concerns files, folders, runs or their log has nothing to act on in a filter.
  std::vector<const CLI::Option*> fileOnly;
  for (size_t i = 0; i < kOptionTable.size(); ++i)
    if (kOptionTable[i].aboutFiles) fileOnly.push_back(parsed[i].option);
  fileOnly.insert(fileOnly.end(), {filesFromOpt, jobsOpt, noFsyncOpt, dryRunOpt, jsonOpt, logOpt});
  for (const CLI::Option* option : fileOnly) {
    if (filter && option->count()) {
      return usage(option->get_name() + " cannot be used with - (standard input)");
    }
  }
  CliRequest request;
  request.paths = paths;
  if (filesFromOpt->count()) {
    const std::optional<std::string> list = ReadList(filesFrom);
    if (!list) {
      result.exitStatus = kExitUsage;
      result.err = std::string(kCliName) + ": cannot read the list " + filesFrom + "\n";
      return result;
    }
    for (std::string& name : SplitNames(*list, nulSeparated))
      request.paths.push_back(std::move(name));
  }
  if (!settings.empty()) {
    if (!ReadableFile(settings)) {
      result.exitStatus = kExitUsage;
      result.err = std::string(kCliName) + ": cannot read the settings file " + settings + "\n";
      return result;
    }
    const LoadedSettings loaded = LoadSettings(settings, OptionSet{});
    request.options = loaded.options;
    if (loaded.logLevel) request.logLevel = *loaded.logLevel;
  }

  OptionSet& o = request.options;
  for (size_t i = 0; i < kOptionTable.size(); ++i)
    if (parsed[i].option && parsed[i].option->count()) Apply(kOptionTable[i], parsed[i], o);
  if (outputOpt->count()) o.saveInDifferentFolder = 1;
  if (optimizeOpt->count()) o.optimize = optimize ? OptimizeChoice::kHuffman : OptimizeChoice::kOff;
  if (progressiveOpt->count())
    o.optimize = progressive ? OptimizeChoice::kProgressive : OptimizeChoice::kOff;
  if (logOpt->count()) request.logLevel = logLevel;
  request.verbosity = quiet     ? Verbosity::kQuiet
                      : verbose ? Verbosity::kVerbose
                                : Verbosity::kNormal;
  request.durable = !noFsync;
  request.jobs = jobs;
  request.dryRun = dryRun;
  request.json = json;
  request.filter = filter;
  if (filter) request.logLevel = 0;  // a settings file's log level has no run to log
  result.request = std::move(request);
  return result;
}

}  // namespace keelpack::cli
