#include "jpeg/output_buffer.h"

#include <algorithm>
#include <cstring>

namespace keelpack {

void OutputBuffer::Append(ByteSpan bytes) {
  if (bytes.empty()) return;
  if (blocks_.empty() || blockCapacity_ - blockUsed_ < bytes.size()) {
    blockCapacity_ = std::max(kBlockSize, bytes.size());
    // Not zeroed first: every byte is copied in before it is read, and clearing a whole block
    // for the few hundred bytes of a typical file's headers cost more than the rest of its walk.
    blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(blockCapacity_));
    blockUsed_ = 0;
  }
  const size_t block = firstBlock_ + blocks_.size() - 1;
  uint8_t* target = blocks_.back().get() + blockUsed_;
  std::memcpy(target, bytes.data(), bytes.size());
  blockUsed_ += bytes.size();
  pendingOwn_ += bytes.size();
  if (!pieces_.empty() && pieces_.back().own != nullptr && pieces_.back().block == block &&
      pieces_.back().own + pieces_.back().length == target) {
    pieces_.back().length += bytes.size();
  } else {
    pieces_.push_back({size_, target, bytes.size(), target, block});
  }
  size_ += bytes.size();
}

void OutputBuffer::AppendView(ByteSpan bytes) {
  if (bytes.empty()) return;
  pieces_.push_back({size_, bytes.data(), bytes.size(), nullptr, 0});
  size_ += bytes.size();
}

void OutputBuffer::Patch(size_t offset, uint8_t value) {
  for (auto piece = pieces_.rbegin(); piece != pieces_.rend(); ++piece) {
    if (piece->at <= offset) {
      if (piece->own != nullptr && offset < piece->at + piece->length)
        piece->own[offset - piece->at] = value;
      return;
    }
  }
}

std::vector<OutputBuffer::ByteSpan> OutputBuffer::Ready(size_t end) const {
  std::vector<ByteSpan> ready;
  for (const Piece& piece : pieces_) {
    if (piece.at >= end) break;
    ready.emplace_back(piece.bytes, std::min(piece.length, end - piece.at));
  }
  return ready;
}

void OutputBuffer::Forget(size_t end) {
  while (!pieces_.empty() && pieces_.front().at < end) {
    Piece& piece = pieces_.front();
    const size_t done = std::min(piece.length, end - piece.at);
    if (piece.own != nullptr) pendingOwn_ -= done;
    if (done < piece.length) {  // the rest of the piece stays
      piece.at += done;
      piece.bytes += done;
      if (piece.own != nullptr) piece.own += done;
      piece.length -= done;
      break;
    }
    pieces_.pop_front();
  }
  // Blocks before the first one still in use are given back; the last block stays for more.
  size_t needed = firstBlock_ + blocks_.size() - 1;
  for (const Piece& piece : pieces_) {
    if (piece.own != nullptr) needed = std::min(needed, piece.block);
  }
  while (firstBlock_ < needed && !blocks_.empty()) {
    blocks_.pop_front();
    ++firstBlock_;
  }
}

}  // namespace keelpack
