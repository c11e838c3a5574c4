#include "jpeg/table_merge.h"

#include <algorithm>

namespace keelpack {
namespace {

constexpr size_t kHeaderSize = 4;

constexpr bool Mergeable(uint8_t code) { return code == kDqt || code == kDht; }

void AppendData(OutputBuffer& out, std::span<const uint8_t> data, bool copy) {
  if (copy) {
    out.Append(data);
  } else {
    out.AppendView(data);
  }
}

}  // namespace

void AppendSegment(OutputBuffer& out, const MarkerHeader& header, std::span<const uint8_t> data,
                   bool copy) {
  const uint8_t bytes[kHeaderSize] = {header.lead, header.code, header.lengthHigh,
                                      header.lengthLow};
  out.Append(bytes);
  AppendData(out, data, copy);
}

TableMerger::Written TableMerger::Write(const MarkerHeader& header, std::span<const uint8_t> data,
                                        bool copy) {
  const size_t previousDataLength =
      PreviousIsLast() ? previousEnd_ - previousStart_ - kHeaderSize : 0;
  if (Mergeable(header.code) && header.code == previousCode_ && PreviousIsLast() &&
      previousDataLength + data.size() < kMergeLimit) {
    // The joined segment is the previous header with the new length, the previous data, then
    // this segment's data; the previous data is already in place.
    const size_t length = previousDataLength + data.size() + 2;
    out_.Patch(previousStart_ + 2, static_cast<uint8_t>(length / 256));
    out_.Patch(previousStart_ + 3, static_cast<uint8_t>(length % 256));
    AppendData(out_, data, copy);
    previousEnd_ = out_.size();
    const size_t more = std::min(
        data.size(), kLoggedDataLength - std::min(kLoggedDataLength, previousHead_.size()));
    previousHead_.insert(previousHead_.end(), data.begin(),
                         data.begin() + static_cast<ptrdiff_t>(more));
    return {true, previousHead_};
  }
  previousStart_ = out_.size();
  AppendSegment(out_, header, data, copy);
  previousEnd_ = out_.size();
  havePrevious_ = true;
  previousCode_ = header.code;
  previousHead_.assign(data.begin(), data.begin() + static_cast<ptrdiff_t>(
                                                        std::min(data.size(), kLoggedDataLength)));
  return {false, data};
}

size_t TableMerger::FinalEnd() const {
  return PreviousIsLast() && Mergeable(previousCode_) ? previousStart_ : out_.size();
}

}  // namespace keelpack
