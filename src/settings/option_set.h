#pragma once

#include <string>

namespace keelpack {

// Values of the `exif` option.
inline constexpr int kExifKeepOriginal = 0;
inline constexpr int kExifReduceSize = 1;
inline constexpr int kExifDelete = 2;

// Values of the `icc` option (the three states of its check box).
inline constexpr int kIccAutomatic = 0;
inline constexpr int kIccKeepAll = 1;
inline constexpr int kIccForceRemoval = 2;

// Values of the `corrupted` option.
inline constexpr int kCorruptedIgnore = 0;
inline constexpr int kCorruptedDelete = 1;
inline constexpr int kCorruptedRename = 2;

// Values of the `optimize` option: how the entropy-coded data reaches the output.
inline constexpr int kOptimizeOff = 0;          // copied byte for byte
inline constexpr int kOptimizeHuffman = 1;      // coded again with Huffman tables made for it
inline constexpr int kOptimizeProgressive = 2;  // progressive, with tables made for each scan

inline constexpr const char* kDefaultMask = "_corrupted_*.*";

// The user's choices that steer every file job, one field per settings key, with the values
// a fresh installation starts with. The front ends keep it current; the processing code
// reads it when it needs a value, so a change made during a run affects the following files.
struct OptionSet {
  int exif = kExifReduceSize;
  int icc = kIccAutomatic;
  int dpi = 0;
  int corrupted = kCorruptedRename;
  int nonjpegs = 0;
  std::string mask = kDefaultMask;
  int difdir = 0;
  std::string output;
  int readability = 0;
  int slow = 0;
  int backups = 0;
  std::string font;     // kept verbatim for the window's font choice
  std::string charset;  // kept verbatim and written back unchanged
  int log = 0;          // 0 no log file, 1 Brief, 2 Verbose, 3 Explicit
  int optimize = kOptimizeOff;

  bool keepDpi() const { return dpi > 0; }
  bool differentFolder() const { return difdir == 1; }
  // The backups box is disabled while output goes to a different folder.
  bool makeBackups() const { return backups == 1 && !differentFolder(); }

  friend bool operator==(const OptionSet&, const OptionSet&) = default;
};

}  // namespace keelpack
