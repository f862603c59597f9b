#include "files/number_text.h"

#include <cstdint>
#include <string_view>

#include "app/text.h"

std::optional<double> ScanDecimal(std::string_view text, size_t& length) {
  // Up to 15 digits make an exact integer mantissa and 10^k is exact up to k = 22, so
  // mantissa / 10^k is a single correctly rounded division: the value from_chars would give,
  // without its general machinery. Longer numbers and exponents go to from_chars itself.
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  auto digit = [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); };
  uint64_t mantissa = 0;  // may wrap past 19 digits; such numbers go to from_chars
  const char* const integerStart = p;
  for (; p != end && digit(*p) <= 9; ++p) mantissa = mantissa * 10 + digit(*p);
  int digits = static_cast<int>(p - integerStart), decimals = 0;
  if (p != end && *p == '.') {
    const char* const fractionStart = ++p;
    for (; p != end && digit(*p) <= 9; ++p) mantissa = mantissa * 10 + digit(*p);
    decimals = static_cast<int>(p - fractionStart);
    digits += decimals;
  }
  if (digits == 0 || digits > 15 || (p != end && (*p == 'e' || *p == 'E')))
    return ScanDouble(text, length);
  length = static_cast<size_t>(p - text.data());
  const double value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
  return negative ? -value : value;
}

bool ScanNumber(const char*& text, double& value) {
  const char* start = text;
  while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n' || *start == '\v' ||
         *start == '\f')
    ++start;
  size_t length = 0;
  const std::optional<double> number = ScanDecimal(std::string_view(start), length);
  if (!number) return false;
  value = *number;
  text = start + length;
  return true;
}

std::optional<CProfilePoint> ScanPoint(const char*& text) {
  const char* cursor = text;
  CProfilePoint point;
  if (!ScanNumber(cursor, point.x) || !ScanNumber(cursor, point.y)) return std::nullopt;
  text = cursor;
  return point;
}
