#include "cli/app.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <thread>

#include "cli/cli_front_end.h"
#include "cli/command_line.h"
#include "cli/filter.h"
#include "cli/interrupt.h"
#include "cli/json_records.h"
#include "cli/run_plan.h"
#include "runs/runs.h"
#include "runs/session.h"

namespace keelpack::cli {
namespace {

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

JobCounts& operator+=(JobCounts& sum, const JobCounts& add) {
  sum.rewritten += add.rewritten;
  sum.damaged += add.damaged;
  sum.notJpeg += add.notJpeg;
  sum.skipped += add.skipped;
  sum.failed += add.failed;
  return sum;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
  const ParseResult parsed = ParseCommandLine(argc, argv);
  Print(stdout, parsed.out);
  Print(stderr, parsed.err);
  if (!parsed.request) return parsed.exitStatus;
  const CliRequest& request = *parsed.request;
  if (request.filter) return RunFilter(request);

  // Every path is checked before the first run touches anything.
  const PlanResult planned = MakePlan(request.paths, request.options);
  if (!planned.plan) {
    Print(stderr, std::string(kCliName) + ": " + planned.error + "\n");
    return kExitUsage;
  }
  const Plan& plan = *planned.plan;

  const Console console = Console::Standard();
  CliFrontEnd frontEnd(console, request.verbosity);
  frontEnd.SetJson(request.json);
  const int jobs = request.jobs > 0
                       ? request.jobs
                       : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  Session session(frontEnd, {.jobs = jobs, .durable = request.durable, .dryRun = request.dryRun});
  session.log().SetLogLevel(request.logLevel);
  session.log().SetScreenDebug(request.verbosity == Verbosity::kVerbose);
  session.log().SetEchoOnce(true);
  frontEnd.WatchInterrupt(&session.cancelFlag(), InterruptRequested);
  const InterruptScope interrupts(session.cancelFlag(), console.errIsTerminal);
  // A reader that goes away (`keelpack-cli -v photos | head`) must not end the process in the
  // middle of a file job; the lines it would have read are simply lost.
  std::signal(SIGPIPE, SIG_IGN);

  JobCounts outcomes;
  for (const PlannedRun& run : plan.runs) {
    if (InterruptRequested()) break;
    frontEnd.Prepare(run, plan.options);
    if (run.kind == RunKind::kFolderTree) {
      RunFolderTree(session, run.folder);
    } else {
      RunSelectedFiles(session, {run.folder, run.entries});
    }
    outcomes += session.lastRun().outcomes;
    if (request.json) {
      frontEnd.PrintRecord(
          RunRecordLine(run.kind, session.lastRun(), InterruptRequested(), request.dryRun));
    }
  }
  if (InterruptRequested()) return kExitInterrupted;
  // A folder left out is a tree not fully processed, as much as a file that was.
  const bool all = outcomes.rewritten == outcomes.total() && frontEnd.skippedFolders() == 0;
  return all ? kExitAllRewritten : kExitNotAllRewritten;
}

}  // namespace keelpack::cli
