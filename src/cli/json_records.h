#pragma once

#include <string>

#include "jobs/process_file.h"
#include "runs/session.h"

namespace keelpack::cli {

// One line of JSON (no line end) for a file whose fate is settled: its path, the verdict
// ("rewritten", "damaged", "not_jpeg", "skipped", "failed") and why, its length before and
// after, the re-encoding, and what became of the file ("replaced", "written", "deleted",
// "renamed", "left") with its new path. Names that are not UTF-8 are shown with U+FFFD and
// given byte for byte, in hex, beside.
std::string FileRecord(const JobReport& report);

// One line of JSON for a finished run: its kind and folder, the summary's numbers (files found,
// files reduced, bytes saved), what became of the files, the folders left out, and whether
// it was cancelled or only a dry run.
std::string RunRecordLine(RunKind kind, const RunRecord& run, bool cancelled, bool dryRun);

}  // namespace keelpack::cli
