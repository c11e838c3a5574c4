#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace keelpack {

// The rewritten file as it grows: the bytes the rewriter makes itself (segment headers, the
// data of the segments it keeps), with the entropy-coded data spliced in as views of the
// input, so that the bulk of a picture is never copied in memory before it is written.
class OutputBuffer {
 public:
  using ByteSpan = std::span<const uint8_t>;

  void Append(ByteSpan bytes) { own_.insert(own_.end(), bytes.begin(), bytes.end()); }
  void Append(uint8_t byte) { own_.push_back(byte); }
  // `bytes` must outlive the buffer.
  void AppendView(ByteSpan bytes);

  // Offsets into the bytes made by the rewriter, for changing a header already appended.
  size_t ownSize() const { return own_.size(); }
  uint8_t& ownAt(size_t offset) { return own_[offset]; }
  ByteSpan OwnFrom(size_t offset) const { return ByteSpan(own_).subspan(offset); }
  // True when nothing, and no view, came after own_[offset - 1].
  bool EndsAt(size_t offset) const;

  size_t size() const { return own_.size() + viewBytes_; }

  // The whole output, in order, as pieces for one gathered write.
  std::vector<ByteSpan> Pieces() const;

 private:
  struct View {
    size_t at = 0;  // the view follows own_[0 .. at)
    ByteSpan bytes;
  };
  std::vector<uint8_t> own_;
  std::vector<View> views_;
  size_t viewBytes_ = 0;
};

}  // namespace keelpack
