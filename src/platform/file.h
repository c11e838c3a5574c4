#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "platform/failure.h"
#include "platform/file_time.h"
#include "platform/files.h"

namespace keelpack::platform {

// What names a file or folder: two paths name the same one when both numbers are equal,
// however the paths are written and whichever mounts they pass through.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

// An open file, closed on every way out of its scope. Operations give an empty error_code on
// success and the system error (errno) on failure.
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

  std::error_code OpenForReading(const std::string& path);
  // Created (0600 unless told otherwise) or emptied, for writing.
  std::error_code Create(const std::string& path, mode_t mode = 0600);
  std::error_code OpenFolder(const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }

  struct Status {
    int64_t size = 0;
    FileTime lastWrite;
    FileTime changed;  // the last change of the content or the entry (st_ctim)
    FileAttributes attributes;
    bool markedWritable = false;  // the owner may write it: it is not marked read-only
  };
  std::error_code GetStatus(Status& status) const;
  std::error_code Size(int64_t& size) const;
  std::error_code ReadAll(std::vector<uint8_t>& data);  // from the current position to the end
  // Reads up to `size` bytes into `buffer`; `got` tells how many there were.
  std::error_code Read(uint8_t* buffer, size_t size, size_t& got);
  // Fills `into` from `offset` on, whatever the file's position; EIO when the file ends first.
  std::error_code ReadAt(int64_t offset, std::span<uint8_t> into) const;
  std::error_code Write(std::span<const uint8_t> data);
  // Writes the pieces one after another, in as few system calls as it can.
  std::error_code WriteGathered(std::span<const std::span<const uint8_t>> pieces);
  // The last-write time (the access time left alone), the owner and group where the process
  // may give them, and the permission bits, all on the open file.
  std::error_code SetLastWriteTime(FileTime time);
  std::error_code SetAttributes(const FileAttributes& attributes);
  std::error_code Sync();
  // Starts writing the file's data to the disk without waiting for it; only a hint, which
  // nothing depends on, so it reports nothing.
  void StartWriteBack();
  // Makes everything written to the file system that holds this file durable.
  std::error_code SyncFileSystem();
  FileId Id() const;
  // An exclusive advisory lock, not waited for: EWOULDBLOCK while another process holds it,
  // EDEADLK while this process holds it through another open (the file under another name).
  std::error_code TryLock();
  // Copies the whole content of `source` (from its start) to this file's current position.
  std::error_code CopyContentFrom(const File& source);
  // Copies `length` bytes of `source` from `offset` on to this file's current position; EIO
  // when `source` ends first.
  std::error_code CopyRangeFrom(const File& source, int64_t offset, int64_t length);
  // Gives this file every extended attribute of `source` (ACLs included); `refused` gets
  // the names of those the file system or the process's rights would not let us set.
  std::error_code CopyExtendedAttributesFrom(const File& source, std::vector<std::string>& refused);
  // Closes now and reports the close's error, which can carry a delayed write error.
  std::error_code Close();
  // Reports what Close would, while the file stays open.
  std::error_code Flush();

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
