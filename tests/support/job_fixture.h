#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "jobs/process_file.h"
#include "log/log_sink.h"
#include "settings/option_set.h"
#include "support/temp_dir.h"

namespace keelpack::test {

// A sandbox folder and what a file job needs to run in it, its screen lines captured.
class JobFixture : public ::testing::Test {
 protected:
  JobOutcome Process(std::string path, bool durable = false) {
    JobEnv env{.log = log, .options = options, .baseFolder = base, .yield = yield};
    env.durable = durable, env.judged = judged;
    return ProcessFile(env, path).outcome;
  }

  Sandbox dir;
  CapturingLogBox box;
  LogSink log{box};
  OptionSet options;
  std::string base = dir.path();
  std::function<void()> yield;
  // Another program, between reading and replacing.
  std::function<void(const std::string& path)> judged;
};

}  // namespace keelpack::test
