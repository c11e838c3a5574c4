#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/result.h"

namespace keelpack::platform {

// What names a file or folder: two paths name the same one when both numbers are equal,
// however the paths are written and whichever mounts they pass through.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

// An open file, closed on every way out of its scope. Operations that can fail give a Result;
// a failure is a system one, carrying errno. Inside the class `Status` names the file's
// status, so the plain outcome is spelled keelpack::Status.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept : fd_(other.fd_), id_(other.id_), locked_(other.locked_) {
    other.fd_ = -1;
    other.id_.reset();
    other.locked_ = false;
  }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  keelpack::Status OpenForReading(const std::string& path);
  // Created (0600 unless told otherwise) or emptied, for writing. A link at `path` is not
  // followed: the open fails.
  keelpack::Status Create(const std::string& path, mode_t mode = 0600);
  // For writing at its end, created 0600 when missing, or emptied first (`empty`); a link at
  // `path` is not followed.
  keelpack::Status OpenForAppending(const std::string& path, bool empty);
  keelpack::Status OpenFolder(const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }

  struct Status {
    int64_t size = 0;
    FileTime lastWrite;
    FileTime changed;  // the last change of the content or the entry (st_ctim)
    FileAttributes attributes;
    bool markedWritable = false;  // the owner may write it: it is not marked read-only
  };
  Result<Status> GetStatus() const;
  Result<int64_t> Size() const;
  keelpack::Status ReadAll(std::vector<uint8_t>& data);  // from the current position to the end
  // Reads up to `size` bytes into `buffer`; `got` tells how many there were.
  keelpack::Status Read(uint8_t* buffer, size_t size, size_t& got);
  // Fills `into` from `offset` on, whatever the file's position; EIO when the file ends first.
  keelpack::Status ReadAt(int64_t offset, std::span<uint8_t> into) const;
  keelpack::Status Write(std::span<const uint8_t> data);
  // Writes the pieces one after another, in as few system calls as it can.
  keelpack::Status WriteGathered(std::span<const std::span<const uint8_t>> pieces);
  // The last-write time (the access time left alone), the owner and group where the process
  // may give them, and the permission bits, all on the open file.
  keelpack::Status SetLastWriteTime(FileTime time);
  keelpack::Status SetAttributes(const FileAttributes& attributes);
  keelpack::Status Sync();
  // Starts writing the file's data to the disk without waiting for it; only a hint, which
  // nothing depends on, so it reports nothing.
  void StartWriteBack();
  // Makes everything written to the file system that holds this file durable.
  keelpack::Status SyncFileSystem();
  FileId Id() const;
  // An exclusive advisory lock, not waited for: EWOULDBLOCK while another process holds it,
  // EDEADLK while this process holds it through another open (the file under another name).
  keelpack::Status TryLock();
  // Copies the whole content of `source` (from its start) to this file's current position.
  keelpack::Status CopyContentFrom(const File& source);
  // Copies `length` bytes of `source` from `offset` on to this file's current position; EIO
  // when `source` ends first.
  keelpack::Status CopyRangeFrom(const File& source, int64_t offset, int64_t length);
  // Gives this file every extended attribute of `source` (ACLs included); `refused` gets
  // the names of those the file system or the process's rights would not let us set.
  keelpack::Status CopyExtendedAttributesFrom(const File& source,
                                              std::vector<std::string>& refused);
  // Closes now and reports the close's error, which can carry a delayed write error.
  keelpack::Status Close();
  // Reports what Close would, while the file stays open.
  keelpack::Status Flush();

 private:
  friend class Folder;
  void Release();

  int fd_ = -1;
  // What names the open file, when it is known without asking: it cannot change while the
  // file is open.
  std::optional<FileId> id_;
  bool locked_ = false;  // this holds the lock TryLock took
};

// True when nothing has written the file, changed its size or touched its entry between the
// two looks at it.
inline bool SameState(const File::Status& a, const File::Status& b) {
  return a.size == b.size && a.lastWrite == b.lastWrite && a.changed == b.changed;
}

}  // namespace keelpack::platform
