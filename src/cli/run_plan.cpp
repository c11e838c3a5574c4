#include "cli/run_plan.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/folder.h"
#include "platform/listing.h"

namespace keelpack::cli {
namespace {

namespace fs = std::filesystem;

PlanResult Refuse(std::string error) { return {std::nullopt, std::move(error)}; }

// True when `inner` is `outer` or lies below it; both absolute and normal.
bool Within(const fs::path& inner, const fs::path& outer) {
  auto [o, i] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return o == outer.end();
}

// True when the folder `outer` is `inner` or holds it, by device and inode: a second mount
// of a folder is the same folder.
bool SameOrHolds(const fs::path& outer, const fs::path& inner) {
  platform::Folder o, i;
  if (!o.Open(outer.string()) || !i.Open(inner.string())) return false;
  return o.Id() == i.Id() || o.Holds(i);
}

// The longest folder that holds both.
fs::path CommonFolder(const fs::path& a, const fs::path& b) {
  fs::path common;
  for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end() && *i == *j; ++i, ++j) {
    common /= *i;
  }
  return common;
}

struct Argument {
  fs::path path;  // absolute; its folders free of links
  bool folder = false;
};

// A folder is resolved whole. A file keeps its own name: a link given as a file stays a link,
// which the file job leaves alone rather than replacing it with a copy of its target.
std::optional<Argument> Resolve(const std::string& text, std::string& error) {
  std::error_code ec;
  const fs::path given(text);
  const fs::file_status status = fs::status(given, ec);
  if (ec || !fs::exists(status)) {
    error = "no such file or folder: " + text;
    return std::nullopt;
  }
  if (fs::is_directory(status)) {
    fs::path folder = fs::canonical(given, ec);
    if (ec || ::access(folder.c_str(), R_OK | X_OK) != 0) {
      error = "cannot open the folder " + text;
      return std::nullopt;
    }
    return Argument{folder, true};
  }
  const fs::path absolute = fs::absolute(given, ec).lexically_normal();
  const fs::path parent = fs::canonical(absolute.parent_path(), ec);
  if (ec || !absolute.has_filename()) {
    error = "cannot find the folder of " + text;
    return std::nullopt;
  }
  const std::string name = absolute.filename().string();
  if (!platform::MatchesPatterns(name, platform::kJpegPatterns)) {
    error = "not a JPEG file name (.jpg .jpeg .jpe .jfi .jif): " + text;
    return std::nullopt;
  }
  return Argument{parent / name, false};
}

// The output folder made absolute and free of links as far as it exists. Its first existing
// folder must be a folder, or no file could be written below it.
std::optional<fs::path> ResolveOutput(const std::string& text, std::string& error) {
  if (text.empty()) {
    error = "the output folder is empty";
    return std::nullopt;
  }
  std::error_code ec;
  fs::path output = fs::weakly_canonical(fs::absolute(text, ec), ec);
  if (!output.has_filename()) output = output.parent_path();  // a trailing "/" of a new folder
  if (ec) {
    error = "cannot resolve the output folder " + text;
    return std::nullopt;
  }
  fs::path existing = output;
  while (!fs::exists(existing, ec) && existing.has_relative_path())
    existing = existing.parent_path();
  if (!fs::is_directory(existing, ec)) {
    error = "the output folder " + text + " lies in a file, not a folder";
    return std::nullopt;
  }
  return output;
}

}  // namespace

PlanResult MakePlan(const std::vector<std::string>& paths, const OptionSet& options) {
  Plan plan;
  plan.options = options;
  std::vector<fs::path> files;
  std::set<fs::path> seen;
  for (const std::string& text : paths) {
    std::string error;
    const std::optional<Argument> argument = Resolve(text, error);
    if (!argument) return Refuse(error);
    if (!seen.insert(argument->path).second) continue;
    if (argument->folder) {
      plan.runs.push_back({RunKind::kFolderTree, argument->path.string(), {}});
    } else {
      files.push_back(argument->path);
    }
  }

  fs::path common;
  if (!files.empty()) {
    common = files.front().parent_path();
    for (const fs::path& file : files) common = CommonFolder(common, file.parent_path());
    PlannedRun run{RunKind::kSelectedFiles, common.string(), {}};
    for (const fs::path& file : files)
      run.entries.push_back(file.lexically_relative(common).string());
    plan.runs.push_back(std::move(run));
  }

  if (options.differentFolder()) {
    std::string error;
    const std::optional<fs::path> output = ResolveOutput(options.output, error);
    if (!output) return Refuse(error);
    if (plan.runs.size() != 1) {
      return Refuse(
          "with an output folder, give one folder, or files only: their mirrors could "
          "land on each other");
    }
    if (Within(plan.runs.front().folder, *output) ||
        SameOrHolds(*output, plan.runs.front().folder)) {
      return Refuse("the output folder must not be the processed folder or hold it: " +
                    options.output);
    }
    for (const fs::path& file : files) {
      if (Within(file, *output) || SameOrHolds(*output, file.parent_path())) {
        return Refuse(file.string() + " lies in the output folder");
      }
    }
    plan.options.output = output->string();
  }
  return {std::move(plan), {}};
}

}  // namespace keelpack::cli
