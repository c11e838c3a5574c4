#include "support/pictures.h"

#include <jpeglib.h>
#include <turbojpeg.h>

#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <memory>
#include <random>

#include "jpeg/turn_jpeg.h"

namespace keelpack::test {

Bytes EncodePicture(const PictureRecipe& recipe) {
  const int components = recipe.grayscale ? 1 : 3;
  // Smooth gradients with some noise: enough detail for many 0xFF bytes in the entropy
  // data, and so many stuffed bytes, as in real photographs.
  std::mt19937 noise(recipe.seed);
  Bytes pixels(static_cast<size_t>(recipe.width * recipe.height * components));
  for (size_t i = 0; i < pixels.size(); ++i) {
    const int at = static_cast<int>(i / components), c = static_cast<int>(i % components);
    const int x = at % recipe.width, y = at / recipe.width;
    pixels[i] = static_cast<uint8_t>(x * 255 / recipe.width + y * (c + 1) * 3 +
                                     static_cast<int>(noise() % 64));
  }

  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(recipe.width);
  cinfo.image_height = static_cast<JDIMENSION>(recipe.height);
  cinfo.input_components = components;
  cinfo.in_color_space = recipe.grayscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (recipe.rgb) jpeg_set_colorspace(&cinfo, JCS_RGB);
  jpeg_set_quality(&cinfo, recipe.quality, TRUE);
  cinfo.restart_interval = static_cast<unsigned>(recipe.restartInterval);
  if (recipe.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &pixels[static_cast<size_t>(cinfo.next_scanline) * recipe.width * components];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo), jpeg_destroy_compress(&cinfo);
  const std::unique_ptr<unsigned char, void (*)(void*)> owned(buffer, std::free);
  return Bytes(buffer, buffer + size);
}

std::optional<Pixels> DecodePixels(const Bytes& jpeg, bool strict) {
  std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  // A warning (stray bytes between segments, say) stops only a strict decode.
  const auto failed = [&](int status) {
    return status != 0 && (strict || tjGetErrorCode(handle.get()) == TJERR_FATAL);
  };
  if (!handle ||
      failed(tjDecompressHeader3(handle.get(), jpeg.data(), jpeg.size(), &width, &height,
                                 &subsampling, &colorspace)) ||
      width <= 0 || height <= 0)
    return std::nullopt;
  Pixels pixels{width, height, Bytes(static_cast<size_t>(width) * height * 3)};
  const int flags = strict ? TJFLAG_STOPONWARNING : 0;
  if (failed(tjDecompress2(handle.get(), jpeg.data(), jpeg.size(), pixels.rgb.data(), width, 0,
                           height, TJPF_RGB, flags)))
    return std::nullopt;
  return pixels;
}

// The picture a viewer shows for `p` stored with this Exif orientation (1 to 8), pixel by pixel.
static Pixels AsShown(const Pixels& p, int orientation) {
  const int w = p.width, h = p.height;
  const bool quarter = orientation >= 5;
  Pixels shown{quarter ? h : w, quarter ? w : h, Bytes(p.rgb.size())};
  for (int y = 0; y < shown.height; ++y)
    for (int x = 0; x < shown.width; ++x) {
      const std::pair<int, int> from[] = {
          {x, y}, {x, y},         {w - 1 - x, y},         {w - 1 - x, h - 1 - y}, {x, h - 1 - y},
          {y, x}, {y, h - 1 - x}, {w - 1 - y, h - 1 - x}, {w - 1 - y, x}};
      const auto [fx, fy] = from[orientation];
      std::copy_n(&p.rgb[3 * static_cast<size_t>(fy * w + fx)], 3,
                  &shown.rgb[3 * static_cast<size_t>(y * shown.width + x)]);
    }
  return shown;
}

testing::AssertionResult TurnedFrom(const Bytes& source, const Bytes& turned, int orientation) {
  constexpr int kRounding = 4;
  constexpr int kTurnBack[] = {0, 1, 2, 3, 4, 5, 8, 7, 6};
  const auto before = DecodePixels(source, false), after = DecodePixels(turned);
  if (!before || !after) return testing::AssertionFailure() << "does not decode";
  const Pixels expected = AsShown(*before, orientation);
  if (std::pair(after->width, after->height) != std::pair(expected.width, expected.height))
    return testing::AssertionFailure() << "size " << after->width << "x" << after->height;
  for (size_t i = 0; i < expected.rgb.size(); ++i)
    if (std::abs(after->rgb[i] - expected.rgb[i]) > kRounding)
      return testing::AssertionFailure() << "pixel value " << i;
  const Turned back = TurnJpeg(turned, kTurnBack[orientation], OptimizeChoice::kOff);
  if (DecodePixels(back.bytes) != before)
    return testing::AssertionFailure() << "turned back: " << back.declined;
  return testing::AssertionSuccess();
}

}  // namespace keelpack::test
