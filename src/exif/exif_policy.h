#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exif/exif_reader.h"
#include "exif/exif_writer.h"

// The per-entry decisions of the Exif reduction: which tags are counted as useful, which
// directories are followed, and which entries are kept.
namespace keelpack {

class LogSink;

// Rows the reduced block can hold. Camera blocks keep a few dozen; the limit is a sound
// stop for blocks that repeat directories.
inline constexpr size_t kKeptEntryLimit = 200;

// Whether a comment's text is filler that some writers put there instead of a comment: a
// fixed marker, a hexadecimal dump, or a long base64-like run.
bool IsJunkText(std::string_view text);

// The text of a UserComment value: the bytes behind its 8-byte character-code header
// (Exif 2.32, section 4.6.5), blanks trimmed from both ends, then trailing NUL and blank
// characters removed.
std::string CommentText(std::span<const uint8_t> data);

// Whether a Make value names a brand that the Model of those cameras repeats anyway.
bool NamesRepeatedBrand(std::span<const uint8_t> make);

// Decides entry by entry and collects the kept entries in walk order.
class ExifReduction : public EntryPolicy {
 public:
  // `usefulTags` is raised for every useful tag seen; the caller owns and resets it.
  ExifReduction(LogSink& log, bool keepDpi, int& usefulTags)
      : log_(log), keepDpi_(keepDpi), usefulTags_(usefulTags) {}

  Result<EntryStep> OnEntry(const ExifReader& reader, const IfdEntry& entry, uint16_t tag) override;
  void OnIfd0End() override { ifd0Rows_ = rows_.size(); }

  std::vector<KeptEntry>& rows() { return rows_; }
  size_t ifd0Rows() const { return ifd0Rows_; }

 private:
  void Log(std::string_view line);
  void LogRemoval(std::string_view what, uint16_t tag);
  void LogExcerpt(const ExifReader& reader, const IfdEntry& entry);

  LogSink& log_;
  bool keepDpi_;
  int& usefulTags_;
  std::vector<KeptEntry> rows_;
  size_t ifd0Rows_ = 0;
};

}  // namespace keelpack
