#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <system_error>

namespace keelpack::platform {

class File;

// A whole file held read-only in memory. Files up to a few tens of MiB (every camera photo) are
// read into a buffer of the process's own: another program that cuts the file short meanwhile
// cannot pull the bytes away, and a short read is a plain error. Larger files are mapped, so
// that a file of any size can be read without a copy: the pages come from the system's file
// cache as they are touched, and what the process holds stays near one file's size.
//
// A mapping reflects the file as it is on the disk. A large file cut short by another program
// while it is mapped makes a read of the lost pages fault (SIGBUS); a write of such pages to
// another file fails instead (EFAULT). Callers that read large stretches only hand them on
// to a write keep that risk to the few bytes they parse.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Reads or maps the first `size` bytes of the open file (its size as fstat gave it). An empty
  // file gives no bytes. Gives an empty error_code or the system error: ENOMEM when there is no memory or
  // address space, EIO when the file turned out shorter than `size`.
  std::error_code Map(const File& file, size_t size);

  std::span<const uint8_t> bytes() const { return {data_, size_}; }

  // Gives back the memory of the pages that lie wholly inside `part`, when it is a part of
  // a mapping (a buffer is kept whole). Touched again, they are read again from the file: only what the process
  // holds changes.
  void Release(std::span<const uint8_t> part);

 private:
  void Clear();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;
  std::unique_ptr<uint8_t[]> buffer_;  // what a read file is held in
  size_t capacity_ = 0;
};

}  // namespace keelpack::platform
