#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/run_plan.h"
#include "runs/front_end.h"

namespace keelpack::cli {

// Where the front end writes: log lines to `out`, the status line to `errFd`.
struct Console {
  std::FILE* out = stdout;
  int errFd = 2;
  bool errIsTerminal = false;  // draw the status line and the bar, in place
  bool outIsTerminal = false;  // log lines share the screen with the status line
  int fallbackWidth = 80;      // when the terminal does not tell its width

  static Console Standard();
};

inline constexpr int kBarWidth = 20;

// A line as it may reach a terminal: control bytes (C0, DEL, C1) and bytes that are not
// UTF-8 are shown as \xHH, so that no file name can drive the terminal.
std::string Printable(std::string_view line);

// One screen line of status: the bar, the percentage, then as much of the text as fits in
// `width` columns (one column is kept free, so that the cursor never wraps).
std::string StatusLine(std::string_view text, float percent, int width);

// The command line as the runs' front end: the log box is standard output, the status line
// and the progress bar are drawn on standard error when it is a terminal, as are the notices
// (a folder left out, a log file that cannot be written), and the folder and its "selected"
// files come from the planned run.
class CliFrontEnd : public FrontEnd {
 public:
  CliFrontEnd(Console console, Verbosity verbosity) : console_(console), verbosity_(verbosity) {}

  // Standard output gets JSON records (FileFinished, PrintRecord) instead of the log lines and
  // the summaries.
  void SetJson(bool json) { json_ = json; }
  // One line on standard output, as the log lines go.
  void PrintRecord(std::string_view line) { PrintLine(line); }

  // The run that starts next, and the options it works with.
  void Prepare(const PlannedRun& run, const OptionSet& options) {
    run_ = run;
    options_ = options;
  }
  // A run clears the cancel request when it starts; a Ctrl+C that came before must still stop
  // it, so the request is set again as the run starts.
  void WatchInterrupt(std::atomic<bool>* cancelRequested, std::function<bool()> interrupted) {
    cancelRequested_ = cancelRequested;
    interrupted_ = std::move(interrupted);
  }

  void AppendLine(std::string_view line, bool showNewest) override;
  void Clear() override {}
  void SetStatusText(std::string_view text) override;
  void ProcessPendingEvents() override {}
  void SetProgressPercent(float percent) override { percent_ = percent; }
  OptionSet Options() override { return options_; }
  void SetRunning(RunKind kind, bool running) override;
  void FolderSkipped(std::string_view line) override;
  void FileFinished(const JobReport& report) override;

  // Folders left out by all runs so far.
  int skippedFolders() const { return skippedFolders_; }

 private:
  void PrintLine(std::string_view line);
  // A line on standard error, below the status line.
  void Notice(std::string_view line);
  void DrawStatus();
  void ClearStatus();
  void WriteErr(std::string_view text);
  int Width() const;

  Console console_;
  Verbosity verbosity_;
  bool json_ = false;
  PlannedRun run_;
  OptionSet options_;
  std::atomic<bool>* cancelRequested_ = nullptr;
  std::function<bool()> interrupted_;

  std::string status_;
  float percent_ = 0;
  bool statusShown_ = false;
  int skippedFolders_ = 0;
  int runSkippedFolders_ = 0;
  std::string lastPrinted_;  // in this run
};

}  // namespace keelpack::cli
