#include "jpeg/reencode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <iterator>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "jpeg/markers.h"
#include "log/log_sink.h"
#include "platform/memory_budget.h"

namespace keelpack {
namespace {

// The library reports failures by calling back; these callbacks jump back to the one place
// that catches them, so nothing between may own resources. Every function below that calls
// the library holds plain data only.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// A warning means the data is not what it claims to be (cut short, stray bytes, a wrong
// restart marker): such a file keeps its bytes as they are.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) JumpBack(cinfo);
}

void Silent(j_common_ptr) {}

// Output into a growing byte vector, or, for trial encodings, only counted.
struct Destination {
  jpeg_destination_mgr pub;
  std::vector<uint8_t>* out;  // null: count only
  size_t counted;
  JOCTET scratch[16384];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  dest->counted = 0;
  if (dest->out) {
    dest->out->resize(std::max<size_t>(dest->out->capacity(), 65536));
    dest->pub.next_output_byte = dest->out->data();
    dest->pub.free_in_buffer = dest->out->size();
  } else {
    dest->pub.next_output_byte = dest->scratch;
    dest->pub.free_in_buffer = sizeof dest->scratch;
  }
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  if (dest->out) {
    const size_t used = dest->out->size();
    dest->out->resize(used * 2);
    dest->pub.next_output_byte = dest->out->data() + used;
    dest->pub.free_in_buffer = dest->out->size() - used;
  } else {
    dest->counted += sizeof dest->scratch;
    dest->pub.next_output_byte = dest->scratch;
    dest->pub.free_in_buffer = sizeof dest->scratch;
  }
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  if (dest->out) {
    dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
  } else {
    dest->counted += sizeof dest->scratch - dest->pub.free_in_buffer;
  }
}

// Scan scripts (ITU T.81 G.1) tried for progressive output. Each scan's Huffman tables are
// made for that scan alone, so how the spectral bands and the bits of precision are split
// changes the size; which split wins depends on the picture. Every scan costs a pass that
// counts its symbols and one that codes them, and a refinement scan visits every coefficient
// of its band again, so the scripts keep those few. Component 0 is the luma of a YCbCr
// picture. An empty script stands for the library's standard progression.
using Script = std::span<const jpeg_scan_info>;

// For colour, two scripts that split the luma bands alike: with two refinement steps for
// luma, or with one for every component. On camera photographs the smaller of the two is
// smaller than the standard progression and costs less to encode; the standard one, which
// refines every component and the DC twice, won on too few pictures to pay for its trial.
constexpr jpeg_scan_info kColourFineLuma[] = {
    // DC per component, luma bands with two refinement steps, chroma in one scan each.
    {1, {0}, 0, 0, 0, 0},  {1, {1}, 0, 0, 0, 0},  {1, {2}, 0, 0, 0, 0},
    {1, {0}, 1, 8, 0, 2},  {1, {0}, 9, 63, 0, 2}, {1, {0}, 1, 63, 2, 1},
    {1, {0}, 1, 63, 1, 0}, {1, {1}, 1, 63, 0, 0}, {1, {2}, 1, 63, 0, 0},
};
constexpr jpeg_scan_info kColourOneStep[] = {
    // DC per component, then every component's AC less its last bit, then that bit.
    {1, {0}, 0, 0, 0, 0},  {1, {1}, 0, 0, 0, 0},  {1, {2}, 0, 0, 0, 0},  {1, {0}, 1, 8, 0, 1},
    {1, {0}, 9, 63, 0, 1}, {1, {1}, 1, 63, 0, 1}, {1, {2}, 1, 63, 0, 1}, {1, {0}, 1, 63, 1, 0},
    {1, {1}, 1, 63, 1, 0}, {1, {2}, 1, 63, 1, 0},
};
constexpr jpeg_scan_info kGreyFine[] = {
    {1, {0}, 0, 0, 0, 0},  {1, {0}, 1, 8, 0, 2},  {1, {0}, 9, 63, 0, 2},
    {1, {0}, 1, 63, 2, 1}, {1, {0}, 1, 63, 1, 0},
};
constexpr jpeg_scan_info kGreyBandsOnly[] = {
    {1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 5, 0, 0}, {1, {0}, 6, 63, 0, 0}};

constexpr Script kColourScripts[] = {kColourFineLuma, kColourOneStep};
constexpr Script kGreyScripts[] = {Script{}, kGreyFine, kGreyBandsOnly};
constexpr Script kStandardOnly[] = {Script{}};

// Limits that keep a hostile header from asking for more memory than a real photograph needs.
constexpr long kMemoryLimit = 1L << 30;
// A coded block takes at least one bit of entropy-coded data.
constexpr uint64_t kBlocksPerInputByte = 8;
// A re-encoding holds the walk's output and the new form, of about the same size (trials of
// progressive scripts on a sample of the picture are only counted, the sample is small).
constexpr uint64_t kCopies = 2;

// Progressive scripts are compared on a sample of the picture's MCU rows, every kSampleStep-th
// (for smaller pictures, every step that still gives kSampleMinimumRows / 2 rows), when the
// picture has at least kSampleMinimumRows of them: the sizes of whole rows of a photograph rank
// the scripts as the whole picture does, at a fraction of the cost.
constexpr JDIMENSION kSampleStep = 32;
constexpr JDIMENSION kSampleMinimumRows = 4;

// What one re-encoding works with. Lives outside the jumps, in the caller's frame.
struct Session {
  ErrorManager err{};
  jpeg_decompress_struct in{};
  jpeg_compress_struct out{};
  bool inCreated = false;
  bool outCreated = false;
  Destination dest{};
  std::span<const uint8_t> jpeg;
  OptimizeChoice mode = OptimizeChoice::kHuffman;
  uint64_t budget = platform::kPictureWorkBudget;  // for the coefficients and the copies
  const char* declined = nullptr;                  // a reason found without the library's help
  jvirt_barray_ptr sample[MAX_COMPONENTS] = {};    // the sampled MCU rows, when sampling
  JDIMENSION sampleRows = 0;                       // MCU rows in `sample`
  JDIMENSION sampleStep = 0;
  std::vector<uint8_t> candidate;  // a trial on the whole picture
};

JDIMENSION McuRows(const jpeg_decompress_struct& in) {
  const JDIMENSION mcuHeight = static_cast<JDIMENSION>(in.max_v_samp_factor * DCTSIZE);
  return (in.image_height + mcuHeight - 1) / mcuHeight;
}

// Asks for arrays that will hold the sampled MCU rows; must come before the
// coefficients are read, while the decoder still sizes its memory.
void RequestSample(Session& s) {
  const JDIMENSION rows = McuRows(s.in);
  if (rows < kSampleMinimumRows) return;
  s.sampleStep = std::min(kSampleStep, rows / (kSampleMinimumRows / 2));
  s.sampleRows = (rows + s.sampleStep - 1) / s.sampleStep;
  for (int c = 0; c < s.in.num_components; ++c) {
    const jpeg_component_info& comp = s.in.comp_info[c];
    const auto h = static_cast<JDIMENSION>(comp.h_samp_factor);
    const auto v = static_cast<JDIMENSION>(comp.v_samp_factor);
    s.sample[c] = (*s.in.mem->request_virt_barray)(
        reinterpret_cast<j_common_ptr>(&s.in), JPOOL_IMAGE, FALSE,
        (comp.width_in_blocks + h - 1) / h * h, s.sampleRows * v, v);
  }
}

void FillSample(Session& s, jvirt_barray_ptr* coefficients) {
  auto* common = reinterpret_cast<j_common_ptr>(&s.in);
  for (int c = 0; c < s.in.num_components; ++c) {
    const jpeg_component_info& comp = s.in.comp_info[c];
    const auto h = static_cast<JDIMENSION>(comp.h_samp_factor);
    const auto v = static_cast<JDIMENSION>(comp.v_samp_factor);
    const JDIMENSION width = (comp.width_in_blocks + h - 1) / h * h;
    for (JDIMENSION row = 0; row < s.sampleRows; ++row) {
      JBLOCKARRAY from = (*s.in.mem->access_virt_barray)(common, coefficients[c],
                                                         row * s.sampleStep * v, v, FALSE);
      JBLOCKARRAY to = (*s.in.mem->access_virt_barray)(common, s.sample[c], row * v, v, TRUE);
      for (JDIMENSION r = 0; r < v; ++r) std::memcpy(to[r], from[r], width * sizeof(JBLOCK));
    }
  }
}

// A progressive file whose scans leave bits of some coefficient unsent is shown smoothed by
// decoders; complete, the same coefficients would show other pixels. Asked once the
// coefficients are read.
bool CoefficientsIncomplete(const jpeg_decompress_struct& in) {
  if (!in.progressive_mode) return false;
  for (int c = 0; c < in.num_components; ++c) {
    for (int k = 0; k < DCTSIZE2; ++k) {
      if (in.coef_bits[c][k] != 0) return true;
    }
  }
  return false;
}

// Whether the frame asks for more blocks than its data can code: a hostile header.
// The DCT blocks of all the picture's components.
uint64_t Blocks(const Session& s) {
  uint64_t blocks = 0;
  for (int c = 0; c < s.in.num_components; ++c) {
    const jpeg_component_info& comp = s.in.comp_info[c];
    blocks += uint64_t{comp.width_in_blocks} * comp.height_in_blocks;
  }
  return blocks;
}

bool LargerThanItsData(const Session& s) {
  return Blocks(s) > kBlocksPerInputByte * s.jpeg.size() + 64;
}

// One encoding of the coefficients read into `s.in`, with the `scans` of `script` (none: the
// standard progression, or sequential when not progressive), into `s.dest`.
void Encode(Session& s, jvirt_barray_ptr* coefficients, bool progressive,
            const jpeg_scan_info* script, int scans, JDIMENSION height) {
  jpeg_create_compress(&s.out);
  s.outCreated = true;
  s.out.mem->max_memory_to_use = kMemoryLimit;
  s.out.dest = &s.dest.pub;
  jpeg_copy_critical_parameters(&s.in, &s.out);
  // The segments saved from the input go back as they were; the encoder adds none.
  s.out.write_JFIF_header = FALSE;
  s.out.write_Adobe_marker = FALSE;
  s.out.image_height = height;
  s.out.optimize_coding = TRUE;
  // A restart interval counts MCUs, and in the single-component scans of a progressive file an
  // MCU is one block instead of a whole group: the same interval would put restart markers
  // several times as close, in every scan. Only sequential output keeps the input's markers.
  if (!progressive) s.out.restart_interval = s.in.restart_interval;
  if (progressive && scans > 0) {
    s.out.scan_info = script;
    s.out.num_scans = scans;
  } else if (progressive) {
    jpeg_simple_progression(&s.out);
  }
  jpeg_write_coefficients(&s.out, coefficients);
  // Every APPn and COM segment of the input, wherever it stood (among the tables, between
  // scans), goes right behind SOI in its order: decoders read them wherever they stand among
  // the segments before a scan, and none of them refers to where it stands.
  for (jpeg_saved_marker_ptr m = s.in.marker_list; m; m = m->next) {
    jpeg_write_marker(&s.out, m->marker, m->data, m->data_length);
  }
  jpeg_finish_compress(&s.out);
  jpeg_destroy_compress(&s.out);
  s.outCreated = false;
}

// Starts decoding `s.jpeg`: the decoder reads the header, keeping the APPn and COM segments
// when asked to. Calls the library: only from a function that has set the jump.
void ReadHeader(Session& s, bool keepMetadata) {
  jpeg_create_decompress(&s.in);
  s.inCreated = true;
  s.in.mem->max_memory_to_use = kMemoryLimit;
  jpeg_mem_src(&s.in, s.jpeg.data(), static_cast<unsigned long>(s.jpeg.size()));
  if (keepMetadata) {
    jpeg_save_markers(&s.in, JPEG_COM, 0xFFFF);
    for (int n = 0; n < 16; ++n) jpeg_save_markers(&s.in, JPEG_APP0 + n, 0xFFFF);
  }
  jpeg_read_header(&s.in, TRUE);
}

// Runs the whole re-encoding; returns false when it was declined, with the reason in
// `s.err.message` or `s.declined`.
bool Run(Session& s, std::vector<uint8_t>* result) {
  if (setjmp(s.err.jump)) return false;

  ReadHeader(s, true);

  if (s.in.arith_code) {
    s.declined = "arithmetic coding";
    return false;
  }
  if (s.in.data_precision != 8) {
    s.declined = "not 8-bit samples";
    return false;
  }
  if (s.in.num_components > 4) {
    s.declined = "more than 4 components";
    return false;
  }
  if (LargerThanItsData(s)) {
    s.declined = "the picture is larger than its data";
    return false;
  }
  // The coefficients are held whole, beside the walk's output, the new form and a trial.
  if (kCopies * (s.jpeg.size() + Blocks(s) * platform::kBytesPerBlock / kCopies) > s.budget) {
    s.declined = kNoRoomToReencode.data();
    return false;
  }

  const bool scriptsToTry = s.in.num_components == 1 || s.in.num_components == 3;
  if (s.mode == OptimizeChoice::kProgressive && scriptsToTry) RequestSample(s);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&s.in);
  if (CoefficientsIncomplete(s.in)) {
    s.declined = kIncompleteProgression;
    return false;
  }

  if (s.mode != OptimizeChoice::kProgressive) {
    s.dest.out = result;
    Encode(s, coefficients, false, nullptr, 0, s.in.image_height);
    return true;
  }

  // Every script that fits the picture is tried; the smallest is the result, or, when the
  // trials ran on a sample, is encoded once more in full.
  std::span<const Script> scripts = kStandardOnly;
  if (s.in.num_components == 3) {
    scripts = kColourScripts;
  } else if (s.in.num_components == 1) {
    scripts = kGreyScripts;
  }
  const bool sampled = scripts.size() > 1 && s.sampleRows > 0;
  jvirt_barray_ptr* trial = coefficients;
  JDIMENSION trialHeight = s.in.image_height;
  if (sampled) {
    FillSample(s, coefficients);
    trial = s.sample;
    trialHeight = s.sampleRows * static_cast<JDIMENSION>(s.in.max_v_samp_factor * DCTSIZE);
  }
  size_t best = 0;
  size_t bestSize = 0;
  for (size_t i = 0; i < scripts.size(); ++i) {
    // Kept trials on the whole picture go to `result` first, then to `candidate`.
    s.dest.out = sampled ? nullptr : i == 0 ? result : &s.candidate;
    Encode(s, trial, true, scripts[i].data(), static_cast<int>(scripts[i].size()), trialHeight);
    const size_t size = sampled ? s.dest.counted : s.dest.out->size();
    if (i == 0 || size < bestSize) {
      bestSize = size;
      best = i;
      if (!sampled && i > 0) result->swap(s.candidate);
    }
  }
  if (sampled) {
    s.dest.out = result;
    Encode(s, coefficients, true, scripts[best].data(), static_cast<int>(scripts[best].size()),
           s.in.image_height);
  }
  return true;
}

// The encoder writes each quantization and Huffman table in a segment of its own, while one
// segment may hold several (ITU T.81, B.2.4.1 and B.2.4.2): joined, every table after the first
// costs four bytes less, as in the copied form. Only the header is looked at, where every
// segment has a length; output the encoder made otherwise is left as it is.
void MergeHeaderTables(std::vector<uint8_t>& jpeg) {
  if (jpeg.size() < 2) return;
  std::vector<uint8_t> merged(jpeg.begin(), jpeg.begin() + 2);
  merged.reserve(jpeg.size());
  size_t at = 2;
  size_t run = 0;  // where the segment that a table of the same kind may join begins, or 0
  for (;;) {
    const MarkerStep step = ReadMarkerStep(jpeg, at);
    if (!step.segment()) return;
    if (step.code == kSos) break;
    const size_t joined =
        run ? (size_t{merged[run + 2]} << 8 | merged[run + 3]) + step.data.size() : 0;
    if (run && merged[run + 1] == step.code && joined <= 0xFFFF) {
      merged.insert(merged.end(), step.data.begin(), step.data.end());
      merged[run + 2] = static_cast<uint8_t>(joined >> 8);
      merged[run + 3] = static_cast<uint8_t>(joined);
    } else {
      run = step.code == kDqt || step.code == kDht ? merged.size() : 0;
      merged.insert(merged.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                    jpeg.begin() + static_cast<std::ptrdiff_t>(step.end));
    }
    at = step.end;
  }
  merged.insert(merged.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  jpeg.swap(merged);
}

// Whether the coefficients of a progressive picture are incomplete; false for any other picture,
// and when the decoder stops (the caller's own decoding meets that).
bool ReadProgression(Session& s) {
  if (setjmp(s.err.jump)) return false;
  ReadHeader(s, false);
  if (!s.in.progressive_mode || LargerThanItsData(s)) return false;
  jpeg_read_coefficients(&s.in);
  return CoefficientsIncomplete(s.in);
}

// A session over `jpeg` whose library failures and warnings jump back to the caller.
void Prepare(Session& s, std::span<const uint8_t> jpeg, OptimizeChoice mode) {
  s.jpeg = jpeg;
  s.mode = mode;
  s.in.err = jpeg_std_error(&s.err.pub);
  s.out.err = &s.err.pub;
  s.err.pub.error_exit = JumpBack;
  s.err.pub.emit_message = OnMessage;
  s.err.pub.output_message = Silent;
  s.dest.pub.init_destination = InitDestination;
  s.dest.pub.empty_output_buffer = EmptyOutputBuffer;
  s.dest.pub.term_destination = TermDestination;
}

void Close(Session& s) {
  if (s.outCreated) jpeg_destroy_compress(&s.out);
  if (s.inCreated) jpeg_destroy_decompress(&s.in);
}

}  // namespace

Reencoded ReencodeJpeg(std::span<const uint8_t> jpeg, OptimizeChoice mode, uint64_t budget) {
  Reencoded result;
  Session s;
  s.budget = budget;
  Prepare(s, jpeg, mode);
  result.bytes.reserve(jpeg.size());
  if (!Run(s, &result.bytes)) {
    result.bytes.clear();
    result.declined = s.declined ? s.declined : s.err.message;
  } else {
    MergeHeaderTables(result.bytes);
  }
  Close(s);
  return result;
}

bool LeavesCoefficientsIncomplete(std::span<const uint8_t> jpeg) {
  Session s;
  Prepare(s, jpeg, OptimizeChoice::kOff);
  const bool incomplete = ReadProgression(s);
  Close(s);
  return incomplete;
}

bool ReencodingMayFit(uint64_t bytes) { return kCopies * bytes <= platform::kPictureWorkBudget; }

ReencodingNote Decline(LogSink& log, std::string reason) {
  log.WriteLog("Picture data copied as it was, re-encoding declined: " + reason, kVerbose);
  return {ReencodingNote::Kind::kDeclined, std::move(reason)};
}

SmallerReencoding ReencodeIfSmaller(LogSink& log, OptimizeChoice mode,
                                    std::span<const uint8_t> walked) {
  SmallerReencoding result;
  if (mode == OptimizeChoice::kOff) return result;
  Reencoded reencoded = ReencodeJpeg(walked, mode);
  if (!reencoded.declined.empty()) {
    result.note = Decline(log, std::move(reencoded.declined));
    return result;
  }
  const size_t saved =
      reencoded.bytes.size() < walked.size() ? walked.size() - reencoded.bytes.size() : 0;
  log.WriteLog("Re-encoding saved " + std::to_string(saved) + " bytes.", kExplicit);
  if (saved == 0) {
    result.note.kind = ReencodingNote::Kind::kNotSmaller;
    return result;
  }
  result.note.kind = ReencodingNote::Kind::kUsed;
  result.bytes = std::move(reencoded.bytes);
  return result;
}

}  // namespace keelpack
