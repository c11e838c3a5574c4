#include "platform/files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace keelpack::platform {
namespace {

// Closes a descriptor on every way out of a scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and reports the close's error, which can carry a delayed write error.
  int Close() {
    int result = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

int WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int SyncFolderOf(const std::string& path) {
  Descriptor folder(::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.ok()) return errno;
  return ::fsync(folder.get()) == 0 ? 0 : errno;
}

int SyncFile(const std::string& path) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.ok()) return errno;
  return ::fsync(file.get()) == 0 ? 0 : errno;
}

}  // namespace

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<FileAttributes> ReadAttributes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileAttributes{static_cast<unsigned>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

int ApplyAttributes(const std::string& path, const FileAttributes& attributes) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno;
  if (info.st_uid != attributes.owner || info.st_gid != attributes.group) {
    // Only the superuser may give a file away; anyone may keep it as it is.
    (void)::chown(path.c_str(), attributes.owner, attributes.group);
  }
  return ::chmod(path.c_str(), attributes.mode) == 0 ? 0 : errno;
}

int MakeWritable(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno;
  if (info.st_mode & S_IWUSR) return 0;
  return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0 ? 0 : errno;
}

bool IsMarkedWritable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) != 0;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int CopyFile(const std::string& from, const std::string& to) {
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) return errno;
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return errno;
  Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.ok()) return errno;
  off_t remaining = info.st_size;
  while (remaining > 0) {
    ssize_t copied = ::copy_file_range(in.get(), nullptr, out.get(), nullptr,
                                       static_cast<size_t>(remaining), 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) return errno;
      // Fall back to plain reads and writes where the kernel cannot copy between these files.
      std::vector<uint8_t> buffer(1 << 20);
      for (;;) {
        ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) break;
        if (int error = WriteAll(out.get(), buffer.data(), static_cast<size_t>(got))) return error;
      }
      break;
    }
    if (copied == 0) break;  // the file shrank while we copied
    remaining -= copied;
  }
  if (::fchmod(out.get(), info.st_mode & 07777) != 0) return errno;
  const timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  ::futimens(out.get(), times);
  return out.Close();
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // Some file systems cannot rename without replacing; a hard link fails just as safely.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

int ReplaceFile(const std::string& from, const std::string& to, bool durable) {
  if (durable) {
    if (int error = SyncFile(from)) return error;
  }
  if (::rename(from.c_str(), to.c_str()) != 0) return errno;
  if (durable) return SyncFolderOf(to);
  return 0;
}

int MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno; }

int ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
  Descriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) return errno;
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return errno;
  data.resize(static_cast<size_t>(info.st_size));
  size_t filled = 0;
  while (filled < data.size()) {
    ssize_t got = ::read(in.get(), data.data() + filled, data.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  data.resize(filled);
  return 0;
}

int WriteWholeFile(const std::string& path, std::span<const uint8_t> data) {
  Descriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.ok()) return errno;
  if (int error = WriteAll(out.get(), data.data(), data.size())) return error;
  return out.Close();
}

}  // namespace keelpack::platform
