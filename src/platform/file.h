#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file_time.h"
#include "platform/files.h"

namespace keelpack::platform {

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
  int Create(const std::string& path, mode_t mode = 0666);  // created or emptied, for writing
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
  // True when both name the same file on the same device.
  bool IsSameFileAs(const std::string& path) const;
  // Closes now and reports the close's error, which can carry a delayed write error.
  int Close();

 private:
  int fd_ = -1;
};

}  // namespace keelpack::platform
