#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace keelpack::platform {

class File;

// A whole file mapped read-only into memory, so that a file of any size can be read without
// a copy: the pages come from the system's file cache as they are touched, and what the
// process holds stays near one file's size. Unmapped on every way out of its scope.
//
// The mapping reflects the file as it is on the disk. A file cut short by another program
// while it is mapped makes a read of the lost pages fault (SIGBUS); a write of such pages to
// another file fails instead (EFAULT). Callers that read large stretches only hand them on
// to a write keep that risk to the few bytes they parse.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the first `size` bytes of the open file (its size as fstat gave it). An empty file
  // maps to no bytes. Returns 0 or the system error (ENOMEM when there is no address space).
  int Map(const File& file, size_t size);

  std::span<const uint8_t> bytes() const { return {data_, size_}; }

  // Gives back the memory of the pages that lie wholly inside `part`, when it is a part of
  // this mapping. Touched again, they are read again from the file: only what the process
  // holds changes.
  void Release(std::span<const uint8_t> part);

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace keelpack::platform
