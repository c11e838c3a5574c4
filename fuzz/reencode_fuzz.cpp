// Feeds arbitrary bytes to the re-encoder and the turn. The first byte chooses sequential or
// progressive output and the orientation to turn by; the rest is the JPEG. Whatever the
// re-encoder does not decline must show exactly the pixels of its input, and whatever the turn
// does not decline, turned back, too.
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "jpeg/reencode.h"
#include "jpeg/turn_jpeg.h"

namespace {

std::optional<std::vector<uint8_t>> Pixels(std::span<const uint8_t> jpeg) {
  std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (!handle ||
      tjDecompressHeader3(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                          &width, &height, &subsampling, &colorspace) != 0) {
    return std::nullopt;
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > (uint64_t{1} << 22))
    return std::nullopt;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  if (tjDecompress2(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgb.data(),
                    width, 0, height, TJPF_RGB, TJFLAG_STOPONWARNING) != 0) {
    return std::nullopt;
  }
  return rgb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::span<const uint8_t> jpeg(data + 1, size - 1);
  const keelpack::OptimizeChoice mode =
      (data[0] & 1) ? keelpack::OptimizeChoice::kProgressive : keelpack::OptimizeChoice::kHuffman;
  const keelpack::Reencoded result = keelpack::ReencodeJpeg(jpeg, mode);
  if (result.declined.empty() == result.bytes.empty()) abort();  // exactly one of the two
  const int orientation = 1 + (data[0] >> 1) % 8;
  const int inverse[] = {0, 1, 2, 3, 4, 5, 8, 7, 6};
  const keelpack::Turned turned = keelpack::TurnJpeg(jpeg, orientation, mode);
  if (turned.declined.empty() == turned.bytes.empty()) abort();
  const auto before = Pixels(jpeg);
  if (!before) return 0;  // a colour layout the checking decoder does not take
  if (result.declined.empty()) {
    const auto after = Pixels(result.bytes);
    if (!after || *after != *before) abort();
  }
  if (turned.declined.empty()) {
    // Turning back may decline what turned, where the turned form codes the same blocks in far
    // fewer bytes than the limit on a picture's size for its data allows.
    const keelpack::Turned back = keelpack::TurnJpeg(turned.bytes, inverse[orientation], mode);
    if (back.declined.empty() && Pixels(back.bytes) != before) abort();
  }
  return 0;
}
