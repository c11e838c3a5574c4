#include "platform/system.h"

#include <turbojpeg.h>
#include <unistd.h>

#include <memory>
#include <span>
#include <vector>

#include "platform/file.h"
#include "platform/mapped_file.h"

namespace keelpack::platform {

std::string ProcessId() { return std::to_string(::getpid()); }

namespace {

// A decoder that goes through a picture in several passes (a progressive picture, or one whose
// colours come in separate scans) holds every block of it in memory at once, 128 bytes per
// 8x8 block. The check refuses a picture that would need more, whatever its kind, before the
// decoder allocates anything: a small file can declare a frame of gigapixels.
constexpr size_t kMaxCoefficientBytes = size_t{1} << 30;
// The decoded pixels: a huge picture is decoded scaled down (every byte of the picture data is
// still decoded) rather than into gigabytes of pixels.
constexpr size_t kMaxPixelBytes = size_t{256} << 20;

size_t CoefficientBytes(int width, int height, int subsampling, int colorspace) {
  const auto blocks = [](int pixels, int unit) { return (static_cast<size_t>(pixels) + unit - 1) / unit; };
  const size_t luma = blocks(width, 8) * blocks(height, 8);
  size_t total = luma;
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
    total = 4 * luma;
  } else if (colorspace != TJCS_GRAY && subsampling >= 0 && subsampling < TJ_NUMSAMP) {
    total += 2 * blocks(width, tjMCUWidth[subsampling]) * blocks(height, tjMCUHeight[subsampling]);
  } else if (colorspace != TJCS_GRAY) {
    total = 3 * luma;
  }
  return total * 128;
}

}  // namespace

bool LoadsAsPicture(const File& file) {
  File::Status status;
  if (file.GetStatus(status) || status.size <= 0) return false;
  MappedFile jpeg;
  if (jpeg.Map(file, static_cast<size_t>(status.size))) return false;
  return LoadsAsPicture(jpeg.bytes());
}

bool LoadsAsPicture(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return false;
  std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
  if (!decoder) return false;
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(decoder.get(), bytes.data(), bytes.size(), &width, &height, &subsampling,
                          &colorspace) != 0 ||
      width <= 0 || height <= 0) {
    return false;
  }
  if (CoefficientBytes(width, height, subsampling, colorspace) > kMaxCoefficientBytes) return false;
  // Each picture decodes into its own kind of pixels: a CMYK picture cannot become RGB.
  const int format = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK ? TJPF_CMYK
                     : colorspace == TJCS_GRAY                          ? TJPF_GRAY
                                                                        : TJPF_RGB;
  const size_t pixelSize = static_cast<size_t>(tjPixelSize[format]);
  int factors = 0;
  const tjscalingfactor* scales = tjGetScalingFactors(&factors);
  size_t bestWidth = 0, bestHeight = 0;
  for (int i = 0; scales != nullptr && i < factors; ++i) {
    if (scales[i].num > scales[i].denom) continue;
    const auto w = static_cast<size_t>(TJSCALED(width, scales[i]));
    const auto h = static_cast<size_t>(TJSCALED(height, scales[i]));
    if (w * h * pixelSize <= kMaxPixelBytes && w * h > bestWidth * bestHeight) {
      bestWidth = w;
      bestHeight = h;
    }
  }
  if (bestWidth == 0) return false;
  const size_t pixelBytes = bestWidth * bestHeight * pixelSize;
  std::vector<uint8_t> pixels(pixelBytes);
  return tjDecompress2(decoder.get(), bytes.data(), bytes.size(), pixels.data(),
                       static_cast<int>(bestWidth), 0, static_cast<int>(bestHeight), format,
                       TJFLAG_STOPONWARNING) == 0;
}

}  // namespace keelpack::platform
