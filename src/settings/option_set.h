#pragma once

#include <concepts>
#include <optional>
#include <string>

#include "jpeg/choices.h"

namespace keelpack {

// Values of the `corrupted` option; the other choices are the rewrite's own (jpeg/choices.h).
enum class CorruptedChoice { kIgnore, kDelete, kRename };

template <typename T>
concept OptionChoice = std::same_as<T, ExifChoice> || std::same_as<T, IccPolicy> ||
    std::same_as<T, CorruptedChoice> || std::same_as<T, OptimizeChoice>;

// Each choice is stored as its number, 0, 1 or 2 in the order of its values: in the settings file
// and as the position of its control in the window.
template <OptionChoice Choice>
constexpr int ChoiceNumber(Choice choice) {
  return static_cast<int>(choice);
}

// The choice stored as `number`; none for a number no choice has.
template <OptionChoice Choice>
constexpr std::optional<Choice> ChoiceFromNumber(long number) {
  if (number < 0 || number > 2) return std::nullopt;
  return static_cast<Choice>(number);
}

inline constexpr const char* kDefaultMask = "_corrupted_*.*";

// The user's choices that steer every file job, one field per settings key, with the values
// a fresh installation starts with. The front ends keep it current; the processing code
// reads it when it needs a value, so a change made during a run affects the following files.
struct OptionSet {
  ExifChoice exif = ExifChoice::kReduce;
  IccPolicy icc = IccPolicy::kAutomatic;
  int dpi = 0;
  CorruptedChoice corrupted = CorruptedChoice::kRename;
  int includeNonJpegs = 0;  // the "non-JPEGs" box, settings key `nonjpegs`
  std::string mask = kDefaultMask;
  int saveInDifferentFolder = 0;  // settings key `difdir`
  std::string output;
  int readability = 0;
  int slow = 0;
  int backups = 0;
  std::string font;     // kept verbatim for the window's font choice
  std::string charset;  // kept verbatim and written back unchanged
  OptimizeChoice optimize = OptimizeChoice::kOff;
  // The window's own: whether it asks before a folder-tree run rewrites files in place (1) or
  // not (0), and the folder its folder list showed when it last closed.
  int confirmTree = 1;
  std::string lastFolder;
  int upright = 0;  // turn pictures upright by their Exif orientation, losslessly

  bool keepDpi() const { return dpi > 0; }
  bool turnUpright() const { return upright > 0; }
  bool differentFolder() const { return saveInDifferentFolder == 1; }
  // The backups box is disabled while output goes to a different folder.
  bool makeBackups() const { return backups == 1 && !differentFolder(); }

  friend bool operator==(const OptionSet&, const OptionSet&) = default;
};

}  // namespace keelpack
