#include "jobs/rewrite_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <utility>
#include <vector>

#include "jpeg/reencode.h"
#include "jpeg/turn_jpeg.h"
#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/mapped_file.h"
#include "platform/result.h"
#include "settings/option_set.h"

namespace keelpack {
namespace {

using ByteSpan = std::span<const uint8_t>;

// A file job drops every segment that carries no picture, but keeps colour profiles (APP2)
// when the user keeps them all.
constexpr MarkerSet kJobRemovals = {kApp12, kApp13, kApp1, kCom, kApp14};

// With the quick scan, picture data of at least this length is copied from file to file inside
// the kernel, and only the segments before it are read: the bytes of a photo then pass through
// memory once instead of three times. The first read takes this much of the file's head and
// grows when the segments run on.
constexpr size_t kKernelCopyAtLeast = size_t{64} << 10;
constexpr size_t kHeadRead = size_t{32} << 10;

constexpr uint8_t kEoiBytes[] = {0xFF, 0xD9};

// The input's bytes as the rewrite reads them.
class SourceBytes {
 public:
  // Reads only the segments before the first scan and the last two bytes when the quick scan
  // will take everything between them as picture data (the file ends with an EOI) and there is
  // enough of it to be worth copying inside the kernel; otherwise the whole file.
  Status Read(const platform::File& file, size_t size, bool endsMayDo) {
    size_ = size;
    if (endsMayDo && size >= kKernelCopyAtLeast) {
      bool done = false;
      if (Status read = ReadEnds(file, done); !read) return read;
      if (done) return {};
    }
    head_.clear();
    return map_.Map(file, size);
  }

  PictureInput input() const {
    if (map_.bytes().size() == size_) return PictureInput::Whole(map_.bytes());
    return {head_, size_, tail_};
  }

 private:
  // Each read goes on from where the last one ended, so that large header segments cost one
  // read of their bytes.
  Status ReadEnds(const platform::File& file, bool& done) {
    if (Status read = file.ReadAt(static_cast<int64_t>(size_ - tail_.size()), tail_); !read)
      return read;
    if (!std::equal(tail_.begin(), tail_.end(), std::begin(kEoiBytes))) return {};
    HeadExtent extent;
    for (size_t want = kHeadRead;;) {
      // A head that reaches the last two bytes is the whole file.
      if (want + tail_.size() >= size_) return {};
      const size_t had = head_.size();
      head_.resize(want);
      if (Status read = file.ReadAt(static_cast<int64_t>(had), std::span(head_).subspan(had));
          !read)
        return read;
      extent = FindHeadExtent(head_, extent.resumeAt);
      if (extent.dataStart != 0) {
        // The head ends before the last two bytes, so the data's start does too.
        done = size_ - tail_.size() - extent.dataStart >= kKernelCopyAtLeast;
        return {};
      }
      // Segments that fill half the file or more are read with the rest of it.
      if (extent.needed == 0 || extent.needed > size_ / 2) return {};
      want = extent.needed + kHeadRead;
    }
  }

  size_t size_ = 0;
  std::vector<uint8_t> head_;
  std::array<uint8_t, 2> tail_{};
  platform::MappedFile map_;
};

// Writes the rewrite's output into the new file.
class FileSink : public RewriteSink {
 public:
  FileSink(const platform::File& input, platform::File& output) : input_(input), output_(output) {}

  Status Write(std::span<const ByteSpan> pieces) override { return output_.WriteGathered(pieces); }

  // Exactly the stretch that was judged: a file that grew since gives no more, one that was
  // cut short fails the copy.
  Status CopyInput(uint64_t offset, uint64_t length) override {
    return output_.CopyRangeFrom(input_, static_cast<int64_t>(offset),
                                 static_cast<int64_t>(length));
  }

 private:
  const platform::File& input_;
  platform::File& output_;
};

// Takes the output of a dry run: keeps it when asked to, else lets it go.
class JudgingSink : public RewriteSink {
 public:
  explicit JudgingSink(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
  Status Write(std::span<const ByteSpan> pieces) override {
    try {
      for (ByteSpan piece : pieces) {
        if (bytes_) bytes_->insert(bytes_->end(), piece.begin(), piece.end());
      }
    } catch (const std::bad_alloc&) {
      return Failure::System(ENOMEM);
    }
    return {};
  }
  // Only asked for when the input was read in part, which a kept output rules out.
  Status CopyInput(uint64_t, uint64_t) override { return {}; }

 private:
  std::vector<uint8_t>* bytes_;
};

RewriteOutcome Failed(LogSink& log, const std::string& name, Failure failure,
                      RewriteOutcome outcome = {}) {
  log.WriteLog("Failed to open file " + name, kBrief);
  outcome.result = std::move(failure);
  return outcome;
}

// Reads `input` as the rewrite under `options` needs it, whole when `whole`; `status` gets its
// size, times and permissions. The failure the reading met, if any.
Status ReadSource(const RewriteOptions& options, const platform::File& input, bool whole,
                  platform::File::Status& status, SourceBytes& source) {
  const Result<platform::File::Status> found = input.GetStatus();
  if (!found) return found.error();
  status = *found;
  const auto size = static_cast<uint64_t>(std::max<int64_t>(status.size, 0));
  // Re-encoding and turning need every byte in memory (unless the file is too large for them
  // anyway), the thorough scan looks at every byte.
  const bool reencoding = options.optimize != OptimizeChoice::kOff && ReencodingMayFit(size);
  const bool turning = options.upright && TurnMayFit(size);
  const bool endsMayDo = options.quickScan && !reencoding && !turning && !whole;
  try {
    return source.Read(input, static_cast<size_t>(size), endsMayDo);
  } catch (const std::bad_alloc&) {
    return Failure::System(ENOMEM);
  }
}

}  // namespace

RewriteOptions RewriteOptionsFor(const OptionSet& o) {
  RewriteOptions options;
  options.remove = kJobRemovals;
  if (o.icc != IccPolicy::kKeepAll) options.remove.Add(kApp2);
  options.exif = o.exif;
  options.quickScan = o.slow == 0;
  options.icc = o.icc;
  options.keepDpi = o.keepDpi();
  options.optimize = o.optimize;
  options.upright = o.turnUpright();
  return options;
}

RewriteOutcome RewriteFile(const RewriteOptions& options, const platform::File& input,
                           platform::File& output, const std::string& nameForLog, LogSink& log,
                           platform::File::Status& status) {
  SourceBytes source;
  if (Status read = ReadSource(options, input, false, status, source); !read)
    return Failed(log, nameForLog, read.error());
  FileSink sink(input, output);
  RewriteOutcome outcome = RewritePicture(options, source.input(), nameForLog, log, sink);
  if (!Rewritten(outcome.result)) return outcome;

  // The time and the attributes go on while the file is still open: nothing is written after.
  (void)output.SetLastWriteTime(status.lastWrite);
  log.WriteLog("Time set, restoring attributes..." + std::to_string(status.attributes.mode),
               kExplicit);
  const Status attributesSet = output.SetAttributes(status.attributes);
  if (Status flushed = output.Flush(); !flushed)
    return Failed(log, nameForLog, flushed.error(), outcome);
  if (!attributesSet) {
    log.WriteLog("Failed to open file " + nameForLog, kBrief);
    log.WriteLog("Attributes failed.", kExplicit);
  }
  return outcome;
}

RewriteOutcome JudgeFile(const RewriteOptions& options, const platform::File& input,
                         const std::string& nameForLog, LogSink& log,
                         platform::File::Status& status, std::vector<uint8_t>* bytes) {
  SourceBytes source;
  // A kept output is complete in memory, which needs the whole input.
  if (Status read = ReadSource(options, input, bytes != nullptr, status, source); !read) {
    return Failed(log, nameForLog, read.error());
  }
  JudgingSink sink(bytes);
  const RewriteOutcome outcome = RewritePicture(options, source.input(), nameForLog, log, sink);
  // The line a real run gives, so that a dry run reads the same.
  if (Rewritten(outcome.result)) {
    log.WriteLog("Time set, restoring attributes..." + std::to_string(status.attributes.mode),
                 kExplicit);
  }
  return outcome;
}

}  // namespace keelpack
