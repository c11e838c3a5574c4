#include "jpeg/exif_segment.h"

#include "exif/orientation_exif.h"
#include "exif/reduce_exif.h"
#include "log/log_sink.h"

namespace keelpack {

bool ExifRule::KeptWhole() const {
  return choice == ExifChoice::kKeep || (choice == ExifChoice::kDelete && !remove.Contains(kApp1));
}

ExifSegmentPlan ExifRule::Plan(LogSink& log, std::span<const uint8_t> payload, bool jfifDensity,
                               std::string_view nameForLog) const {
  using Fate = ExifSegmentPlan::Fate;
  if (KeptWhole()) return {};
  if (choice == ExifChoice::kDelete) {
    std::optional<std::vector<uint8_t>> minimal =
        MinimalExifBlock(log, payload, keepDpi, keepDpi && !remove.Contains(kApp0) && jfifDensity);
    if (!minimal) return {Fate::kRemove, std::nullopt};
    return {Fate::kWrite, std::move(minimal)};
  }
  // In memory: no copy of the block, which may hold a serial number or a position, is ever
  // written anywhere but into the photo's own rewrite.
  ExifSegmentPlan plan;
  std::vector<uint8_t> reduced;
  int usefulTags = 0;
  const Result<ExifReduced> result =
      ReduceExifBlock(log, keepDpi, payload, reduced, usefulTags, nameForLog);
  if (result && *result == ExifReduced::kReduced && reduced.size() <= kMaxSegmentData) {
    plan.payload = std::move(reduced);
  } else {
    log.WriteLog("Cannot reduce EXIF size", kVerbose);
  }
  if (usefulTags == 0) {
    log.WriteLog("EXIF removed", kExplicit);
    plan.fate = Fate::kDrop;
  }
  return plan;
}

}  // namespace keelpack
