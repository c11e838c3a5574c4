#include "platform/system.h"

#include <turbojpeg.h>
#include <unistd.h>

#include <ctime>
#include <memory>
#include <vector>

#include "platform/files.h"

namespace keelpack::platform {

double SecondsSinceMidnight() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string ProcessId() { return std::to_string(::getpid()); }

bool LoadsAsPicture(const std::string& path) {
  std::vector<uint8_t> jpeg;
  if (ReadWholeFile(path, jpeg) != 0 || jpeg.empty()) return false;
  std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
  if (!decoder) return false;
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(decoder.get(), jpeg.data(), jpeg.size(), &width, &height, &subsampling,
                          &colorspace) != 0 ||
      width <= 0 || height <= 0) {
    return false;
  }
  // Each picture decodes into its own kind of pixels: a CMYK picture cannot become RGB.
  const int format = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK ? TJPF_CMYK
                     : colorspace == TJCS_GRAY                          ? TJPF_GRAY
                                                                        : TJPF_RGB;
  // Every byte of the picture data is decoded whatever the scale, so a huge picture is
  // decoded scaled down rather than into gigabytes of pixels.
  constexpr size_t kMaxPixelBytes = size_t{256} << 20;
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
  return tjDecompress2(decoder.get(), jpeg.data(), jpeg.size(), pixels.data(),
                       static_cast<int>(bestWidth), 0, static_cast<int>(bestHeight), format,
                       TJFLAG_STOPONWARNING) == 0;
}

}  // namespace keelpack::platform
