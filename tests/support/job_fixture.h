#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "jobs/process_file.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/temp_dir.h"

namespace keelpack::test {

// A sandbox folder and what a file job needs to run in it, its screen lines captured.
class JobFixture : public ::testing::Test {
 protected:
  JobOutcome Process(std::string path, bool durable = false) {
    report = ProcessFile({.log = log,
                          .options = options,
                          .baseFolder = base,
                          .yield = yield,
                          .durable = durable,
                          .judged = judged},
                         path);
    totals.Add(report);
    return report.outcome;
  }

  Sandbox dir;
  CapturingLogBox box;
  LogSink log{box};
  OptionSet options;
  JobReport report;  // the last job's
  RewriteTotals totals;
  std::string base = dir.path();
  std::function<void()> yield;
  std::function<void(const std::string& path)>
      judged;  // another program, between reading and replacing
};

}  // namespace keelpack::test
