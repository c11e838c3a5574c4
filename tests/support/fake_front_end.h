#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runs/front_end.h"
#include "support/temp_dir.h"

namespace keelpack::test {

// A front end that records what the runs show and lets a test act when they yield.
class FakeFrontEnd : public FrontEnd {
 public:
  void AppendLine(std::string_view line, bool newest) override { box.AppendLine(line, newest); }
  void Clear() override { box.Clear(); }
  void SetStatusText(std::string_view text) override { statuses.emplace_back(text); }
  void ProcessPendingEvents() override { onYield(); }
  void SetProgressPercent(float percent) override { progress.push_back(percent); }
  OptionSet Options() override { return options; }
  void SetRunning(RunKind kind, bool on) override { runningChanges.emplace_back(kind, on); }
  void FilesChanged() override { ++filesChanged; }

  CapturingLogBox box;
  OptionSet options;
  std::function<void()> onYield = [] {};

  std::vector<std::string> statuses;
  std::vector<float> progress;
  std::vector<std::pair<RunKind, bool>> runningChanges;
  int filesChanged = 0;
};

}  // namespace keelpack::test
