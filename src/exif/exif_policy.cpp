#include "exif/exif_policy.h"

#include <algorithm>

#include "log/log_sink.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace keelpack {
namespace {

// Tag numbers from TIFF 6.0 and Exif 2.32.
constexpr uint16_t kTagImplausible = 0;  // what the walk makes of an entry it cannot trust
constexpr uint16_t kTagInteropIndex = 1;
constexpr uint16_t kTagInteropVersion = 2;
constexpr uint16_t kTagMake = 271;
constexpr uint16_t kTagModel = 272;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagXResolution = 282;
constexpr uint16_t kTagYResolution = 283;
constexpr uint16_t kTagSoftware = 305;
constexpr uint16_t kTagDateTime = 306;
constexpr uint16_t kTagRelatedImageFileFormat = 4096;
constexpr uint16_t kTagRelatedImageWidth = 4097;
constexpr uint16_t kTagRelatedImageLength = 4098;
constexpr uint16_t kTagCopyright = 33432;
constexpr uint16_t kTagExposureTime = 33434;
constexpr uint16_t kTagFNumber = 33437;
constexpr uint16_t kTagExifIfdPointer = 34665;
constexpr uint16_t kTagGpsIfdPointer = 34853;
constexpr uint16_t kTagIsoSpeedRatings = 34855;
constexpr uint16_t kTagDateTimeDigitized = 36868;
constexpr uint16_t kTagMaxApertureValue = 37381;
constexpr uint16_t kTagMakerNote = 37500;
constexpr uint16_t kTagUserComment = 37510;
constexpr uint16_t kTagColorSpace = 40961;
constexpr uint16_t kTagPixelXDimension = 40962;
constexpr uint16_t kTagPixelYDimension = 40963;
constexpr uint16_t kTagInteropIfdPointer = 40965;
constexpr uint16_t kTagFocalLengthIn35mmFilm = 41989;
constexpr uint16_t kTagBodySerialNumber = 42033;
constexpr uint16_t kTagPrintImageMatching = 50341;
constexpr uint16_t kTagPadding = 59932;

constexpr uint16_t kColorSpaceUncalibrated = 0xFFFF;
constexpr unsigned kLowestKeptOrientation = 2;  // 1 is the default and says nothing
// An unwanted tag's value field at or above this is taken for an offset into a large value;
// only smaller ones are worth an excerpt.
constexpr uint32_t kExcerptFieldLimit = 65500;
constexpr size_t kExcerptShown = 60;
constexpr size_t kCommentHeaderLength = 8;  // character code, Exif 2.32 table 9

Failure TableFull() {
  return Failure::Content(platform::kFailOutOfRange, "Too many Exif entries to keep");
}

enum class TagClass { kOrdinary, kSubDirectory, kOutOfScope, kUnwanted };

TagClass Classify(uint16_t tag) {
  switch (tag) {
    case kTagExifIfdPointer:
    case kTagInteropIfdPointer:
      return TagClass::kSubDirectory;
    case kTagImplausible:
    case kTagInteropIndex:
    case kTagInteropVersion:
    case kTagRelatedImageFileFormat:
    case kTagRelatedImageWidth:
    // The last of the Interoperability IFD's tags (Exif 2.32, table 21): the directory is not
    // carried over, so none of its tags may land in the Exif IFD.
    case kTagRelatedImageLength:
    case kTagMakerNote:
      return TagClass::kOutOfScope;
    case kTagDateTimeDigitized:
    case kTagDateTime:
    case kTagSoftware:
    case kTagCopyright:
    case kTagPadding:
    case kTagPixelXDimension:
    case kTagPixelYDimension:
    case kTagPrintImageMatching:
    case kTagBodySerialNumber:
    // The GPS directory is not carried over, so its pointer would point at nothing.
    case kTagGpsIfdPointer:
      return TagClass::kUnwanted;
    default:
      return TagClass::kOrdinary;
  }
}

bool IsUseful(uint16_t tag, bool keepDpi) {
  switch (tag) {
    case kTagModel:
    case kTagExposureTime:
    case kTagFNumber:
    case kTagIsoSpeedRatings:
    case kTagMaxApertureValue:
    case kTagFocalLengthIn35mmFilm:
      return true;
    case kTagXResolution:
    case kTagYResolution:
      return keepDpi;
    default:
      return false;
  }
}

bool IsHexDumpCharacter(char c) {
  return c == '\0' || c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
         (c >= 'a' && c <= 'f');
}

bool ContainsIgnoringCase(std::span<const uint8_t> data, std::string_view lowerNeedle) {
  return std::search(data.begin(), data.end(), lowerNeedle.begin(), lowerNeedle.end(),
                     [](uint8_t c, char n) {
                       return platform::LowerAscii(static_cast<char>(c)) == n;
                     }) != data.end();
}

// Whether a UserComment carries a comment: some text, unless the value is too short to
// hold the header at all; a value at all; and no filler.
bool KeepComment(std::span<const uint8_t> data, uint32_t count) {
  const std::string text = CommentText(data);
  return (!text.empty() || data.size() < kCommentHeaderLength) && (!data.empty() || count >= 1) &&
         !IsJunkText(text);
}

}  // namespace

bool IsJunkText(std::string_view text) {
  constexpr size_t kShortest = 32;
  constexpr size_t kLongRun = 200;
  if (text == "oppo_32") return true;
  if (text.size() < kShortest) return false;
  if (text.size() > kLongRun && text.find(' ') == std::string_view::npos &&
      (text.find("AAA") != std::string_view::npos || text.find('/') != std::string_view::npos)) {
    return true;
  }
  return std::all_of(text.begin(), text.end(), IsHexDumpCharacter);
}

std::string CommentText(std::span<const uint8_t> data) {
  if (data.size() <= kCommentHeaderLength) return {};
  std::string text(data.begin() + kCommentHeaderLength, data.end());
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
  return text;
}

bool NamesRepeatedBrand(std::span<const uint8_t> make) {
  return ContainsIgnoringCase(make, "nikon") || ContainsIgnoringCase(make, "canon") ||
         ContainsIgnoringCase(make, "pentax");
}

Result<EntryStep> ExifReduction::OnEntry(const ExifReader& reader, const IfdEntry& entry,
                                         uint16_t tag) {
  const ByteOrder order = reader.byteOrder();
  if (IsUseful(tag, keepDpi_)) ++usefulTags_;

  switch (Classify(tag)) {
    case TagClass::kSubDirectory:
      return EntryStep::kFollow;
    case TagClass::kOutOfScope:
      LogRemoval("Removing out-of-scope tag ", tag);
      LogExcerpt(reader, entry);
      return EntryStep::kNext;
    case TagClass::kUnwanted:
      LogRemoval("Removing unwanted tag ", tag);
      if (entry.ValueOrOffset(order) < kExcerptFieldLimit) LogExcerpt(reader, entry);
      return EntryStep::kNext;
    case TagClass::kOrdinary:
      break;
  }

  if (tag == kTagColorSpace && ReadShort(entry.ValueField(), order) == kColorSpaceUncalibrated) {
    Log("Removing unwanted color space tag");
    return EntryStep::kNext;
  }
  if (tag == kTagOrientation) {
    // The two bytes added: the SHORT's value in either byte order, for values below 256.
    const unsigned orientation = (unsigned{entry.raw[8]} + entry.raw[9]) % 256;
    // A value too long for the field (an orientation is one SHORT) lies elsewhere, and the
    // field's bytes are its offset, which says nothing and changes with every rewrite.
    if (orientation < kLowestKeptOrientation || entry.Length(order) > kInlineValueLength) {
      Log("Removing unwanted orientation tag");
      return EntryStep::kNext;
    }
    if (log_.Wants(kExplicit)) {
      Log("Keeping desirable orientation tag " + std::to_string(orientation));
    }
    ++usefulTags_;
  }

  if (rows_.size() == kKeptEntryLimit) return TableFull();
  const std::optional<std::span<const uint8_t>> value = reader.FetchValue(entry);
  if (!value) {
    LogRemoval("BAD EXIF TAG ", tag);
    return EntryStep::kNext;
  }
  if (tag == kTagMake && NamesRepeatedBrand(*value)) {
    Log("Discarding a brand repeated in the model ");
    return EntryStep::kNext;
  }
  if (tag == kTagUserComment) {
    if (!KeepComment(*value, entry.Count(order))) {
      Log("Removing empty comment ");
      return EntryStep::kNext;
    }
    ++usefulTags_;
  }
  rows_.push_back({entry, *value});
  return EntryStep::kNext;
}

void ExifReduction::Log(std::string_view line) { log_.WriteLog(line, kExplicit); }

void ExifReduction::LogRemoval(std::string_view what, uint16_t tag) {
  if (log_.Wants(kExplicit)) Log(std::string(what) + std::to_string(tag));
}

void ExifReduction::LogExcerpt(const ExifReader& reader, const IfdEntry& entry) {
  if (!log_.Wants(kExplicit)) return;
  Log("Length: " + std::to_string(entry.Length(reader.byteOrder())));
  const std::span<const uint8_t> excerpt = reader.Excerpt(entry);
  const size_t shown = std::min(excerpt.size(), kExcerptShown);
  Log("Excerpt: " + std::string(excerpt.begin(), excerpt.begin() + static_cast<long>(shown)));
}

}  // namespace keelpack
