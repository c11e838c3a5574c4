#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runs/front_end.h"
#include "settings/option_set.h"

namespace keelpack::cli {

// One run of the core over what the command line named.
struct PlannedRun {
  RunKind kind = RunKind::kFolderTree;
  // The folder the run starts from: the tree's top, or the files' common folder.
  std::string folder;
  // For a selected-files run: the files' paths relative to `folder`, in the order given.
  std::vector<std::string> entries;
};

struct Plan {
  std::vector<PlannedRun> runs;  // the folder trees in the order given, then the files
  OptionSet options;             // with the output folder made absolute
};

// A plan, or the reason why the command line cannot be carried out (a usage error).
struct PlanResult {
  std::optional<Plan> plan;
  std::string error;
};

// Checks every path and the output folder before anything is touched, and groups the paths
// into runs. Paths are made absolute and their folders freed of links, so that the output
// folder is recognised inside a tree however it was written.
PlanResult MakePlan(const std::vector<std::string>& paths, const OptionSet& options);

}  // namespace keelpack::cli
