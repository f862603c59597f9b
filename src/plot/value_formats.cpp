#include "plot/value_formats.h"

#include <cstdlib>

#include "errors/exception.h"

namespace {

// The decimals of a length band: 1 from 100, 2 from 10, 3 above (or from) 1, else 4.
const char* BandFormat(double value, bool oneTakesThree) {
  if (value >= 100.0) return "%5.1f";
  if (value >= 10.0) return "%5.2f";
  if (value > 1.0 || (oneTakesThree && value == 1.0)) return "%5.3f";
  return "%5.4f";
}

}  // namespace

std::string FormatAngstrom(double value) {
  return Formatted(BandFormat(value, false), value) + "Å";
}

std::string FormatXValue(double value, std::string_view unit) {
  return Formatted(BandFormat(value, true), value) + std::string(unit);
}

std::string FormatPercent(double fraction, double fallback) {
  const double percent = (fraction == 0.0 ? fallback : fraction) * 100.0;
  return Formatted(percent >= 10.0 ? "%.0f%%" : "%.1f%%", percent);
}

std::string FormatMiller(int h, int k, int l) {
  std::string text;
  for (const int index : {h, k, l}) {
    if (!text.empty()) text += ' ';
    if (index < 0) text += "\u00AF";
    text += std::to_string(std::abs(index));
  }
  return text;
}
