#include "settings/settings_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>
#include <type_traits>
#include <variant>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "settings/option_table.h"
#include "version.h"

namespace keelpack {
namespace {

// More than any settings file holds; a device or a huge file is not read to its end.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

// Blanks around keys and values: spaces and tabs.
std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// The leading decimal number of a text ("2", "2.0", "-1", "1e1", "7 days"), 0 when there is
// none, rounded to the nearest whole number.
long NumericValue(std::string_view text) {
  // Leading blanks, tabs and line feeds are passed over, as a forgiving number reader does.
  text.remove_prefix(std::min(text.find_first_not_of(" \t\n"), text.size()));
  size_t end = 0;
  auto digits = [&] {
    const size_t start = end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    return end > start;
  };
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  bool any = digits();
  if (end < text.size() && text[end] == '.') {
    ++end;
    any = digits() || any;
  }
  if (!any) return 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t mark = end++;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
    if (!digits()) end = mark;
  }
  const double value = std::strtod(std::string(text.substr(0, end)).c_str(), nullptr);
  if (!std::isfinite(value) || std::fabs(value) > 1e9) return -1;  // refused as out of range
  return std::lround(std::nearbyint(value));
}

// Sets `target` when `value` lies in [low, high]; a value the control would refuse is skipped.
void SetIfInRange(int& target, long value, int low, int high) {
  if (value >= low && value <= high) target = static_cast<int>(value);
}

// Sets `target` to the choice stored as `value`; a number no choice has is skipped.
template <OptionChoice Choice>
void SetChoice(Choice& target, long value) {
  if (const std::optional<Choice> choice = ChoiceFromNumber<Choice>(value)) target = *choice;
}

void ApplyLine(const std::string& key, const std::string& value, LoadedSettings& loaded) {
  const auto entry = std::find_if(kOptionTable.begin(), kOptionTable.end(), [&](const auto& e) {
    return platform::LowerAscii(std::string(e.key)) == key;
  });
  if (entry == kOptionTable.end()) return;
  OptionSet& o = loaded.options;
  const long number = NumericValue(value);
  std::visit(
      [&](auto field) {
        using Field = decltype(field);
        if constexpr (std::is_same_v<Field, std::monostate>) {  // the log level
          if (number > 0) loaded.logTicked = true;
          if (value == "1" || value == "2" || value == "3") {
            loaded.logLevel = platform::ParseNumber<int>(value);
          }
        } else if constexpr (std::is_same_v<Field, std::string OptionSet::*>) {
          o.*field = value;
        } else if constexpr (std::is_same_v<Field, int OptionSet::*>) {
          SetIfInRange(o.*field, number, 0, entry->high);
        } else {
          SetChoice(o.*field, number);
        }
      },
      entry->field);
}

// The value a settings line holds for `field`.
std::string StoredValue(const OptionField& field, const OptionSet& o, int logLevel) {
  return std::visit(
      [&](auto f) -> std::string {
        using Field = decltype(f);
        if constexpr (std::is_same_v<Field, std::monostate>) {
          return std::to_string(logLevel);
        } else if constexpr (std::is_same_v<Field, std::string OptionSet::*>) {
          return o.*f;
        } else if constexpr (std::is_same_v<Field, int OptionSet::*>) {
          return std::to_string(o.*f);
        } else {
          return std::to_string(ChoiceNumber(o.*f));
        }
      },
      field);
}

}  // namespace

std::optional<std::string> SettingsFilePath() {
  // Without a per-user folder there is no settings file: it never goes to the root folder.
  const std::optional<std::string> folder = platform::AppDataFolder();
  if (!folder) return std::nullopt;
  return *folder + "/" + std::string(kFileBaseName) + ".ini";
}

LoadedSettings LoadSettings(const std::optional<std::string>& path, const OptionSet& start) {
  LoadedSettings loaded;
  loaded.options = start;
  std::vector<uint8_t> bytes;
  // A missing or unreadable file changes nothing; what was read before a failure still counts.
  if (path) (void)platform::ReadWholeFile(*path, bytes, kMaxSettingsBytes);
  const std::string text(bytes.begin(), bytes.end());
  // Lines end in CR LF, LF or a lone CR.
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    const std::string_view line = std::string_view(text).substr(at, end - at);
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    ApplyLine(platform::LowerAscii(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)),
              loaded);
  }
  return loaded;
}

bool SaveSettings(const std::optional<std::string>& path, const OptionSet& o, int logLevel) {
  if (!path || path->empty()) return false;
  std::string text;
  auto line = [&](std::string_view key, const std::string& value) {
    text.append(key).append("=").append(value).append("\r\n");
  };
  for (const OptionEntry& entry : kOptionTable)
    line(entry.key, StoredValue(entry.field, o, logLevel));
  // Written beside the old file and then put in its place, so that a crash never leaves half
  // a settings file.
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  const std::string fresh = *path + ".new";
  if (!platform::WriteWholeFile(fresh, bytes) || !platform::ReplaceFile(fresh, *path, false)) {
    (void)platform::RemoveFile(fresh);
    return false;
  }
  return true;
}

}  // namespace keelpack
