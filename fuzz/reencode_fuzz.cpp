// Feeds arbitrary bytes to the re-encoder. The first byte chooses sequential or progressive
// output; the rest is the JPEG. Whatever it does not decline must show exactly the pixels of
// its input.
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "jpeg/reencode.h"

namespace {

std::optional<std::vector<uint8_t>> Pixels(std::span<const uint8_t> jpeg) {
  std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (!handle || tjDecompressHeader3(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                                     &width, &height, &subsampling, &colorspace) != 0) {
    return std::nullopt;
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > (uint64_t{1} << 22)) return std::nullopt;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  if (tjDecompress2(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgb.data(), width,
                    0, height, TJPF_RGB, TJFLAG_STOPONWARNING) != 0) {
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
  if (!result.declined.empty()) return 0;
  const auto before = Pixels(jpeg);
  if (!before) return 0;  // a colour layout the checking decoder does not take
  const auto after = Pixels(result.bytes);
  if (!after || *after != *before) abort();
  return 0;
}
