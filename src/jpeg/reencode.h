#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jpeg/choices.h"
#include "platform/memory_budget.h"

namespace keelpack {

class LogSink;

// What re-encoding one file gave: the new form, or why there is none.
struct Reencoded {
  std::vector<uint8_t> bytes;  // empty when declined
  std::string declined;        // the reason, empty when `bytes` holds the new form
};

// Codes the DCT coefficients of the complete JPEG `jpeg` again, losslessly (the coefficients
// are never turned into pixels), with optimised Huffman tables, sequential or progressive as
// `mode` says. Every APPn and COM segment reaches the new form unchanged and in its order,
// right after SOI, wherever it stood before (among the tables, between scans); nothing else
// is added. Declines anything the decoder warns about, arithmetic-coded, lossless, 12-bit or
// otherwise unusual files, and a picture whose coefficients and copies would take more memory
// than `budget`. The result may be larger than the input; the caller compares.
Reencoded ReencodeJpeg(std::span<const uint8_t> jpeg, OptimizeChoice mode,
                       uint64_t budget = platform::kPictureWorkBudget);

// What became of the re-encoding the options asked for.
struct ReencodingNote {
  enum class Kind { kNotAsked, kUsed, kNotSmaller, kDeclined };
  Kind kind = Kind::kNotAsked;
  std::string reason;  // for kDeclined: the decoder's or the re-encoder's reason
};

struct SmallerReencoding {
  std::optional<std::vector<uint8_t>> bytes;  // the new form, when it is smaller
  ReencodingNote note;
};

// Why a re-encoding, or a turn, declines a progressive picture whose scans leave bits of some
// coefficient unsent: decoders show it smoothed, and the same coefficients coded afresh would
// show other pixels.
inline constexpr const char* kIncompleteProgression =
    "progressive scans that leave coefficients incomplete";

// Whether `jpeg` is such a picture. Decodes the whole picture data of a progressive picture,
// and none of any other (false at once). False too when the data cannot be decoded, which the
// caller's own decoding then meets.
bool LeavesCoefficientsIncomplete(std::span<const uint8_t> jpeg);

// The rewriter's step: re-encodes its finished output `walked` when `mode` asks for it and
// gives the new form when it is smaller. Logs a decline at level 2 and the saving at level 3.
SmallerReencoding ReencodeIfSmaller(LogSink& log, OptimizeChoice mode,
                                    std::span<const uint8_t> walked);

// False when a file of `bytes` bytes is too large to be re-encoded within a job's memory,
// whatever its picture: its copies alone would take more. The rewriter then does not collect
// its output for re-encoding, and declines with Decline(log, kNoRoomToReencode).
bool ReencodingMayFit(uint64_t bytes);
inline constexpr std::string_view kNoRoomToReencode =
    "the picture needs more memory than a job may take";
ReencodingNote Decline(LogSink& log, std::string reason);

}  // namespace keelpack
