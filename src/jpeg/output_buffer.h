#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "platform/result.h"

namespace keelpack {

// The rewritten file as it grows, until it is handed on in order: the bytes the rewriter makes
// itself (segment headers, a reduced Exif block) are copied in, everything taken unchanged from
// the input (segment data, entropy-coded data) is kept as a view of the input. Pieces that are
// final are handed on and forgotten, so that what is held stays small whatever the file's size.
class OutputBuffer {
 public:
  using ByteSpan = std::span<const uint8_t>;

  void Append(ByteSpan bytes);
  void Append(uint8_t byte) { Append(ByteSpan(&byte, 1)); }
  // `bytes` must stay valid until they have been handed on.
  void AppendView(ByteSpan bytes);

  // Counts `length` bytes that the caller wrote to the output itself, right after everything
  // appended so far was handed on.
  void CountWritten(size_t length) { size_ += length; }

  // Output offset of the next byte: every byte appended so far, handed on or not.
  size_t size() const { return size_; }
  // Changes a byte that Append copied in and that has not been handed on yet.
  void Patch(size_t offset, uint8_t value);

  // What is held and not yet handed on.
  size_t pendingPieces() const { return pieces_.size(); }
  size_t pendingOwnBytes() const { return pendingOwn_; }

  // Hands the pieces before output offset `end` to `write`, in order, and forgets them.
  // Returns what `write` returned; nothing is forgotten on a failure.
  template <typename Write>
  Status HandOn(size_t end, Write&& write) {
    std::vector<ByteSpan> ready = Ready(end);
    if (ready.empty()) return {};
    if (Status written = write(std::span<const ByteSpan>(ready)); !written) return written;
    Forget(end);
    return {};
  }

 private:
  struct Piece {
    size_t at = 0;  // output offset of the first byte
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    uint8_t* own = nullptr;  // the same bytes when they were copied in; null for a view
    size_t block = 0;        // the block that holds copied bytes
  };
  std::vector<ByteSpan> Ready(size_t end) const;
  void Forget(size_t end);

  // Copied bytes live in blocks that never move, so that pieces can point into them.
  static constexpr size_t kBlockSize = size_t{64} << 10;
  std::deque<std::unique_ptr<uint8_t[]>> blocks_;
  size_t firstBlock_ = 0;  // number of the front block
  size_t blockUsed_ = 0;
  size_t blockCapacity_ = 0;  // of the last block
  std::deque<Piece> pieces_;
  size_t size_ = 0;
  size_t pendingOwn_ = 0;
};

}  // namespace keelpack
