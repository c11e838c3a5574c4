#include "exif/exif_writer.h"

#include <cstdint>
#include <limits>
#include <string>

#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace keelpack {
namespace {

constexpr uint16_t kTagExifIfdPointer = 34665;
constexpr uint16_t kTypeLong = 4;
constexpr uint64_t kLargestOffset = std::numeric_limits<int32_t>::max();
constexpr size_t kLinkLength = 4;  // next-directory offset behind every directory
constexpr size_t kCountLength = 2;

using platform::Append;

}  // namespace

Status WriteReducedBlock(std::vector<KeptEntry>& rows, size_t ifd0Rows, ByteOrder byteOrder,
                         std::vector<uint8_t>& output) {
  // Block offsets of the two directories and the data area (TIFF 6.0 section 2: a directory
  // is a 2-byte count, 12-byte entries and a 4-byte link).
  const size_t exifCount = rows.size() - ifd0Rows;
  const bool hasExifIfd = exifCount > 0;
  const size_t ifd0Count = ifd0Rows + (hasExifIfd ? 1 : 0);  // with the Exif IFD pointer
  const uint64_t exifIfd =
      kTiffHeaderLength + kCountLength + kIfdEntryLength * ifd0Count + kLinkLength;
  const uint64_t dataArea =
      hasExifIfd ? exifIfd + kCountLength + kIfdEntryLength * exifCount + kLinkLength : exifIfd;

  uint64_t dataLength = 0;
  for (const KeptEntry& row : rows) dataLength += row.data.size();
  if (dataArea + dataLength > kLargestOffset) {
    return Failure::Content(platform::kFailOutOfRange, "Reduced Exif block too large");
  }

  uint64_t nextData = dataArea;
  const auto writeRow = [&](KeptEntry& row) {
    if (!row.data.empty()) {
      row.entry.SetValueField(PackLong(static_cast<uint32_t>(nextData), byteOrder));
      nextData += row.data.size();
    }
    output.insert(output.end(), row.entry.raw.begin(), row.entry.raw.end());
  };

  output.reserve(output.size() + dataArea - kTiffHeaderLength + dataLength);
  Append(output, PackShort(static_cast<uint16_t>(ifd0Count), byteOrder));
  for (size_t i = 0; i < ifd0Rows; ++i) writeRow(rows[i]);
  if (hasExifIfd) {
    // The pointer is always IFD0's last entry.
    Append(output, PackShort(kTagExifIfdPointer, byteOrder));
    Append(output, PackShort(kTypeLong, byteOrder));
    Append(output, PackLong(1, byteOrder));
    Append(output, PackLong(static_cast<uint32_t>(exifIfd), byteOrder));
  }
  Append(output, PackLong(0, byteOrder));  // no thumbnail directory

  if (hasExifIfd) {
    Append(output, PackShort(static_cast<uint16_t>(exifCount), byteOrder));
    for (size_t i = ifd0Rows; i < rows.size(); ++i) writeRow(rows[i]);
    Append(output, PackLong(0, byteOrder));
  }

  for (const KeptEntry& row : rows) output.insert(output.end(), row.data.begin(), row.data.end());
  return {};
}

void LogKeptEntries(LogSink& log, const std::vector<KeptEntry>& rows, ByteOrder byteOrder) {
  if (!log.Wants(kExplicit)) return;
  for (const KeptEntry& row : rows) {
    const IfdEntry& entry = row.entry;
    std::string line = "Tag " + std::to_string(entry.Tag(byteOrder)) + ", type " +
                       std::to_string(entry.Type(byteOrder)) + ", length " +
                       std::to_string(entry.Count(byteOrder)) + ", ptr " +
                       std::to_string(entry.ValueOrOffset(byteOrder)) + ", data ";
    line.append(row.data.begin(), row.data.end());
    line += InlineText(entry.ValueField(), entry.Length(byteOrder));
    log.WriteLog(line, kExplicit);
  }
}

}  // namespace keelpack
