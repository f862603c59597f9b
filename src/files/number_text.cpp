#include "files/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "app/text.h"

namespace {

// The powers of ten that a double holds exactly.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;

}  // namespace

std::optional<double> ScanDecimal(std::string_view text, size_t& length) {
  // Up to 15 digits make an exact integer mantissa and 10^k is exact up to k = 22, so
  // mantissa / 10^k is a single correctly rounded division: the value from_chars would give,
  // without its general machinery. Longer numbers and exponents go to from_chars itself.
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

namespace {

// Powers of ten that a 64-bit integer holds with room to spare.
constexpr int kMostFixedDecimals = 15;
// Below this the scaled value carries less than 2^-21 of rounding, so a rounding decision
// further than kUndecided from a half is the one the exact value would take.
constexpr double kLargestScaled = 4294967296.0;
constexpr double kUndecided = 1e-6;

// `count` digits of `value`, zero-padded.
char* WriteDigits(char* out, uint64_t value, int count) {
  for (int i = count - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
  return out + count;
}

// The whole number nearest to `scaled` (non-negative, below kLargestScaled), when the rounding
// of the product that made it cannot have changed that.
std::optional<uint64_t> Nearest(double scaled) {
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (std::abs(fraction - 0.5) < kUndecided) return std::nullopt;
  return static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
}

}  // namespace

char* WriteFixed(char* out, double value, int decimals) {
  const double magnitude = std::abs(value);
  if (decimals >= 0 && decimals <= kMostFixedDecimals &&
      magnitude * kPowersOfTen[decimals] < kLargestScaled) {
    if (const auto nearest = Nearest(magnitude * kPowersOfTen[decimals])) {
      if (std::signbit(value)) *out++ = '-';
      const auto unit = static_cast<uint64_t>(kPowersOfTen[decimals]);
      const uint64_t whole = *nearest / unit;
      out = std::to_chars(out, out + 24, whole).ptr;
      if (decimals == 0) return out;
      *out++ = '.';
      return WriteDigits(out, *nearest % unit, decimals);
    }
  }
  return std::to_chars(out, out + 1100, value, std::chars_format::fixed, decimals).ptr;
}

char* WriteScientific(char* out, double value, int digits) {
  const double magnitude = std::abs(value);
  if (std::isfinite(value) && magnitude > 0.0 && digits >= 0 && digits <= 9) {
    int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
    if (std::abs(exponent) < kLargestExactPower) {
      // The mantissa in [1, 10), corrected where the logarithm rounded across a power of ten.
      double mantissa =
          exponent >= 0 ? magnitude / kPowersOfTen[exponent] : magnitude * kPowersOfTen[-exponent];
      if (mantissa < 1.0) mantissa *= 10.0, --exponent;
      if (mantissa >= 10.0) mantissa /= 10.0, ++exponent;
      if (const auto nearest = Nearest(mantissa * kPowersOfTen[digits])) {
        uint64_t scaled = *nearest;
        const auto unit = static_cast<uint64_t>(kPowersOfTen[digits]);
        if (scaled >= 10 * unit) scaled /= 10, ++exponent;  // 9.99995 rounds to 1.0000e+1
        if (std::signbit(value)) *out++ = '-';
        *out++ = static_cast<char>('0' + scaled / unit);
        if (digits > 0) {
          *out++ = '.';
          out = WriteDigits(out, scaled % unit, digits);
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        return WriteDigits(out, static_cast<uint64_t>(std::abs(exponent)), 2);
      }
    }
  }
  return std::to_chars(out, out + 1100, value, std::chars_format::scientific, digits).ptr;
}
