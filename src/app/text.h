// Small text helpers that readers and commands share: trimming, case, and numbers read the same
// whatever the process locale (a desktop session may switch the decimal point to a comma, files
// never do).
#pragma once

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>

// The text without leading and trailing blanks, tabs and line ends.
inline std::string_view TrimWhiteSpace(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// ASCII letters in lower case; other bytes as they are.
inline std::string Lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The longest prefix of `text` that is a decimal number ("1.5", "-2e-3", "+4", ".5"), with the
// count of characters it takes; nothing when `text` does not begin with one or its value is not
// finite (an infinity or NaN would poison every sum over the data).
std::optional<double> ScanDouble(std::string_view text, size_t& length);

// The whole of `text` as a decimal number; nothing for anything else.
std::optional<double> ParseDouble(std::string_view text);
