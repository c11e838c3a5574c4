#include "jpeg/entropy_copy.h"

#include <cstring>
#include <optional>

#include "jpeg/markers.h"

namespace keelpack {
namespace {

// With no marker in the data, every byte but the input's last is data: the byte-by-byte
// search needs two bytes to tell a marker, and the last one never has a partner.
EntropyEnd RunsToTheEnd(size_t size, bool endedOnLoneFF) {
  return {size == 0 ? 0 : size - 1, false, endedOnLoneFF};
}

}  // namespace

EntropyEnd FindEntropyEnd(std::span<const uint8_t> rest, bool quickScan, bool fileEndsWithEoi) {
  const size_t size = rest.size();
  if (quickScan && fileEndsWithEoi) {
    if (size < 2) return RunsToTheEnd(size, false);
    return {size - 2, true, false};
  }

  // Follow the chain of 0xFF bytes. Stuffed bytes and restart markers belong to the data;
  // the first other 0xFF ends it.
  const uint8_t* data = rest.data();
  std::optional<size_t> lastSkip;      // the last byte skipped as part of a stuffed byte or RST
  std::optional<size_t> firstRestart;  // the 0xFF of the first restart marker
  size_t from = 0;
  for (;;) {
    const void* found = from < size ? std::memchr(data + from, kMarkerLead, size - from) : nullptr;
    if (found == nullptr) break;
    const size_t at = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
    if (at + 1 == size) return RunsToTheEnd(size, true);
    const uint8_t next = data[at + 1];
    if (next == 0x00) {
      lastSkip = at;
      from = at + 1;
    } else if (IsRestartMarker(next)) {
      lastSkip = at + 1;
      if (!firstRestart) firstRestart = at;
      from = at + 2;
    } else {
      return {at, true, false};
    }
  }
  // Data that ends in a restart marker as the input's very last two bytes cannot be taken in
  // one stretch: the copy then stops at the first restart marker and the segment walk passes
  // it, exactly as it passes any marker.
  if (lastSkip && *lastSkip + 1 == size) return {*firstRestart, true, false};
  return RunsToTheEnd(size, false);
}

}  // namespace keelpack
