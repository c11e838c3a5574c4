#include "platform/mapped_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/file.h"

namespace keelpack::platform {
namespace {

// Files up to this size are read into a buffer; larger ones are mapped.
constexpr size_t kReadAtMost = size_t{64} << 20;

// Each thread keeps the buffer of the file it read last, so that a run of files does not pay
// a fresh allocation, and a page fault per 4 KiB of it, for every one.
struct SpareBuffer {
  std::unique_ptr<uint8_t[]> bytes;
  size_t capacity = 0;
};
thread_local SpareBuffer spare;

}  // namespace

MappedFile::~MappedFile() { Clear(); }

void MappedFile::Clear() {
  if (mapped_) ::munmap(const_cast<uint8_t*>(data_), size_);
  if (buffer_ && capacity_ >= spare.capacity) {
    spare.bytes = std::move(buffer_);
    spare.capacity = capacity_;
  }
  buffer_.reset();
  capacity_ = 0;
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

std::error_code MappedFile::Map(const File& file, size_t size) {
  Clear();
  if (size == 0) return {};
  if (size > kReadAtMost) {
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.descriptor(), 0);
    if (mapped == MAP_FAILED) return LastSystemError();
    ::madvise(mapped, size, MADV_SEQUENTIAL);
    data_ = static_cast<const uint8_t*>(mapped);
    size_ = size;
    mapped_ = true;
    return {};
  }
  if (spare.capacity >= size) {
    buffer_ = std::move(spare.bytes);
    capacity_ = spare.capacity;
    spare.capacity = 0;
  } else {
    buffer_.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer_) return SystemError(ENOMEM);
    capacity_ = size;
  }
  if (const std::error_code error = file.ReadAt(0, {buffer_.get(), size})) {
    Clear();
    return error;
  }
  data_ = buffer_.get();
  size_ = size;
  return {};
}

void MappedFile::Release(std::span<const uint8_t> part) {
  if (!mapped_ || part.empty() || part.data() < data_ || part.data() + part.size() > data_ + size_) {
    return;
  }
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<uintptr_t>(part.data());
  const uintptr_t from = (begin + page - 1) / page * page;
  const uintptr_t to = (begin + part.size()) / page * page;
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

}  // namespace keelpack::platform
