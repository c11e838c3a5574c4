#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/result.h"

namespace keelpack::platform {

class File;

// A whole file held read-only in memory, read into a buffer of the process's own, whatever its
// size. Another program that cuts the file short meanwhile can then never pull bytes away from
// under the reader (a mapped file would fault on the lost pages): a short read is a plain error.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Reads the first `size` bytes of the open file (its size as fstat gave it). An empty file
  // gives no bytes. A failure carries the system error: ENOMEM when there is no
  // memory, EIO when the file turned out shorter than `size`.
  Status Map(const File& file, size_t size);

  std::span<const uint8_t> bytes() const { return {data_, size_}; }

 private:
  void Clear();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;  // what the file is held in
  size_t capacity_ = 0;
};

}  // namespace keelpack::platform
