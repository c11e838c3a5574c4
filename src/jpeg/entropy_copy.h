#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace keelpack {

// Where the entropy-coded data at the start of `rest` ends.
struct EntropyEnd {
  size_t copied = 0;           // bytes of data, all copied to the output unchanged
  bool markerFound = false;    // a marker starts at rest[copied]; otherwise the input is used up
  bool endedOnLoneFF = false;  // the input's last byte is an 0xFF that starts no marker
};

// Finds the end of the entropy-coded data that follows an SOS segment or a restart marker.
//
// The quick scan trusts the file's last two bytes: when they are an EOI marker, everything up
// to that final EOI is data, whatever markers lie in between. The thorough scan stops at the
// first 0xFF that is neither a stuffed byte (FF 00) nor a restart marker (FF D0..D7). Both take
// time linear in the data's length.
EntropyEnd FindEntropyEnd(std::span<const uint8_t> rest, bool quickScan, bool fileEndsWithEoi);

}  // namespace keelpack
