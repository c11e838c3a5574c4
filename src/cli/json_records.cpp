#include "cli/json_records.h"

#include <nlohmann/json.hpp>

namespace keelpack::cli {
namespace {

// Keys in the order they are put, the record's kind first.
using json = nlohmann::ordered_json;

constexpr int kCompact = -1;

const char* VerdictName(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::kRewritten:
      return "rewritten";
    case JobOutcome::kDamaged:
      return "damaged";
    case JobOutcome::kNotJpeg:
      return "not_jpeg";
    case JobOutcome::kSkipped:
      return "skipped";
    case JobOutcome::kFailed:
      return "failed";
  }
  return "failed";
}

const char* ActionName(FileAction action) {
  switch (action) {
    case FileAction::kReplaced:
      return "replaced";
    case FileAction::kWrittenToOutput:
      return "written";
    case FileAction::kDeleted:
      return "deleted";
    case FileAction::kRenamed:
      return "renamed";
    case FileAction::kLeft:
    case FileAction::kWaiting:
      return "left";
  }
  return "left";
}

const char* ReencodingName(ReencodingNote::Kind kind) {
  switch (kind) {
    case ReencodingNote::Kind::kNotAsked:
      return "not_asked";
    case ReencodingNote::Kind::kUsed:
      return "used";
    case ReencodingNote::Kind::kNotSmaller:
      return "not_smaller";
    case ReencodingNote::Kind::kDeclined:
      return "declined";
  }
  return "not_asked";
}

// A file name is bytes: a name that is not UTF-8 also goes byte for byte, in hex.
void PutName(json& record, const std::string& key, const std::string& name) {
  record[key] = name;
  try {
    (void)json(name).dump();
  } catch (const json::type_error&) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : name) hex += {kDigits[byte >> 4], kDigits[byte & 15]};
    record[key + "_hex"] = hex;
  }
}

// A job's message without the separator that joined it to the path ("Missing file - ").
std::string Reason(std::string message) {
  const size_t end = message.find_last_not_of(" -:");
  return message.substr(0, end == std::string::npos ? 0 : end + 1);
}

std::string Line(const json& record) {
  // ASCII only, so that no name can drive a terminal.
  return record.dump(kCompact, ' ', true, json::error_handler_t::replace);
}

}  // namespace

std::string FileRecord(const JobReport& report) {
  json record = {{"record", "file"}};
  PutName(record, "path", report.path);
  record["verdict"] = VerdictName(report.outcome);
  const std::optional<RewriteOutcome>& rewrite = report.rewrite;
  if (!report.reason.empty()) {
    record["reason"] = Reason(report.reason);
  } else if (rewrite && !rewrite->reason.empty()) {
    record["reason"] = rewrite->reason;
  }
  if (rewrite) {
    record["bytes_before"] = rewrite->inputSize;
    if (Rewritten(rewrite->result)) record["bytes_after"] = rewrite->outputSize;
    record["reencoding"] = ReencodingName(rewrite->reencoding.kind);
    if (!rewrite->reencoding.reason.empty())
      record["reencoding_declined"] = rewrite->reencoding.reason;
    record["turned"] = rewrite->turned;
  }
  record["action"] = ActionName(report.action);
  if (!report.target.empty()) PutName(record, "target", report.target);
  return Line(record);
}

std::string RunRecordLine(RunKind kind, const RunRecord& run, bool cancelled, bool dryRun) {
  json record = {{"record", "run"},
                 {"kind", kind == RunKind::kFolderTree ? "folder_tree" : "selected_files"}};
  PutName(record, "folder", run.baseFolder);
  record["files"] = run.fileTotal;
  record["reduced"] = static_cast<int64_t>(run.totals.filesReduced);
  record["saved"] = static_cast<int64_t>(run.totals.bytesSaved);
  record["rewritten"] = run.outcomes.rewritten;
  record["damaged"] = run.outcomes.damaged;
  record["not_jpeg"] = run.outcomes.notJpeg;
  record["skipped"] = run.outcomes.skipped;
  record["failed"] = run.outcomes.failed;
  record["skipped_folders"] = run.skippedFolders;
  record["cancelled"] = cancelled;
  record["dry_run"] = dryRun;
  return Line(record);
}

}  // namespace keelpack::cli
