#include "jobs/process_file.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "jobs/path_utils.h"
#include "jobs/rewrite_file.h"
#include "jpeg/picture_check.h"
#include "jpeg/same_picture.h"
#include "log/log_sink.h"
#include "platform/background_closer.h"
#include "platform/file.h"
#include "platform/files.h"
#include "platform/folder.h"
#include "platform/mapped_file.h"
#include "platform/text.h"
#include "settings/option_set.h"

namespace keelpack {

// A new file that is complete, and the source it is to replace, still open and locked.
struct DurableBatch::Pending {
  platform::Folder folder;
  platform::File source;
  platform::File temp;
  std::string name;
  std::string tempName;
  platform::File::Status opened;  // the source as it was read
  JobReport report;               // the job's, which the commit completes
  int64_t size = 0;
};

namespace {

constexpr int kFinalizeAttempts = 10;

constexpr std::string_view kChanged = "File changed during processing - ";

// A batch is committed once this many files, or bytes, wait in it.
constexpr size_t kBatchFiles = 64;
constexpr int64_t kBatchBytes = int64_t{64} << 20;

// True when `name` matches `pattern`, in which each "*" stands for any run of characters.
bool MatchesStars(std::string_view name, std::string_view pattern) {
  const size_t star = pattern.find('*');
  if (star == std::string_view::npos) return name == pattern;
  if (!name.starts_with(pattern.substr(0, star))) return false;
  for (size_t skip = star; skip <= name.size(); ++skip) {
    if (MatchesStars(name.substr(skip), pattern.substr(star + 1))) return true;
  }
  return false;
}

using platform::EntryStatus;

// One job; every step that can fail ends it with its scope's message.
class Job {
 public:
  Job(const JobEnv& env, std::string& path) : env_(env), o_(env.options), path_(path) {}
  JobReport Report() {
    report_.outcome = Run();
    report_.path = path_;
    return std::move(report_);
  }

 private:
  JobOutcome Run();

  enum class Action { kDelete, kDeleteNonJpeg, kRename, kIgnore };

  JobOutcome Open();
  // Empty, or the message that ends the job.
  std::string_view Backup();
  bool EarlierOutput() const;
  bool KeepsOwner(const platform::File& file) const;
  bool ChooseOutput();
  JobOutcome Verdict(const Result<RewriteVerdict>& result);
  JobOutcome Finalize();
  std::string MaskedName() const;
  bool MaskProduced() const;
  JobOutcome RenameByMask(JobOutcome outcome);
  Action ActionFor(const Result<RewriteVerdict>& result) const;
  // True while the file's name still holds the file this job opened and judged.
  bool SourceStillThere() const;
  // True when the name no longer holds the file that was read, or that file was written or
  // its entry changed since: another program saves it.
  bool SourceChanged() const;
  JobOutcome Changed() {
    RemoveOutput();
    return End(kChanged, kBrief, JobOutcome::kSkipped);
  }

  JobOutcome End(std::string_view message, int level, JobOutcome outcome) {
    env_.log.AppendScreenLog(std::string(message) + path_, level);
    report_.reason = message;
    return outcome;
  }
  // The rewriter's output, which did not become the result.
  bool RemoveOutput() {
    if (env_.dryRun) return true;
    const Status removed = outFolder_->Remove(tempName_);
    return removed || removed.error().systemError == ENOENT;
  }

  const JobEnv& env_;
  const OptionSet& o_;
  std::string& path_;
  JobReport report_;
  std::string name_;  // the file's name in its folder
  platform::Folder ownFolder_;
  const platform::Folder* folder_ = nullptr;
  platform::File source_;          // opened, checked and locked before anything is written
  platform::File::Status opened_;  // the source as it was when locked, before it was read
  // Where the result goes: beside the source (in place) or in its mirror below the output
  // folder. The rewriter writes a fresh temporary file there first, so that no name ever
  // holds half a file.
  platform::Folder mirror_;
  const platform::Folder* outFolder_ = nullptr;
  std::string outName_;
  std::string tempName_;
  platform::File temp_;
  bool differentFolder_ = false;
  std::string dryTarget_;  // a dry run's output-folder path, whose folder may not be there yet
  std::vector<uint8_t> dryBytes_;  // a dry run's new file, when it is to be checked
};

JobOutcome Job::Open() {
  auto [folderPath, name] = platform::SplitPath(path_);
  name_ = name;
  folder_ = env_.folder;
  if (folder_ == nullptr) {
    if (const Status opened = ownFolder_.Open(folderPath); !opened) {
      if (opened.error().systemError == ENOENT || opened.error().systemError == ENOTDIR)
        return End("Missing file - ", kVerbose, JobOutcome::kSkipped);
      return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
    }
    folder_ = &ownFolder_;
  }
  switch (SystemErrorOf(folder_->OpenFile(name_, source_))) {
    case 0:
      break;
    case ENOENT:
      return End("Missing file - ", kVerbose, JobOutcome::kSkipped);
    // A link would be replaced by a copy of what it points at, and a pipe could block the run.
    case ELOOP:
    case EISDIR:
    case EINVAL:
      return End("Incompatible file ignored - ", kVerbose, JobOutcome::kSkipped);
    default:
      return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  }
  // Only a lock that another holds stops the job; a file system without locks (or one that
  // locks only files open for writing) leaves the job to go on unlocked, as before.
  switch (SystemErrorOf(source_.TryLock())) {
    case EWOULDBLOCK:
      return End("File in use by another run - ", kVerbose, JobOutcome::kSkipped);
    // This run holds it: met before under another name, it waits to be put in place there.
    case EDEADLK:
      return End("Hard link to a file under way - ", kVerbose, JobOutcome::kSkipped);
    default:
      break;
  }
  const Result<platform::File::Status> opened = source_.GetStatus();
  if (!opened) return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  opened_ = *opened;
  return JobOutcome::kRewritten;
}

JobOutcome Job::Run() {
  if (path_.find('?') != std::string::npos) {
    return End("Unsupported characters in filename: ", kVerbose, JobOutcome::kSkipped);
  }
  CollapseSeparators(path_);
  if (const JobOutcome opened = Open(); opened != JobOutcome::kRewritten) return opened;
  if (const std::string_view failed = Backup(); !failed.empty())
    return End(failed, kVerbose, JobOutcome::kFailed);
  if (!ChooseOutput()) return End("Cannot create path for ", kVerbose, JobOutcome::kFailed);
  if (differentFolder_ && (mirror_.Id() == folder_->Id() || mirror_.Holds(*folder_))) {
    // One file's mirror could land on another source file.
    return End("Output folder holds the source - ", kVerbose, JobOutcome::kFailed);
  }
  if (differentFolder_) {
    if (const Result<EntryStatus> existing = outFolder_->Lookup(outName_)) {
      // Never replace the source itself (a hard link, a second mount), nor, inside the tree, a
      // file that is not this source's earlier output. A time is no proof: different photos can
      // share one.
      if (existing->id == source_.Id() ||
          (env_.outputInTree && (existing->kind != EntryStatus::Kind::kFile || !EarlierOutput()))) {
        env_.log.AppendScreenLog("Output exists - " + mirror_.PathOf(outName_), kBrief);
        report_.reason = "Output exists - ";
        return JobOutcome::kFailed;
      }
    }
  }
  if (!env_.dryRun && !outFolder_->CreateTemporary(outName_, temp_, tempName_)) {
    return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  }
  platform::File::Status status;
  std::vector<uint8_t>* kept = o_.readability == 1 ? &dryBytes_ : nullptr;  // for the picture check
  const RewriteOutcome outcome =
      env_.dryRun ? JudgeFile(RewriteOptionsFor(o_), source_, path_, env_.log, status, kept)
                  : RewriteFile(RewriteOptionsFor(o_), source_, temp_, path_, env_.log, status);
  const Result<RewriteVerdict>& result = outcome.result;
  report_.rewrite = outcome;
  env_.log.WriteLog("Return code was " + std::to_string(ReturnCode(result)), kExplicit);
  if (env_.judged) env_.judged(path_);
  return Verdict(result);
}

std::string_view Job::Backup() {
  if (!o_.makeBackups()) return {};
  // An existing backup may be the only copy of the original (made by an earlier run, which
  // rewrote the file since): it stays as it is, whatever it is, and the rewrite goes ahead.
  const std::string backup = name_ + ".bak";
  const auto kept = [&] {
    env_.log.AppendScreenLog("Earlier backup kept - " + path_, kVerbose);
    return std::string_view();
  };
  if (folder_->Lookup(backup)) return kept();
  if (env_.dryRun) return {};
  // Written whole under a temporary name, then given its name in one step, never over another
  // file: a failure never leaves a cut-short backup.
  platform::File copy;
  std::string tempName;
  if (!folder_->CreateTemporary(backup, copy, tempName)) return "Cannot backup image - ";
  std::vector<std::string> refused;
  Status copied = copy.CopyContentFrom(source_);
  if (copied) copied = copy.CopyExtendedAttributesFrom(source_, refused);
  if (copied) {
    (void)copy.SetLastWriteTime(opened_.lastWrite);
    copied = copy.SetAttributes(opened_.attributes);
  }
  std::string_view failed = copied ? "" : "Cannot backup image - ";
  if (copied && !KeepsOwner(copy)) failed = "Owner cannot be kept - ";
  if (failed.empty() && env_.durable && !copy.Sync()) failed = "Cannot backup image - ";
  if (failed.empty()) {
    const Status moved = folder_->MoveNoReplace(tempName, *folder_, backup);
    if (SystemErrorOf(moved) == EEXIST) {
      (void)folder_->Remove(tempName);
      return kept();
    }
    if (!moved) failed = "Cannot backup image - ";
  }
  if (!failed.empty()) (void)folder_->Remove(tempName);
  return failed;
}

bool Job::KeepsOwner(const platform::File& file) const {
  const Result<platform::File::Status> status = file.GetStatus();
  return status && status->attributes.owner == opened_.attributes.owner &&
         status->attributes.group == opened_.attributes.group;
}

bool Job::EarlierOutput() const {
  platform::File earlier;
  if (!outFolder_->OpenFile(outName_, earlier)) return false;
  const Result<platform::File::Status> status = earlier.GetStatus();
  platform::MappedFile source, output;
  return status && source.Map(source_, static_cast<size_t>(std::max<int64_t>(opened_.size, 0))) &&
         output.Map(earlier, static_cast<size_t>(std::max<int64_t>(status->size, 0))) &&
         SamePicture(source.bytes(), output.bytes());
}

bool Job::ChooseOutput() {
  outFolder_ = folder_;
  outName_ = name_;
  if (!o_.differentFolder() || !platform::StartsWithIgnoringCase(path_, env_.baseFolder))
    return true;
  // Without an output folder the files would land in the root folder.
  if (o_.output.empty()) return false;
  differentFolder_ = true;
  std::string relative = path_.substr(env_.baseFolder.size());
  while (relative.starts_with('/')) relative.erase(0, 1);
  const auto [relativeFolder, name] = platform::SplitPath(relative);
  outName_ = name;
  std::string top = o_.output;
  platform::Folder outputTop;
  if (env_.dryRun) {
    // Nothing is made: a mirror folder that is not there yet holds no file to look at.
    dryTarget_ = (top.ends_with('/') ? top : top + "/") + relative;
    if (outputTop.Open(top))
      (void)mirror_.OpenBelow(outputTop, relativeFolder == "." ? "" : relativeFolder, false);
    outFolder_ = &mirror_;
    return true;
  }
  if (!CreateFolderPath(top) || !outputTop.Open(top)) return false;
  // Below the output folder, mirror folders are made and entered one name at a time; a link
  // there (to a folder of the tree, say) is never followed.
  if (!mirror_.OpenBelow(outputTop, relativeFolder == "." ? "" : relativeFolder, true,
                         env_.durable))
    return false;
  outFolder_ = &mirror_;
  return true;
}

Job::Action Job::ActionFor(const Result<RewriteVerdict>& result) const {
  // A content failure, on the file's own bytes, counts as damage (a system failure never
  // comes here).
  const bool notJpeg = result == RewriteVerdict::kNotJpeg;
  const bool damaged = !notJpeg && !Rewritten(result);
  if (damaged && o_.corrupted == CorruptedChoice::kDelete) return Action::kDelete;
  if (notJpeg && o_.corrupted == CorruptedChoice::kDelete && o_.includeNonJpegs == 1)
    return Action::kDeleteNonJpeg;
  if (notJpeg && o_.corrupted == CorruptedChoice::kDelete && o_.includeNonJpegs == 0)
    return Action::kRename;
  if (notJpeg && o_.corrupted == CorruptedChoice::kRename && o_.includeNonJpegs == 1)
    return Action::kRename;
  if (damaged && o_.corrupted == CorruptedChoice::kRename &&
      (o_.includeNonJpegs == 0 || o_.includeNonJpegs == 1)) {
    return Action::kRename;
  }
  return Action::kIgnore;
}

bool Job::SourceStillThere() const {
  const Result<EntryStatus> now = folder_->Lookup(name_);
  return now && now->id == source_.Id();
}

bool Job::SourceChanged() const {
  if (!SourceStillThere()) return true;
  const Result<platform::File::Status> now = source_.GetStatus();
  return !now || !platform::SameState(*now, opened_);
}

JobOutcome Job::Verdict(const Result<RewriteVerdict>& result) {
  if (Rewritten(result) && report_.rewrite->saved() < 0) {
    // The rewrite went right but would make the file larger: no file ever grows.
    if (!RemoveOutput()) return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
    return End("Larger when rewritten, left as it was - ", kVerbose, JobOutcome::kRewritten);
  }
  if (Rewritten(result)) {
    // In the source's place, another user's photo would become the runner's.
    if (!env_.dryRun && !differentFolder_ && !KeepsOwner(temp_)) {
      RemoveOutput();
      return End("Owner cannot be kept - ", kVerbose, JobOutcome::kFailed);
    }
    // The new file is open for writing only; it is read through a second descriptor.
    platform::File written;
    if (o_.readability == 1 && (env_.dryRun ? !LoadsAsPicture(dryBytes_)
                                            : !outFolder_->Reopen(tempName_, temp_, written) ||
                                                  !LoadsAsPicture(written))) {
      RemoveOutput();
      return End("Picture check failed - ", kBrief, JobOutcome::kFailed);
    }
    return Finalize();
  }
  if (!result && !result.error().content()) {
    // The system failed the rewrite (the disk is full, a folder is read-only): that says
    // nothing about the file, which is left as it was.
    RemoveOutput();
    return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  }

  const JobOutcome outcome =
      result == RewriteVerdict::kNotJpeg ? JobOutcome::kNotJpeg : JobOutcome::kDamaged;
  // With an output folder the sources stay as they are, damaged ones too.
  Action action = differentFolder_ ? Action::kIgnore : ActionFor(result);
  // A name the mask gave on an earlier run keeps it; renaming again would pile up prefixes.
  if (action == Action::kRename && MaskProduced()) action = Action::kIgnore;
  // Only the file that was judged is deleted or renamed: never one still being copied in, nor
  // one put under its name meanwhile.
  if (action != Action::kIgnore && SourceChanged()) return Changed();
  switch (action) {
    case Action::kDelete:
    case Action::kDeleteNonJpeg:
      env_.log.AppendScreenLog(
          std::string(action == Action::kDelete ? "Deleting corrupted "
                                                : "Deleting corrupted non-JPEG ") +
              path_,
          kBrief);
      if (!env_.dryRun && !folder_->Remove(name_))
        return End("Inaccessible for writing - ", kVerbose, outcome);
      report_.action = FileAction::kDeleted;
      if (!RemoveOutput()) return End("Inaccessible for writing - ", kVerbose, outcome);
      return outcome;
    case Action::kRename:
      if (!RemoveOutput()) return End("Inaccessible for writing - ", kVerbose, outcome);
      return RenameByMask(outcome);
    case Action::kIgnore:
      env_.log.AppendScreenLog("Incompatible file ignored - " + path_, kVerbose);
      if (!RemoveOutput()) return End("Inaccessible for writing - ", kVerbose, outcome);
      return outcome;
  }
  return outcome;
}

JobOutcome Job::RenameByMask(JobOutcome outcome) {
  const std::string renamed = MaskedName();
  env_.log.AppendScreenLog("Renaming corrupted " + path_, kVerbose);
  const auto [targetPath, targetName] = platform::SplitPath(renamed);
  platform::Folder target;
  Status moved;
  if (o_.mask.starts_with('/')) {
    moved = target.Open(targetPath);
  } else {
    // A relative mask stays inside the file's folder, never through a link.
    const std::string maskFolder = platform::SplitPath(o_.mask).first;
    moved =
        target.OpenBelow(*folder_, o_.mask.find('/') == std::string::npos ? "" : maskFolder, false);
  }
  // Never over another file: a mask without "*" names every damaged file alike.
  if (moved && env_.dryRun && target.Lookup(targetName)) moved = Failure::System(EEXIST);
  if (moved && !env_.dryRun) moved = folder_->MoveNoReplace(name_, target, targetName);
  if (!moved) return End("Invalid filename or disk full - ", kVerbose, outcome);
  report_.action = FileAction::kRenamed;
  report_.target = renamed;
  return outcome;
}

JobOutcome Job::Finalize() {
  if (env_.dryRun) {
    report_.action = differentFolder_ ? FileAction::kWrittenToOutput : FileAction::kReplaced;
    if (differentFolder_) report_.target = dryTarget_;
    return JobOutcome::kRewritten;
  }
  std::vector<std::string> refused;
  (void)temp_.CopyExtendedAttributesFrom(source_, refused);
  for (const std::string& name : refused) {
    env_.log.AppendScreenLog("Cannot carry attribute " + name + " - " + path_, kVerbose);
  }
  const bool durable = env_.durable;
  if (durable && !differentFolder_ && env_.batch != nullptr) {
    auto pending = std::make_unique<DurableBatch::Pending>();
    // Kept open for reading only, so that nothing holds the file system open for writing
    // while the file waits; and locked again, so that no other run takes it for a leftover.
    if (folder_->Duplicate(pending->folder) && folder_->Reopen(tempName_, temp_, pending->temp)) {
      temp_.StartWriteBack();
      (void)temp_.Close();
      (void)pending->temp.TryLock();
      if (const Result<int64_t> size = pending->temp.Size()) pending->size = *size;
      pending->source = std::move(source_);  // still locked until the file is in place
      pending->name = name_;
      pending->tempName = tempName_;
      pending->opened = opened_;
      pending->report = report_;
      pending->report.path = path_;
      pending->report.outcome = JobOutcome::kRewritten;
      env_.batch->Add(std::move(pending));
      report_.action = FileAction::kWaiting;
      return JobOutcome::kRewritten;
    }
  }
  if (durable && !temp_.Sync()) {
    RemoveOutput();
    return End("Inaccessible for writing - ", kVerbose, JobOutcome::kFailed);
  }
  // A file that another program saved meanwhile, in place or under its name, is not ours to
  // replace; nor is the rewrite of what it was worth having elsewhere.
  if (SourceChanged()) return Changed();
  // The new file takes its name in one step: there is never a moment with neither the old
  // file nor the complete new one.
  for (int failures = 0; !outFolder_->Replace(tempName_, outName_);) {
    if (++failures == kFinalizeAttempts) {
      RemoveOutput();
      return End("Cannot finalize - rename manually - ", kBrief, JobOutcome::kFailed);
    }
    if (env_.yield) env_.yield();
  }
  report_.action = differentFolder_ ? FileAction::kWrittenToOutput : FileAction::kReplaced;
  if (differentFolder_) report_.target = outFolder_->PathOf(outName_);
  if (env_.closer && !differentFolder_) env_.closer->Close(std::move(source_));
  if (durable) {
    if (env_.folderSyncs) {
      env_.folderSyncs->Add(outFolder_->path());
    } else {
      (void)outFolder_->Sync();
    }
  }
  return JobOutcome::kRewritten;
}

std::string Job::MaskedName() const {
  const auto [folder, file] = platform::SplitPath(path_);
  const size_t dot = file.rfind('.');
  const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : file.substr(dot + 1);

  // Only "/" separates, and only a mask that begins with it is a full path.
  std::string name = o_.mask.starts_with('/') ? o_.mask : folder + "/" + o_.mask;
  if (size_t star = name.find('*'); star != std::string::npos) name.replace(star, 1, base);
  if (size_t star = name.find('*'); star != std::string::npos) name.replace(star, 1, extension);
  std::replace(name.begin(), name.end(), '*', '_');
  return name;
}

bool Job::MaskProduced() const {
  // Only where the mask puts its files: the folder it names, or the one it names below the file's.
  const std::string maskFolder =
      platform::SplitPath(o_.mask.starts_with('/') ? o_.mask : "/" + o_.mask).first;
  const std::string folder = platform::SplitPath(path_).first;
  if (o_.mask.starts_with('/') ? folder != maskFolder
                               : maskFolder != "/" && !folder.ends_with(maskFolder)) {
    return false;
  }
  // What the mask gives: its first two "*" take any text, every later one became "_".
  std::string pattern =
      platform::SplitPath(o_.mask.starts_with('/') ? o_.mask : "/" + o_.mask).second;
  const size_t first = pattern.find('*');
  const size_t second = first == std::string::npos ? first : pattern.find('*', first + 1);
  for (size_t i = second == std::string::npos ? pattern.size() : second + 1; i < pattern.size();
       ++i) {
    if (pattern[i] == '*') pattern[i] = '_';
  }
  return pattern.find('*') != std::string::npos && MatchesStars(name_, pattern);
}

}  // namespace

DurableBatch::DurableBatch() = default;
DurableBatch::~DurableBatch() = default;

void DurableBatch::Add(std::unique_ptr<Pending> pending) {
  std::lock_guard lock(mutex_);
  bytes_ += pending->size;
  pending_.push_back(std::move(pending));
}

void DurableBatch::MoveTo(DurableBatch& other) {
  std::vector<std::unique_ptr<Pending>> moving;
  {
    std::lock_guard lock(mutex_);
    moving.swap(pending_);
    bytes_ = 0;
  }
  for (auto& pending : moving) other.Add(std::move(pending));
}

bool DurableBatch::Full() {
  std::lock_guard lock(mutex_);
  return pending_.size() >= kBatchFiles || bytes_ >= kBatchBytes;
}

std::vector<JobReport> DurableBatch::Commit(LogSink& log, const std::function<void()>& yield,
                                            platform::BackgroundCloser* closer) {
  std::vector<std::unique_ptr<Pending>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(pending_);
    bytes_ = 0;
  }
  // Every new file durable first, one flush per file system. A new file lies beside its
  // source, on its file system.
  std::set<dev_t> synced, unsynced;
  for (const auto& p : batch) {
    const dev_t device = p->source.Id().device;
    if (synced.insert(device).second && !p->temp.SyncFileSystem()) unsynced.insert(device);
  }
  std::vector<JobReport> reports;
  std::vector<const platform::Folder*> changed;
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const auto& p : batch) {
    JobReport& report = reports.emplace_back(std::move(p->report));
    // The source stays as it is, and its new file goes.
    auto fail = [&](std::string_view reason, int level, JobOutcome outcome = JobOutcome::kFailed) {
      (void)p->folder.Remove(p->tempName);
      log.AppendScreenLog(std::string(reason) + report.path, level);
      report.outcome = outcome;
      report.action = FileAction::kLeft;
      report.reason = reason;
    };
    if (unsynced.contains(p->source.Id().device)) {
      fail("Inaccessible for writing - ", kVerbose);
      continue;
    }
    // Up to 64 files later: another program may have saved it meanwhile, in place or under
    // its name.
    const Result<EntryStatus> now = p->folder.Lookup(p->name);
    const Result<platform::File::Status> status = p->source.GetStatus();
    if (!now || now->id != p->source.Id() || !status || !platform::SameState(*status, p->opened)) {
      fail(kChanged, kBrief, JobOutcome::kSkipped);
      continue;
    }
    int attempts = 0;
    while (!p->folder.Replace(p->tempName, p->name) && ++attempts < kFinalizeAttempts) {
      if (yield) yield();
    }
    if (attempts == kFinalizeAttempts) {
      fail("Cannot finalize - rename manually - ", kBrief);
      continue;
    }
    report.action = FileAction::kReplaced;
    const platform::FileId id = p->folder.Id();
    if (seen.insert({id.device, id.inode}).second) changed.push_back(&p->folder);
    if (closer) closer->Close(std::move(p->source));
  }
  for (const platform::Folder* folder : changed) (void)folder->Sync();
  return reports;
}

void PendingFolderSyncs::Flush() {
  std::set<std::string> folders;
  {
    std::lock_guard lock(mutex_);
    folders.swap(folders_);
  }
  for (const std::string& folder : folders) (void)platform::SyncFolder(folder);
}

void JobCounts::Add(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::kRewritten:
      ++rewritten;
      break;
    case JobOutcome::kDamaged:
      ++damaged;
      break;
    case JobOutcome::kNotJpeg:
      ++notJpeg;
      break;
    case JobOutcome::kSkipped:
      ++skipped;
      break;
    case JobOutcome::kFailed:
      ++failed;
      break;
  }
}

void RewriteTotals::Add(const JobReport& report) {
  const bool inPlace =
      report.action == FileAction::kReplaced || report.action == FileAction::kWrittenToOutput;
  if (report.outcome != JobOutcome::kRewritten || !inPlace || !report.rewrite) return;
  const int64_t saved = report.rewrite->saved();
  bytesSaved += static_cast<double>(saved);
  if (saved > 0) filesReduced += 1;
}

JobReport ProcessFile(const JobEnv& env, std::string& path) { return Job(env, path).Report(); }

}  // namespace keelpack
