#include "exif/orientation_exif.h"

#include <algorithm>
#include <array>

#include "exif/exif_reader.h"
#include "log/log_sink.h"
#include "platform/text.h"

namespace keelpack {
namespace {

// Tag numbers from TIFF 6.0 and Exif 2.32.
constexpr uint16_t kTagImageWidth = 256;
constexpr uint16_t kTagImageLength = 257;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagXResolution = 282;
constexpr uint16_t kTagYResolution = 283;
constexpr uint16_t kTagResolutionUnit = 296;
constexpr uint16_t kTagJpegInterchangeFormat = 513;
constexpr uint16_t kTagJpegInterchangeFormatLength = 514;
constexpr uint16_t kTagExifIfdPointer = 34665;
constexpr uint16_t kTagPixelXDimension = 40962;
constexpr uint16_t kTagPixelYDimension = 40963;

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;
constexpr size_t kRationalLength = 8;
constexpr size_t kLinkLength = 4;
// Orientations 5 to 8 turn the picture by a quarter: its width becomes its height.
constexpr int kFirstQuarterTurn = 5;
// An APP1 segment's length field counts itself: at most 65535 - 2 bytes of payload.
constexpr size_t kMaxPayload = 65533;

using platform::Append;

// One directory of a block: where it starts, how many entries it has and its link.
struct Ifd {
  uint32_t at = 0;
  uint16_t count = 0;
  uint32_t next = 0;
  // Block offset of entry i.
  uint64_t Entry(size_t i) const { return uint64_t{at} + 2 + kIfdEntryLength * i; }
};

// The TIFF structure of an Exif payload, read in place. Offsets are block offsets, counted
// from the TIFF header behind the 6-byte prefix.
class TiffView {
 public:
  static std::optional<TiffView> Of(std::span<const uint8_t> payload) {
    if (!HasExifPrefix(payload) || payload.size() < kExifPrefixLength + kTiffHeaderLength) {
      return std::nullopt;
    }
    TiffView view(payload);
    const std::span<const uint8_t> header = view.Bytes(0, kTiffHeaderLength);
    if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) return std::nullopt;
    view.order_ = header[0] == 'M' ? ByteOrder::kBigEndian : ByteOrder::kLittleEndian;
    if (ReadShort(header.subspan(2), view.order_) != kTiffMagic) return std::nullopt;
    view.ifd0_ = ReadLong(header.subspan(4), view.order_);
    return view;
  }

  ByteOrder order() const { return order_; }
  uint32_t ifd0() const { return ifd0_; }

  // `length` bytes at block offset `offset`, or an empty span when they are not all inside.
  std::span<const uint8_t> Bytes(uint64_t offset, uint64_t length) const {
    const uint64_t start = offset + kExifPrefixLength;
    if (start > payload_.size() || length > payload_.size() - start) return {};
    return payload_.subspan(start, length);
  }

  // The directory at `at`, when it lies wholly inside the block (offset 0 is no directory).
  std::optional<Ifd> Directory(uint32_t at) const {
    const std::span<const uint8_t> count = Bytes(at, 2);
    if (at == 0 || count.empty()) return std::nullopt;
    Ifd ifd{at, ReadShort(count, order_), 0};
    const std::span<const uint8_t> link = Bytes(ifd.Entry(ifd.count), kLinkLength);
    if (link.empty()) return std::nullopt;
    ifd.next = ReadLong(link, order_);
    return ifd;
  }

  // The block offset of the directory's entry with `tag`, or nothing.
  std::optional<uint64_t> Find(const Ifd& ifd, uint16_t tag) const {
    for (size_t i = 0; i < ifd.count; ++i) {
      if (ReadShort(Bytes(ifd.Entry(i), 2), order_) == tag) return ifd.Entry(i);
    }
    return std::nullopt;
  }

  IfdEntry EntryAt(uint64_t offset) const {
    IfdEntry entry;
    const std::span<const uint8_t> bytes = Bytes(offset, kIfdEntryLength);
    std::copy(bytes.begin(), bytes.end(), entry.raw.begin());
    return entry;
  }

  // The value of a single SHORT entry with `tag`, or nothing.
  std::optional<uint16_t> Short(const Ifd& ifd, uint16_t tag) const {
    const std::optional<IfdEntry> entry = Single(ifd, tag, kTypeShort);
    if (!entry) return std::nullopt;
    return ReadShort(entry->ValueField(), order_);
  }

  // The eight bytes of a single RATIONAL entry with `tag`, with a denominator above 0.
  std::optional<std::span<const uint8_t>> Rational(const Ifd& ifd, uint16_t tag) const {
    const std::optional<IfdEntry> entry = Single(ifd, tag, kTypeRational);
    if (!entry) return std::nullopt;
    const std::span<const uint8_t> value = Bytes(entry->ValueOrOffset(order_), kRationalLength);
    if (value.empty() || ReadLong(value.subspan(4), order_) == 0) return std::nullopt;
    return value;
  }

  // The value of a single SHORT or LONG entry with `tag` (the types a pointer, an offset or a
  // length takes), or nothing.
  std::optional<uint32_t> Number(const Ifd& ifd, uint16_t tag) const {
    if (const std::optional<uint16_t> value = Short(ifd, tag)) return *value;
    const std::optional<IfdEntry> entry = Single(ifd, tag, kTypeLong);
    if (!entry) return std::nullopt;
    return entry->ValueOrOffset(order_);
  }

 private:
  explicit TiffView(std::span<const uint8_t> payload) : payload_(payload) {}

  std::optional<IfdEntry> Single(const Ifd& ifd, uint16_t tag, uint16_t type) const {
    const std::optional<uint64_t> at = Find(ifd, tag);
    if (!at) return std::nullopt;
    const IfdEntry entry = EntryAt(*at);
    if (entry.Type(order_) != type || entry.Count(order_) != 1) return std::nullopt;
    return entry;
  }

  std::span<const uint8_t> payload_;
  ByteOrder order_ = ByteOrder::kLittleEndian;
  uint32_t ifd0_ = 0;
};

std::string RationalText(std::span<const uint8_t> value, ByteOrder order) {
  return std::to_string(ReadLong(value, order)) + "/" +
         std::to_string(ReadLong(value.subspan(4), order));
}

// Edits of a copy of the payload, at block offsets.
class PayloadEditor {
 public:
  PayloadEditor(std::span<const uint8_t> payload, ByteOrder order)
      : bytes_(payload.begin(), payload.end()), order_(order) {}

  std::vector<uint8_t>& bytes() { return bytes_; }

  void SetShort(uint64_t entry, uint16_t value) {
    const std::array<uint8_t, 2> packed = PackShort(value, order_);
    const std::array<uint8_t, 4> field{packed[0], packed[1], 0, 0};
    Put(entry + 8, field);
  }
  void SetLong(uint64_t entry, uint32_t value) { Put(entry + 8, PackLong(value, order_)); }

  // Swaps everything but the tags of two entries (type, count, value or offset), so that each
  // tag takes the other's value while the directory stays in tag order.
  void SwapValues(uint64_t first, uint64_t second) {
    const auto a = bytes_.begin() + static_cast<std::ptrdiff_t>(kExifPrefixLength + first);
    const auto b = bytes_.begin() + static_cast<std::ptrdiff_t>(kExifPrefixLength + second);
    std::swap_ranges(a + 2, a + kIfdEntryLength, b + 2);
  }

 private:
  // Callers pass offsets of entries found inside the payload, and write them before the
  // payload shrinks.
  template <size_t N>
  void Put(uint64_t offset, const std::array<uint8_t, N>& value) {
    std::copy(value.begin(), value.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(kExifPrefixLength + offset));
  }

  std::vector<uint8_t> bytes_;
  ByteOrder order_;
};

// Swaps the values of the two tags of a pair when the directory holds both.
bool SwapPair(const TiffView& view, PayloadEditor& editor, const Ifd& ifd, uint16_t first,
              uint16_t second) {
  const std::optional<uint64_t> a = view.Find(ifd, first), b = view.Find(ifd, second);
  if (!a || !b) return false;
  editor.SwapValues(*a, *b);
  return true;
}

// Puts the turned thumbnail where the old one stood when it ends the block or is not longer
// (the rest of the old one's bytes then padding of zeros), else at the block's end, and sets the
// entries that locate it. False, changing nothing, when the block would outgrow an APP1 segment.
bool PlaceThumbnail(PayloadEditor& editor, uint64_t formatEntry, uint64_t lengthEntry,
                    uint32_t offset, uint32_t length, const std::vector<uint8_t>& turned) {
  std::vector<uint8_t>& bytes = editor.bytes();
  size_t start = kExifPrefixLength + offset;
  const bool last = start + length == bytes.size();
  const bool inPlace = last || turned.size() <= length;
  if (!inPlace) start = bytes.size();
  if (std::max(bytes.size(), start + turned.size()) > kMaxPayload) return false;
  // The entries first: when they lie inside the old thumbnail (no camera writes that), the new
  // one overwrites them, but nothing is ever written past the block.
  editor.SetLong(formatEntry, static_cast<uint32_t>(start - kExifPrefixLength));
  editor.SetLong(lengthEntry, static_cast<uint32_t>(turned.size()));
  if (last || !inPlace) {
    bytes.resize(start + turned.size());
  } else {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(start), length, uint8_t{0});
  }
  std::copy(turned.begin(), turned.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
  return true;
}

}  // namespace

int ExifOrientation(std::span<const uint8_t> payload) {
  const std::optional<TiffView> view = TiffView::Of(payload);
  if (!view) return 0;
  const std::optional<Ifd> ifd0 = view->Directory(view->ifd0());
  if (!ifd0) return 0;
  const std::optional<uint16_t> value = view->Short(*ifd0, kTagOrientation);
  return value && *value >= kOrientationAsStored && *value <= kOrientationLast ? *value : 0;
}

std::optional<std::vector<uint8_t>> MinimalExifBlock(LogSink& log, std::span<const uint8_t> payload,
                                                     bool keepDpi, bool jfifDensity) {
  const std::optional<TiffView> view = TiffView::Of(payload);
  if (!view) return std::nullopt;
  const std::optional<Ifd> ifd0 = view->Directory(view->ifd0());
  if (!ifd0) return std::nullopt;
  const ByteOrder order = view->order();

  const int orientation = ExifOrientation(payload);
  const bool turns = orientation > kOrientationAsStored;
  std::optional<std::span<const uint8_t>> x, y;
  std::optional<uint16_t> unit;
  if (keepDpi && !jfifDensity) {
    x = view->Rational(*ifd0, kTagXResolution);
    y = view->Rational(*ifd0, kTagYResolution);
    unit = view->Short(*ifd0, kTagResolutionUnit);
  }
  const bool resolution = x && y;
  if (!turns && !resolution) return std::nullopt;

  // TIFF 6.0 section 2: the header, then IFD0 with its entries in ascending tag order and a
  // zero link, then the two resolutions' values.
  const uint16_t count = static_cast<uint16_t>((turns ? 1 : 0) + (resolution ? (unit ? 3 : 2) : 0));
  const uint32_t values =
      static_cast<uint32_t>(kTiffHeaderLength + 2 + kIfdEntryLength * count + kLinkLength);
  std::vector<uint8_t> block(payload.begin(), payload.begin() + kExifPrefixLength + 4);
  Append(block, PackLong(static_cast<uint32_t>(kTiffHeaderLength), order));
  Append(block, PackShort(count, order));
  const auto entry = [&](uint16_t tag, uint16_t type, std::array<uint8_t, 4> field) {
    Append(block, PackShort(tag, order));
    Append(block, PackShort(type, order));
    Append(block, PackLong(1, order));
    Append(block, field);
  };
  const auto shortField = [&](uint16_t value) {
    const std::array<uint8_t, 2> packed = PackShort(value, order);
    return std::array<uint8_t, 4>{packed[0], packed[1], 0, 0};
  };
  std::string kept;
  if (turns) {
    entry(kTagOrientation, kTypeShort, shortField(static_cast<uint16_t>(orientation)));
    kept = "orientation " + std::to_string(orientation);
  }
  if (resolution) {
    entry(kTagXResolution, kTypeRational, PackLong(values, order));
    entry(kTagYResolution, kTypeRational,
          PackLong(values + static_cast<uint32_t>(kRationalLength), order));
    if (unit) entry(kTagResolutionUnit, kTypeShort, shortField(*unit));
    kept += std::string(kept.empty() ? "" : ", ") + "resolution " + RationalText(*x, order) +
            " by " + RationalText(*y, order) + (unit ? ", unit " + std::to_string(*unit) : "");
  }
  Append(block, PackLong(0, order));
  if (resolution) {
    Append(block, *x);
    Append(block, *y);
  }
  // The standard prefix: "Exif" and two zero bytes.
  block[4] = 0;
  block[5] = 0;
  if (log.Wants(kExplicit)) log.WriteLog("Minimal EXIF block kept: " + kept, kExplicit);
  return block;
}

TurnedExif ExifForTurnedPicture(LogSink& log, std::span<const uint8_t> payload, int orientation,
                                const ThumbnailTurner& turnThumbnail) {
  TurnedExif result;
  const std::optional<TiffView> view = TiffView::Of(payload);
  const std::optional<Ifd> ifd0 = view ? view->Directory(view->ifd0()) : std::nullopt;
  if (!ifd0) {
    result.refused = "the EXIF block cannot be read";
    return result;
  }
  PayloadEditor editor(payload, view->order());
  if (orientation <= kOrientationAsStored || orientation > kOrientationLast) {
    result.payload = std::move(editor.bytes());
    return result;
  }
  const bool quarter = orientation >= kFirstQuarterTurn;
  std::string changed = "orientation 1";
  const auto upright = [&](const Ifd& ifd) {
    if (const std::optional<uint64_t> at = view->Find(ifd, kTagOrientation))
      editor.SetShort(*at, kOrientationAsStored);
  };
  const auto swapDimensions = [&](const Ifd& ifd, uint16_t width, uint16_t height) {
    if (quarter && SwapPair(*view, editor, ifd, width, height))
      changed += ", width and height swapped";
  };

  upright(*ifd0);
  swapDimensions(*ifd0, kTagImageWidth, kTagImageLength);
  if (quarter) SwapPair(*view, editor, *ifd0, kTagXResolution, kTagYResolution);
  if (const std::optional<uint32_t> exifAt = view->Number(*ifd0, kTagExifIfdPointer)) {
    if (const std::optional<Ifd> exif = view->Directory(*exifAt)) {
      swapDimensions(*exif, kTagPixelXDimension, kTagPixelYDimension);
    }
  }

  const std::optional<Ifd> ifd1 = view->Directory(ifd0->next);
  const std::optional<uint32_t> offset =
      ifd1 ? view->Number(*ifd1, kTagJpegInterchangeFormat) : std::nullopt;
  const std::optional<uint32_t> length =
      ifd1 ? view->Number(*ifd1, kTagJpegInterchangeFormatLength) : std::nullopt;
  const std::span<const uint8_t> thumbnail =
      offset && length ? view->Bytes(*offset, *length) : std::span<const uint8_t>{};
  if (turnThumbnail && !thumbnail.empty()) {
    const std::optional<std::vector<uint8_t>> turned = turnThumbnail(thumbnail);
    if (!turned) {
      result.refused = "the EXIF thumbnail cannot turn without loss";
      return result;
    }
    upright(*ifd1);
    if (quarter) SwapPair(*view, editor, *ifd1, kTagImageWidth, kTagImageLength);
    if (!PlaceThumbnail(editor, *view->Find(*ifd1, kTagJpegInterchangeFormat),
                        *view->Find(*ifd1, kTagJpegInterchangeFormatLength), *offset, *length,
                        *turned)) {
      result.refused = "the turned EXIF thumbnail does not fit in the segment";
      return result;
    }
    changed += ", thumbnail turned";
  }
  if (log.Wants(kExplicit)) log.WriteLog("EXIF follows the turned picture: " + changed, kExplicit);
  result.payload = std::move(editor.bytes());
  return result;
}

}  // namespace keelpack
