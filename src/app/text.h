// Small text helpers that readers and commands share.
#pragma once

#include <algorithm>
#include <cctype>
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
