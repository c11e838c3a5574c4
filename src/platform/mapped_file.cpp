#include "platform/mapped_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"

namespace keelpack::platform {
namespace {

// Small files are faulted in all at once: one call instead of one fault per page. Larger ones
// are faulted in as they are read, so that a long tail that is never read costs nothing.
constexpr size_t kPopulateAtMost = size_t{64} << 20;

}  // namespace

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
}

int MappedFile::Map(const File& file, size_t size) {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  if (size == 0) return 0;
  const int flags = MAP_PRIVATE | (size <= kPopulateAtMost ? MAP_POPULATE : 0);
  void* mapped = ::mmap(nullptr, size, PROT_READ, flags, file.descriptor(), 0);
  if (mapped == MAP_FAILED) return errno;
  ::madvise(mapped, size, MADV_SEQUENTIAL);
  data_ = static_cast<const uint8_t*>(mapped);
  size_ = size;
  return 0;
}

void MappedFile::Release(std::span<const uint8_t> part) {
  if (data_ == nullptr || part.empty() || part.data() < data_ || part.data() + part.size() > data_ + size_) {
    return;
  }
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<uintptr_t>(part.data());
  const uintptr_t from = (begin + page - 1) / page * page;
  const uintptr_t to = (begin + part.size()) / page * page;
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

}  // namespace keelpack::platform
