#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

  int Size(int64_t& size) const;
  int ReadAll(std::vector<uint8_t>& data);  // from the current position to the end
  int Write(std::span<const uint8_t> data);
  int WriteAt(int64_t offset, std::span<const uint8_t> data);
  int Sync();
  // True when both name the same file on the same device.
  bool IsSameFileAs(const std::string& path) const;
  // Closes now and reports the close's error, which can carry a delayed write error.
  int Close();

 private:
  int fd_ = -1;
};

}  // namespace keelpack::platform
