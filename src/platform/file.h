#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

// An open file, closed on every way out of its scope. Operations return 0 on success and the
// system error number (errno) on failure.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  int OpenForReading(const std::string& path);
  int OpenForUpdate(const std::string& path);  // reading and writing, never created
  // Created (0600 unless told otherwise) or emptied, for writing.
  int Create(const std::string& path, mode_t mode = 0600);
  int OpenFolder(const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }

  struct Status {
    int64_t size = 0;
    FileTime lastWrite;
    FileAttributes attributes;
    bool markedWritable = false;  // the owner may write it: it is not marked read-only
  };
  int GetStatus(Status& status) const;
  int Size(int64_t& size) const;
  int ReadAll(std::vector<uint8_t>& data);  // from the current position to the end
  // Reads up to `size` bytes into `buffer`; `got` tells how many there were.
  int Read(uint8_t* buffer, size_t size, size_t& got);
  int Write(std::span<const uint8_t> data);
  int WriteAt(int64_t offset, std::span<const uint8_t> data);
  // Writes the pieces one after another, in as few system calls as it can.
  int WriteGathered(std::span<const std::span<const uint8_t>> pieces);
  // The same services as RestoreFileTime and ApplyAttributes, on the open file.
  void SetLastWriteTime(FileTime time);
  int SetAttributes(const FileAttributes& attributes);
  int Sync();
  // Starts writing the file's data to the disk without waiting for it.
  void StartWriteBack();
  // Makes everything written to the file system that holds this file durable.
  int SyncFileSystem();
  // True when both name the same file on the same device.
  bool IsSameFileAs(const std::string& path) const;
  FileId Id() const;
  // An exclusive advisory lock, not waited for: EWOULDBLOCK while another holds it.
  int TryLock();
  // Copies the whole content of `source` (from its start) to this file's current position.
  int CopyContentFrom(const File& source);
  // Gives this file every extended attribute of `source` (ACLs included); `refused` gets
  // the names of those the file system or the process's rights would not let us set.
  int CopyExtendedAttributesFrom(const File& source, std::vector<std::string>& refused);
  // Closes now and reports the close's error, which can carry a delayed write error.
  int Close();

 private:
  friend class Folder;
  int fd_ = -1;
};

// While it lives, on this thread, File's OpenForReading, OpenForUpdate, Create and
// IsSameFileAs given exactly `path` reach the file `file` already holds, instead of whatever
// the name leads to at that moment. A file job opens and checks its files itself, then lets
// code that works with paths (the rewriter) use them without a window for a swap.
class BoundName {
 public:
  BoundName(std::string path, const File& file);
  ~BoundName();
  BoundName(const BoundName&) = delete;
  BoundName& operator=(const BoundName&) = delete;
};

}  // namespace keelpack::platform
