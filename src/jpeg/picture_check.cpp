#include "jpeg/picture_check.h"

#include <csetjmp>
#include <cstdio>
#include <span>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "platform/file.h"
#include "platform/mapped_file.h"
#include "platform/memory_budget.h"

namespace keelpack {

using platform::File;
using platform::kBytesPerBlock;
using platform::kPictureWorkBudget;
using platform::MappedFile;

namespace {

// A decoder that goes through a picture in several passes (a progressive picture, or one whose
// colours come in separate scans) holds every block of it in memory at once: the check refuses
// one that would take a job past its memory, before the decoder allocates anything (a small
// file can declare a frame of gigapixels). A picture of one pass is decoded a few rows at a
// time, in little memory whatever its size.
// A huge picture is decoded scaled down (every byte of the picture data is still decoded), so
// that its check takes about as long as that of a picture of this many bytes of pixels.
constexpr uint64_t kMaxPixelBytes = uint64_t{256} << 20;
constexpr unsigned kScales[] = {1, 2, 4, 8};

// The library reports failures by calling back; these callbacks jump back to the one place
// that catches them, so nothing between may own resources.
struct Check {
  struct {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
  } err{};
  jpeg_decompress_struct in{};
  bool created = false;
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<decltype(Check::err)*>(cinfo->err)->jump, 1);
}

// Any warning fails the check, as an error does.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) JumpBack(cinfo);
}

bool Decodes(Check& c, std::span<const uint8_t> bytes, uint64_t budget) {
  if (setjmp(c.err.jump)) return false;
  c.in.err = jpeg_std_error(&c.err.pub);
  c.err.pub.error_exit = JumpBack;
  c.err.pub.emit_message = OnMessage;
  jpeg_create_decompress(&c.in);
  c.created = true;
  jpeg_mem_src(&c.in, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&c.in, TRUE);
  if (jpeg_has_multiple_scans(&c.in)) {
    uint64_t blocks = 0;
    for (int i = 0; i < c.in.num_components; ++i) {
      blocks += uint64_t{c.in.comp_info[i].width_in_blocks} * c.in.comp_info[i].height_in_blocks;
    }
    if (blocks * kBytesPerBlock > budget) return false;
  }
  for (unsigned scale : kScales) {
    c.in.scale_num = 1;
    c.in.scale_denom = scale;
    jpeg_calc_output_dimensions(&c.in);
    const uint64_t pixels =
        uint64_t{c.in.output_width} * c.in.output_height * c.in.out_color_components;
    if (pixels <= kMaxPixelBytes) break;
  }
  jpeg_start_decompress(&c.in);
  JSAMPARRAY rows =
      (*c.in.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c.in), JPOOL_IMAGE,
                                c.in.output_width * c.in.output_components, c.in.rec_outbuf_height);
  while (c.in.output_scanline < c.in.output_height) {
    jpeg_read_scanlines(&c.in, rows, c.in.rec_outbuf_height);
  }
  jpeg_finish_decompress(&c.in);
  return true;
}

}  // namespace

bool LoadsAsPicture(const File& file) {
  const Result<File::Status> status = file.GetStatus();
  if (!status || status->size <= 0) return false;
  // The new file in memory takes the place its source had there.
  MappedFile jpeg;
  if (!jpeg.Map(file, static_cast<size_t>(status->size))) return false;
  return LoadsAsPicture(jpeg.bytes());
}

bool LoadsAsPicture(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return false;
  Check check;
  const bool decodes = Decodes(check, bytes, kPictureWorkBudget);
  if (check.created) jpeg_destroy_decompress(&check.in);
  return decodes;
}

}  // namespace keelpack
