#include "jpeg/output_buffer.h"

namespace keelpack {

void OutputBuffer::AppendView(ByteSpan bytes) {
  if (bytes.empty()) return;
  views_.push_back({own_.size(), bytes});
  viewBytes_ += bytes.size();
}

bool OutputBuffer::EndsAt(size_t offset) const {
  return offset == own_.size() && (views_.empty() || views_.back().at < offset);
}

std::vector<OutputBuffer::ByteSpan> OutputBuffer::Pieces() const {
  std::vector<ByteSpan> pieces;
  pieces.reserve(views_.size() * 2 + 1);
  size_t from = 0;
  for (const View& view : views_) {
    if (view.at > from) pieces.push_back(ByteSpan(own_).subspan(from, view.at - from));
    pieces.push_back(view.bytes);
    from = view.at;
  }
  if (own_.size() > from) pieces.push_back(ByteSpan(own_).subspan(from));
  return pieces;
}

}  // namespace keelpack
