#include "platform/mapped_file.h"

#include <cerrno>
#include <new>

#include "platform/file.h"

namespace keelpack::platform {
namespace {

// Each thread keeps the buffer of the file it read last, up to this size, so that a run of
// files does not pay a fresh allocation, and a page fault per 4 KiB of it, for every one. A
// larger buffer is given back at once: after one huge file, the files that follow do not
// keep its memory.
constexpr size_t kKeepAtMost = size_t{64} << 20;

struct SpareBuffer {
  std::unique_ptr<uint8_t[]> bytes;
  size_t capacity = 0;
};
thread_local SpareBuffer spare;

}  // namespace

MappedFile::~MappedFile() { Clear(); }

void MappedFile::Clear() {
  if (buffer_ && capacity_ >= spare.capacity && capacity_ <= kKeepAtMost) {
    spare.bytes = std::move(buffer_);
    spare.capacity = capacity_;
  }
  buffer_.reset();
  capacity_ = 0;
  data_ = nullptr;
  size_ = 0;
}

Status MappedFile::Map(const File& file, size_t size) {
  Clear();
  if (size == 0) return {};
  if (spare.capacity >= size) {
    buffer_ = std::move(spare.bytes);
    capacity_ = spare.capacity;
    spare.capacity = 0;
  } else {
    buffer_.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer_) return Failure::System(ENOMEM);
    capacity_ = size;
  }
  if (Status read = file.ReadAt(0, {buffer_.get(), size}); !read) {
    Clear();
    return read;
  }
  data_ = buffer_.get();
  size_ = size;
  return {};
}

}  // namespace keelpack::platform
