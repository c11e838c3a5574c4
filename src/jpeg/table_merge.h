#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "jpeg/markers.h"
#include "jpeg/output_buffer.h"

namespace keelpack {

// As much of a segment's data as the log shows.
inline constexpr size_t kLoggedDataLength = 60;

// Appends a segment, its header then its data, to `out`. `copy` copies the data in; otherwise
// the output keeps a view of it.
void AppendSegment(OutputBuffer& out, const MarkerHeader& header, std::span<const uint8_t> data,
                   bool copy);

// Writes segments to the output, joining runs of DQT or of DHT segments into one segment each:
// a segment may hold several tables (ITU T.81, B.2.4.1 and B.2.4.2), and each join saves a
// 4-byte header. A table joins the one before it only while that one is still the output's last
// and the joined data stays below kMergeLimit bytes.
class TableMerger {
 public:
  static constexpr size_t kMergeLimit = 65000;

  explicit TableMerger(OutputBuffer& out) : out_(out) {}

  struct Written {
    bool joined = false;  // the segment's data went into the previous segment
    // The first bytes of the data of the segment it ended in, for the log; valid until the next
    // Write.
    std::span<const uint8_t> shown;
  };
  Written Write(const MarkerHeader& header, std::span<const uint8_t> data, bool copy);

  // Where the output is final: a table at its end may still change its length for a next one.
  size_t FinalEnd() const;

 private:
  bool PreviousIsLast() const { return havePrevious_ && out_.size() == previousEnd_; }

  OutputBuffer& out_;
  // The last segment written here lies in the output at [previousStart_, previousEnd_): its
  // header, then its data.
  size_t previousStart_ = 0;
  size_t previousEnd_ = 0;
  bool havePrevious_ = false;
  uint8_t previousCode_ = 0;
  std::vector<uint8_t> previousHead_;  // the first bytes of its data, for the log
};

}  // namespace keelpack
