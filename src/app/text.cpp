#include "app/text.h"

#include <charconv>
#include <cmath>

std::optional<double> ScanDouble(std::string_view text, size_t& length) {
  // from_chars takes no leading '+' (strtod does), and never looks at the locale.
  const size_t sign = !text.empty() && text.front() == '+' ? 1 : 0;
  const std::string_view rest = text.substr(sign);
  if (rest.empty() || (rest.front() == '-' && sign)) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  length = sign + static_cast<size_t>(end - rest.data());
  return value;
}

std::optional<double> ParseDouble(std::string_view text) {
  size_t length = 0;
  const std::optional<double> value = ScanDouble(text, length);
  if (!value || length != text.size()) return std::nullopt;
  return value;
}
