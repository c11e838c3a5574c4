#include "jpeg/same_picture.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "jpeg/markers.h"
#include "platform/memory_budget.h"

namespace keelpack {
namespace {

using ByteSpan = std::span<const uint8_t>;

// What identifies a picture in a file's header part, up to its first scan: the frame header
// and the payloads of the table segments, joined in order (a merge of table segments leaves
// them as they were); and where the first scan begins.
struct Header {
  ByteSpan frame;
  std::vector<uint8_t> tables;
  size_t scan = 0;  // 0 when the header part does not lead cleanly to a scan
};

Header ReadHeader(ByteSpan file) {
  Header header;
  for (size_t at = 2; at + 4 <= file.size();) {
    const MarkerStep step = ReadMarkerStep(file, at);
    if (step.kind == MarkerStep::Kind::kFillByte) {
      at = step.end;
      continue;
    }
    if (!step.segment()) break;
    const uint8_t code = step.code;
    if (code == kSos) {
      header.scan = at;
      break;
    }
    if (code == kDqt || code == kDht)
      header.tables.insert(header.tables.end(), step.data.begin(), step.data.end());
    if (code >= kSof0 && code <= 0xCF && code != kDht && code != 0xC8 && code != 0xCC)
      header.frame = step.data;
    at = step.end;
  }
  return header;
}

// The same frame and tables, and the picture data of `output` (from its first scan to its end)
// is the start of that of `source`: the output copied the source's picture data, cut at the
// end marker where a decoder stops too.
bool SameCodedPicture(ByteSpan source, ByteSpan output) {
  const Header a = ReadHeader(source), b = ReadHeader(output);
  return a.scan != 0 && b.scan != 0 && !a.frame.empty() && std::ranges::equal(a.frame, b.frame) &&
         a.tables == b.tables && output.size() - b.scan <= source.size() - a.scan &&
         std::memcmp(source.data() + a.scan, output.data() + b.scan, output.size() - b.scan) == 0;
}

// The library reports failures by calling back; these callbacks jump back to the one place
// that catches them, so nothing between may own resources.
struct ErrorJump {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}

// A warning means the data is not what it claims to be: no picture to compare.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) JumpBack(cinfo);
}

struct Comparison {
  ErrorJump err{};
  jpeg_decompress_struct in[2]{};
  bool created[2] = {false, false};
  ByteSpan files[2];
  uint64_t budget = 0;  // for the coefficients of both
};

uint64_t CoefficientBytes(const jpeg_decompress_struct& in) {
  uint64_t blocks = 0;
  for (int c = 0; c < in.num_components; ++c) {
    blocks += uint64_t{in.comp_info[c].width_in_blocks} * in.comp_info[c].height_in_blocks;
  }
  return blocks * platform::kBytesPerBlock;
}

bool SameCoefficients(Comparison& s) {
  if (setjmp(s.err.jump)) return false;
  for (int i = 0; i < 2; ++i) {
    s.in[i].err = &s.err.pub;
    jpeg_create_decompress(&s.in[i]);
    s.created[i] = true;
    jpeg_mem_src(&s.in[i], s.files[i].data(), static_cast<unsigned long>(s.files[i].size()));
    jpeg_read_header(&s.in[i], TRUE);
  }
  const jpeg_decompress_struct& a = s.in[0];
  const jpeg_decompress_struct& b = s.in[1];
  if (a.image_width != b.image_width || a.image_height != b.image_height ||
      a.num_components != b.num_components || a.data_precision != b.data_precision ||
      CoefficientBytes(a) + CoefficientBytes(b) > s.budget) {
    return false;
  }
  for (int c = 0; c < a.num_components; ++c) {
    if (a.comp_info[c].h_samp_factor != b.comp_info[c].h_samp_factor ||
        a.comp_info[c].v_samp_factor != b.comp_info[c].v_samp_factor) {
      return false;
    }
  }
  jvirt_barray_ptr* coefficients[2] = {jpeg_read_coefficients(&s.in[0]),
                                       jpeg_read_coefficients(&s.in[1])};
  for (int c = 0; c < a.num_components; ++c) {
    const jpeg_component_info& x = a.comp_info[c];
    const jpeg_component_info& y = b.comp_info[c];
    if (x.quant_table == nullptr || y.quant_table == nullptr ||
        std::memcmp(x.quant_table->quantval, y.quant_table->quantval,
                    sizeof x.quant_table->quantval) != 0) {
      return false;
    }
    for (JDIMENSION row = 0; row < x.height_in_blocks; ++row) {
      auto* common = reinterpret_cast<j_common_ptr>(&s.in[0]);
      const JBLOCKARRAY one =
          (*s.in[0].mem->access_virt_barray)(common, coefficients[0][c], row, 1, FALSE);
      common = reinterpret_cast<j_common_ptr>(&s.in[1]);
      const JBLOCKARRAY two =
          (*s.in[1].mem->access_virt_barray)(common, coefficients[1][c], row, 1, FALSE);
      if (std::memcmp(one[0], two[0], x.width_in_blocks * sizeof(JBLOCK)) != 0) return false;
    }
  }
  return true;
}

}  // namespace

bool SamePicture(ByteSpan a, ByteSpan b) {
  if (SameCodedPicture(a, b) || SameCodedPicture(b, a)) return true;
  // Coded otherwise (re-encoded, say): the coefficients decide, when both fit beside the
  // second file.
  if (b.size() >= platform::kPictureWorkBudget) return false;
  Comparison s;
  s.files[0] = a;
  s.files[1] = b;
  s.budget = platform::kPictureWorkBudget - b.size();
  jpeg_std_error(&s.err.pub);
  s.err.pub.error_exit = JumpBack;
  s.err.pub.emit_message = OnMessage;
  const bool same = SameCoefficients(s);
  for (int i = 0; i < 2; ++i) {
    if (s.created[i]) jpeg_destroy_decompress(&s.in[i]);
  }
  return same;
}

}  // namespace keelpack
