#include "jobs/process_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>

#include "jobs/path_utils.h"
#include "jpeg/rewrite_jpeg.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/file.h"
#include "platform/files.h"
#include "platform/system.h"
#include "settings/option_set.h"

namespace keelpack {
namespace {

// APP12, APP13, APP1, COM and APP14, then APP2 unless colour profiles are all kept.
constexpr std::string_view kJobRemoveList = "\xEC\xED\xE1\xFE\xEE";
constexpr char kApp2Code = '\xE2';

constexpr int kFinalizeAttempts = 10;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

// True when `folder` is `inner` itself or a folder above it, links followed: mirrored output
// would then land among the very files being processed.
bool FolderHolds(const std::string& folder, const std::string& inner) {
  const auto outer = platform::ResolvedPath(folder);
  const auto resolved = platform::ResolvedPath(inner);
  if (!outer || !resolved) return false;
  if (*outer == "/") return true;
  return *resolved == *outer || resolved->starts_with(*outer + "/");
}

// "Set to normal", then delete.
int DeleteFile(const std::string& path) {
  platform::MakeWritable(path);
  return platform::RemoveFile(path);
}

// Removes a file if it is there; a name that is already free is no failure.
bool RemoveIfPresent(const std::string& path) {
  const int error = platform::RemoveFile(path);
  return error == 0 || error == ENOENT;
}

int ExifModeFor(int exifOption) {
  switch (exifOption) {
    case kExifKeepOriginal: return kExifModeKeep;
    case kExifReduceSize: return kExifModeReduce;
    default: return kExifModeRemove;
  }
}

// One job; every step that can fail ends it with its scope's message.
class Job {
 public:
  Job(const JobEnv& env, std::string& path) : env_(env), o_(env.options), path_(path) {}
  JobOutcome Run();

 private:
  enum class Action { kDelete, kDeleteNonJpeg, kRename, kIgnore };

  bool Backup();
  bool ChooseOutput();
  JobOutcome Verdict(int result);
  JobOutcome Finalize();
  std::string MaskedName() const;
  Action ActionFor(int result) const;

  JobOutcome End(std::string_view message, int level, JobOutcome outcome) {
    env_.log.AppendScreenLog(std::string(message) + path_, level);
    return outcome;
  }
  // The rewriter's output, which did not become the result.
  bool RemoveOutputIfPresent() { return RemoveIfPresent(written_); }

  const JobEnv& env_;
  const OptionSet& o_;
  std::string& path_;
  // The result's final name: the source itself, or its mirror in the output folder. The
  // rewriter writes under a name of its own first, so that no name ever holds half a file.
  std::string output_;
  std::string written_;
  bool differentFolder_ = false;
};

JobOutcome Job::Run() {
  if (path_.find('?') != std::string::npos) {
    return End("Unsupported characters in filename: ", kVerbose, JobOutcome::kSkipped);
  }
  CollapseSeparators(path_);
  const bool present = platform::Exists(path_);
  // A link would be replaced by a copy of what it points at, and a pipe could block the run.
  if (present && !platform::IsRegularFile(path_)) {
    return End("Incompatible file ignored - ", kVerbose, JobOutcome::kSkipped);
  }

  if (!Backup()) return End("Cannot backup image - ", kVerbose, JobOutcome::kFailed);
  if (!ChooseOutput()) return End("Cannot create path for ", kVerbose, JobOutcome::kFailed);
  if (differentFolder_ && FolderHolds(o_.output, env_.baseFolder)) {
    // One file's mirror could land on another source file, which the job would then delete
    // as a stale output.
    return End("Output folder holds the source - ", kVerbose, JobOutcome::kFailed);
  }
  if (!RemoveIfPresent(written_) || (differentFolder_ && !RemoveIfPresent(output_))) {
    return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  }
  if (!present) return End("Missing file - ", kVerbose, JobOutcome::kSkipped);

  std::string removeList(kJobRemoveList);
  if (o_.icc != kIccKeepAll) removeList += kApp2Code;
  RewriteEnv rewriteEnv{env_.log, o_, env_.totals, env_.workId};
  rewriteEnv.syncOutput = env_.durable && !differentFolder_;
  const int result =
      RewriteJpeg(rewriteEnv, path_, written_, removeList, ExifModeFor(o_.exif), o_.slow == 0);
  env_.log.WriteLog("Return code was " + std::to_string(result), kExplicit);
  return Verdict(result);
}

bool Job::Backup() {
  if (!o_.makeBackups()) return true;
  const std::string backup = path_ + ".bak";
  if (platform::Exists(backup) && DeleteFile(backup) != 0) return false;
  return platform::CopyFile(path_, backup) == 0;
}

bool Job::ChooseOutput() {
  output_ = path_;
  written_ = path_ + ".tmp";
  if (!o_.differentFolder() || !StartsWithIgnoringCase(path_, env_.baseFolder)) return true;
  // Without an output folder the files would land in the root folder.
  if (o_.output.empty()) return false;
  differentFolder_ = true;
  output_ = AddTrailingSeparator(o_.output) + path_.substr(env_.baseFolder.size());
  written_ = output_ + ".tmp";
  std::string folder = output_.substr(0, output_.find_last_of("\\/"));
  return CreateFolderPath(folder) == 0;
}

Job::Action Job::ActionFor(int result) const {
  const bool damaged = result >= kDamaged;
  const bool notJpeg = result == kNotJpeg;
  if (damaged && o_.corrupted == kCorruptedDelete) return Action::kDelete;
  if (notJpeg && o_.corrupted == kCorruptedDelete && o_.nonjpegs == 1) return Action::kDeleteNonJpeg;
  if (notJpeg && o_.corrupted == kCorruptedDelete && o_.nonjpegs == 0) return Action::kRename;
  if (notJpeg && o_.corrupted == kCorruptedRename && o_.nonjpegs == 1) return Action::kRename;
  if (damaged && o_.corrupted == kCorruptedRename && (o_.nonjpegs == 0 || o_.nonjpegs == 1)) {
    return Action::kRename;
  }
  return Action::kIgnore;
}

JobOutcome Job::Verdict(int result) {
  if (result == kRewritten) {
    if (o_.readability == 1 && !platform::LoadsAsPicture(written_)) {
      return End("Picture check failed - ", kBrief, JobOutcome::kFailed);
    }
    return Finalize();
  }
  if (result > kDamaged && !platform::IsContentFailure(result)) {
    // The system failed the rewrite (the disk is full, a folder is read-only): that says
    // nothing about the file, which is left as it was.
    RemoveOutputIfPresent();
    return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  }

  const JobOutcome outcome = result == kNotJpeg ? JobOutcome::kNotJpeg : JobOutcome::kDamaged;
  switch (ActionFor(result)) {
    case Action::kDelete:
    case Action::kDeleteNonJpeg:
      env_.log.AppendScreenLog(
          std::string(ActionFor(result) == Action::kDelete ? "Deleting corrupted " : "Deleting corrupted non-JPEG ") +
              path_,
          kBrief);
      if (DeleteFile(path_) != 0 || !RemoveOutputIfPresent()) {
        return End("Inaccessible for writing - ", kVerbose, outcome);
      }
      return outcome;
    case Action::kRename: {
      if (!RemoveOutputIfPresent()) return End("Inaccessible for writing - ", kVerbose, outcome);
      const std::string renamed = MaskedName();
      env_.log.AppendScreenLog("Renaming corrupted " + path_, kVerbose);
      // Never over another file: a mask without "*" names every damaged file alike.
      if (platform::RenameNoReplace(path_, renamed) != 0) {
        return End("Invalid filename or disk full - ", kVerbose, outcome);
      }
      return outcome;
    }
    case Action::kIgnore:
      env_.log.AppendScreenLog("Incompatible file ignored - " + path_, kVerbose);
      if (!RemoveOutputIfPresent()) return End("Inaccessible for writing - ", kVerbose, outcome);
      return outcome;
  }
  return outcome;
}

JobOutcome Job::Finalize() {
  // The new file takes its name in one step: there is never a moment with neither the old
  // file nor the complete new one.
  for (int failures = 0; platform::ReplaceFile(written_, output_, false) != 0;) {
    if (++failures == kFinalizeAttempts) {
      return End("Cannot finalize - rename manually - ", kBrief, JobOutcome::kFailed);
    }
    if (env_.yield) env_.yield();
  }
  if (env_.durable && !differentFolder_) {
    const std::string folder = platform::ParentFolder(output_);
    if (env_.folderSyncs) {
      env_.folderSyncs->Add(folder);
    } else {
      platform::SyncFolder(folder);
    }
  }
  return JobOutcome::kRewritten;
}

std::string Job::MaskedName() const {
  size_t separator = path_.rfind('\\');
  if (separator == std::string::npos) separator = path_.rfind('/');
  const std::string folder = separator == std::string::npos ? "" : path_.substr(0, separator + 1);
  const std::string file = separator == std::string::npos ? path_ : path_.substr(separator + 1);
  const size_t dot = file.rfind('.');
  const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : file.substr(dot + 1);

  const std::string& mask = o_.mask;
  const bool fullPath = (mask.size() >= 2 && mask[1] == ':') || (!mask.empty() && IsSeparator(mask[0]));
  std::string name = fullPath ? mask : folder + mask;
  if (size_t star = name.find('*'); star != std::string::npos) name.replace(star, 1, base);
  if (size_t star = name.find('*'); star != std::string::npos) name.replace(star, 1, extension);
  std::replace(name.begin(), name.end(), '*', '_');
  return name;
}

}  // namespace

void PendingFolderSyncs::Flush() {
  std::set<std::string> folders;
  {
    const std::lock_guard lock(mutex_);
    folders.swap(folders_);
  }
  for (const std::string& folder : folders) platform::SyncFolder(folder);
}

void JobCounts::Add(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::kRewritten: ++rewritten; break;
    case JobOutcome::kDamaged: ++damaged; break;
    case JobOutcome::kNotJpeg: ++notJpeg; break;
    case JobOutcome::kSkipped: ++skipped; break;
    case JobOutcome::kFailed: ++failed; break;
  }
}

JobOutcome ProcessFile(const JobEnv& env, std::string& path) { return Job(env, path).Run(); }

}  // namespace keelpack
