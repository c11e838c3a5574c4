#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Small text and byte helpers shared by every module. Letter case is folded in plain ASCII:
// names, keys and tag values are bytes in no particular character set, and the result must
// not depend on the process's locale.
namespace keelpack::platform {

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string LowerAscii(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

constexpr bool EqualIgnoringCase(char a, char b) { return LowerAscii(a) == LowerAscii(b); }

inline bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), EqualIgnoringCase);
}

// The whole of `text` as a number in `base`; nothing when it holds anything else.
template <typename Number>
std::optional<Number> ParseNumber(std::string_view text, int base = 10) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

inline void Append(std::vector<uint8_t>& output, std::span<const uint8_t> bytes) {
  output.insert(output.end(), bytes.begin(), bytes.end());
}

}  // namespace keelpack::platform
