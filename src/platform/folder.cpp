#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/listing.h"

namespace keelpack::platform {
namespace {

constexpr std::string_view kTemporaryPrefix = ".keelpack-";
constexpr std::string_view kTemporarySuffix = ".tmp";

std::atomic<unsigned> temporaryCounter{0};

int OpenAt(int folderFd, const std::string& name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folderFd, name.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

EntryStatus::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryStatus::Kind::kFile;
  if (S_ISDIR(mode)) return EntryStatus::Kind::kFolder;
  if (S_ISLNK(mode)) return EntryStatus::Kind::kLink;
  return EntryStatus::Kind::kOther;
}

// Every entry name of an open folder, "." and ".." left out, with the entry's own kind.
std::optional<std::vector<std::pair<std::string, EntryStatus::Kind>>> Entries(int folderFd) {
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
  if (!dir) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::pair<std::string, EntryStatus::Kind>> entries;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    EntryStatus::Kind kind = EntryStatus::Kind::kOther;
    switch (entry->d_type) {
      case DT_DIR:
        kind = EntryStatus::Kind::kFolder;
        break;
      case DT_REG:
        kind = EntryStatus::Kind::kFile;
        break;
      case DT_LNK:
        kind = EntryStatus::Kind::kLink;
        break;
      case DT_UNKNOWN: {
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
          kind = KindOf(info.st_mode);
        break;
      }
      default:
        break;
    }
    entries.emplace_back(name, kind);
  }
  if (errno != 0) return std::nullopt;
  return entries;
}

}  // namespace

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

Status Folder::Open(const std::string& path) {
  const int fd = OpenAt(AT_FDCWD, path, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return Failure::LastSystemError();
  *this = Folder();
  fd_ = fd;
  path_ = path;
  return {};
}

Status Folder::OpenIn(const Folder& parent, const std::string& name) {
  const int fd = OpenAt(parent.fd_, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return Failure::LastSystemError();
  *this = Folder();
  fd_ = fd;
  path_ = parent.PathOf(name);
  return {};
}

Status Folder::OpenBelow(const Folder& top, std::string_view relative, bool create, bool durable) {
  Folder current;
  current.fd_ = ::fcntl(top.fd_, F_DUPFD_CLOEXEC, 0);
  if (current.fd_ < 0) return Failure::LastSystemError();
  current.path_ = top.path_;
  while (!relative.empty()) {
    const size_t slash = std::min(relative.find('/'), relative.size());
    const std::string name(relative.substr(0, slash));
    relative.remove_prefix(std::min(slash + 1, relative.size()));
    if (name.empty() || name == ".") continue;
    if (name == "..") return Failure::System(EINVAL);  // the walk stays below its top
    if (create && ::mkdirat(current.fd_, name.c_str(), 0777) == 0) {
      if (durable) (void)current.Sync();
    } else if (create && errno != EEXIST) {
      return Failure::LastSystemError();
    }
    Folder next;
    if (Status status = next.OpenIn(current, name); !status) return status;
    current = std::move(next);
  }
  *this = std::move(current);
  return {};
}

std::string Folder::PathOf(std::string_view name) const {
  std::string path = path_;
  if (path.empty() || path.back() != '/') path += '/';
  return path.append(name);
}

FileId Folder::Id() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return {};
  return {info.st_dev, info.st_ino};
}

bool Folder::Holds(const Folder& inner) const {
  const FileId mine = Id();
  Folder current;
  current.fd_ = ::fcntl(inner.fd_, F_DUPFD_CLOEXEC, 0);
  for (FileId at = current.Id(); current.IsOpen();) {
    Folder parent;
    parent.fd_ = OpenAt(current.fd_, "..", O_RDONLY | O_DIRECTORY);
    const FileId above = parent.Id();
    if (!parent.IsOpen() || above == at) return false;  // the root is its own parent
    if (above == mine) return true;
    current = std::move(parent);
    at = above;
  }
  return false;
}

Status Folder::Duplicate(Folder& copy) const {
  const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return Failure::LastSystemError();
  copy = Folder();
  copy.fd_ = fd;
  copy.path_ = path_;
  return {};
}

Status Folder::Sync() const { return ::fsync(fd_) == 0 ? Status() : Failure::LastSystemError(); }

Result<EntryStatus> Folder::Lookup(const std::string& name) const {
  struct stat info {};
  if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return Failure::LastSystemError();
  return EntryStatus{KindOf(info.st_mode),
                     {info.st_dev, info.st_ino},
                     {info.st_mtim.tv_sec, info.st_mtim.tv_nsec}};
}

Status Folder::OpenFile(const std::string& name, File& file) const {
  // Not blocking, so that a pipe under a JPEG name cannot stall the run.
  const int fd = OpenAt(fd_, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Failure::LastSystemError();
  File opened;
  opened.fd_ = fd;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Failure::LastSystemError();
  if (S_ISDIR(info.st_mode)) return Failure::System(EISDIR);
  if (!S_ISREG(info.st_mode)) return Failure::System(EINVAL);
  // None of the flags that can change was asked for but this one.
  ::fcntl(fd, F_SETFL, 0);
  opened.id_ = {info.st_dev, info.st_ino};
  file = std::move(opened);
  return {};
}

Status Folder::Reopen(const std::string& name, const File& same, File& file) const {
  File opened;
  if (Status status = OpenFile(name, opened); !status) return status;
  if (opened.Id() != same.Id()) return Failure::System(ESTALE);
  file = std::move(opened);
  return {};
}

Status Folder::CreateTemporary(const std::string& forName, File& file,
                               std::string& tempName) const {
  // Only part of a name: one that is taken already is passed over, whatever its number says.
  static const auto processId = static_cast<unsigned>(::getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tag[48];
    std::snprintf(tag, sizeof tag, "%x-%x-", processId, temporaryCounter++);
    const size_t fixed =
        kTemporaryPrefix.size() + std::string_view(tag).size() + kTemporarySuffix.size();
    std::string name = std::string(kTemporaryPrefix) + tag + forName.substr(0, NAME_MAX - fixed);
    name += kTemporarySuffix;
    const int fd = OpenAt(fd_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) continue;  // left by an earlier process of the same number
    if (fd < 0) return Failure::LastSystemError();
    File created;
    created.fd_ = fd;
    if (Status status = created.TryLock(); !status) return status;
    file = std::move(created);
    tempName = std::move(name);
    return {};
  }
  return Failure::System(EEXIST);
}

bool Folder::IsTemporaryName(std::string_view name) {
  return name.starts_with(kTemporaryPrefix) && name.ends_with(kTemporarySuffix) &&
         name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size();
}

void Folder::RemoveStaleTemporaries() const {
  if (const auto entries = Entries(fd_)) RemoveStale(*entries);
}

void Folder::RemoveStale(
    const std::vector<std::pair<std::string, EntryStatus::Kind>>& entries) const {
  for (const auto& [name, kind] : entries) {
    if (kind != EntryStatus::Kind::kFile || !IsTemporaryName(name)) continue;
    File stale;
    if (!OpenFile(name, stale)) continue;
    // A run that still works on it holds its lock; one that was killed holds nothing.
    if (!stale.TryLock()) continue;
    if (const Result<EntryStatus> now = Lookup(name); now && now->id == stale.Id())
      (void)Remove(name);
  }
}

Status Folder::Remove(const std::string& name) const {
  return ::unlinkat(fd_, name.c_str(), 0) == 0 ? Status() : Failure::LastSystemError();
}

Status Folder::Replace(const std::string& from, const std::string& to) const {
  return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 ? Status()
                                                             : Failure::LastSystemError();
}

Status Folder::MoveNoReplace(const std::string& from, const Folder& target,
                             const std::string& to) const {
  if (::syscall(SYS_renameat2, fd_, from.c_str(), target.fd_, to.c_str(), RENAME_NOREPLACE) == 0)
    return {};
  if (errno == EINVAL || errno == ENOSYS) {
    // Some file systems cannot rename without replacing; a hard link fails just as safely.
    if (::linkat(fd_, from.c_str(), target.fd_, to.c_str(), 0) != 0)
      return Failure::LastSystemError();
    return Remove(from);
  }
  if (errno != EXDEV) return Failure::LastSystemError();

  // Another file system: a complete, flushed copy takes the new name first (never replacing
  // anything), and only then does the file leave this folder.
  File source;
  if (Status status = OpenFile(from, source); !status) return status;
  const Result<File::Status> status = source.GetStatus();
  if (!status) return status.error();
  File copy;
  std::string tempName;
  if (Status made = target.CreateTemporary(to, copy, tempName); !made) return made;
  std::vector<std::string> refused;
  Status copied = copy.CopyContentFrom(source);
  if (copied) copied = copy.CopyExtendedAttributesFrom(source, refused);
  if (copied) {
    (void)copy.SetLastWriteTime(status->lastWrite);
    copied = copy.SetAttributes(status->attributes);
  }
  if (copied) copied = copy.Sync();
  if (copied && ::linkat(target.fd_, tempName.c_str(), target.fd_, to.c_str(), 0) != 0)
    copied = Failure::LastSystemError();
  (void)target.Remove(tempName);
  if (!copied) return copied;
  (void)target.Sync();
  // Removed only while the name still holds the file that was copied.
  if (const Result<EntryStatus> still = Lookup(from); still && still->id == source.Id())
    return Remove(from);
  return {};
}

std::optional<Folder::Names> Folder::SubfolderAndFileNames(std::string_view patterns) const {
  auto entries = Entries(fd_);
  if (!entries) return std::nullopt;
  Names names;
  for (auto& [name, kind] : *entries) {
    if (kind == EntryStatus::Kind::kFolder && name.front() != '.')
      names.subfolders.push_back(std::move(name));
    if (kind == EntryStatus::Kind::kFile && MatchesPatterns(name, patterns))
      names.files.push_back(std::move(name));
  }
  std::sort(names.subfolders.begin(), names.subfolders.end(), NameLess);
  std::sort(names.files.begin(), names.files.end(), NameLess);
  return names;
}

std::optional<std::vector<std::string>> Folder::FileNames(std::string_view patterns,
                                                          bool removeStaleTemporaries) const {
  auto entries = Entries(fd_);
  if (!entries) return std::nullopt;
  if (removeStaleTemporaries) RemoveStale(*entries);
  std::vector<std::string> names;
  for (auto& [name, kind] : *entries) {
    if (kind == EntryStatus::Kind::kFile && MatchesPatterns(name, patterns))
      names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

}  // namespace keelpack::platform
