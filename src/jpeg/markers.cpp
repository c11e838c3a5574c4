#include "jpeg/markers.h"

namespace keelpack {

StandaloneInfo IsStandaloneMarker(uint8_t code) {
  if (code == kFill) return {true, 2};
  if (code == kTem || IsRestartMarker(code) || code == kSoi || code == kEoi) return {true, 1};
  return {false, 1};
}

std::string MarkerName(uint8_t code) {
  std::string_view name;
  switch (code) {
    case kSoi: name = "START"; break;
    case kApp0: name = "JFIF"; break;
    case kApp1: name = "METADATA"; break;
    case kApp2: name = "ICC_PROFILE"; break;
    case kApp14: name = "ADOBE_PIC"; break;
    case kDqt: name = "QUANTIZATION"; break;
    case kSos: name = "SOS_ENTROPY"; break;
    case kEoi: name = "END"; break;
    case kSof0: name = "SOF_BASELINE"; break;
    case kSof2: name = "SOF_PROGRESSIVE"; break;
    case kDht: name = "HUFFMAN"; break;
    case kDri: name = "DRI"; break;
    case kCom: name = "COMMENT"; break;
    case kApp13: name = "PHOTOSHOP_DATA"; break;
    default:
      if (IsRestartMarker(code)) return " (RST" + std::to_string(code - kRst0) + ")";
      return {};
  }
  return " (" + std::string(name) + ")";
}

}  // namespace keelpack
