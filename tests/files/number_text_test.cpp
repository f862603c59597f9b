#include "files/number_text.h"

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// What from_chars makes of the same text (with strtod's leading '+'), the value ScanDecimal
// must give bit for bit.
std::optional<double> FromChars(const std::string& text, size_t& length) {
  const size_t sign = !text.empty() && text[0] == '+' ? 1 : 0;
  if (sign && text.size() > 1 && text[1] == '-') return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data() + sign, text.data() + text.size(), value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  length = static_cast<size_t>(end - text.data());
  return value;
}

TEST(ScanDecimal, AgreesWithFromCharsBitForBit) {
  // Decimals of every length either side of the 15 digits the quick conversion takes, with
  // and without signs, points, exponents and trailing text.
  std::mt19937_64 random(20240611);
  const char* const tails[] = {"", "(3)", " ", "e-3", "E+2", "/4", ".", "x", "e"};
  for (int n = 0; n < 200000; ++n) {
    std::string text;
    if (random() % 4 == 0) text += "-+"[random() % 2];
    const int digits = 1 + static_cast<int>(random() % 20);
    const int point = static_cast<int>(random() % (digits + 2)) - 1;  // -1: none
    for (int i = 0; i < digits; ++i) {
      if (i == point) text += '.';
      text += static_cast<char>('0' + random() % 10);
    }
    if (point == digits) text += '.';
    text += tails[random() % std::size(tails)];
    size_t expectedLength = 0, length = 0;
    const std::optional<double> expected = FromChars(text, expectedLength);
    const std::optional<double> value = ScanDecimal(text, length);
    ASSERT_EQ(value.has_value(), expected.has_value()) << text;
    if (!value) continue;
    ASSERT_EQ(std::signbit(*value), std::signbit(*expected)) << text;
    ASSERT_EQ(*value, *expected) << text;
    ASSERT_EQ(length, expectedLength) << text;
  }
}

TEST(ScanDecimal, FormsReadAndRefused) {
  struct Case {
    const char* text;
    double value;
    size_t length;
  };
  for (const Case& c :
       {Case{"1.5(3)", 1.5, 3}, Case{".5", 0.5, 2}, Case{"-0.25", -0.25, 5}, Case{"+4", 4.0, 2},
        Case{"5.", 5.0, 2}, Case{"1e-3", 1e-3, 4}, Case{"1.2.3", 1.2, 3}, Case{"0x10", 0.0, 1},
        Case{"2e", 2.0, 1}, Case{"0.1234567890123456789", 0.1234567890123456789, 21}}) {
    size_t length = 0;
    const std::optional<double> value = ScanDecimal(c.text, length);
    ASSERT_TRUE(value) << c.text;
    EXPECT_EQ(*value, c.value) << c.text;
    EXPECT_EQ(length, c.length) << c.text;
  }
  size_t length = 0;
  EXPECT_TRUE(std::signbit(ScanDecimal("-0", length).value_or(1.0)));
  for (const char* text : {"", "-", "+", ".", "-.", "+-1", "-+1", "?", "inf", "nan", "1e999", "e5"})
    EXPECT_FALSE(ScanDecimal(text, length)) << text;
}

}  // namespace

namespace {

std::string ToChars(double value, std::chars_format format, int precision) {
  std::array<char, 1100> buffer;
  return {
      buffer.data(),
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, precision).ptr};
}

}  // namespace

// The quick writers give std::to_chars's characters for random values of every size, for
// exact halves (where to_chars rounds to even), at powers of ten and for the values no quick
// road takes.
TEST(WriteNumbers, FixedAndScientificAgreeWithToChars) {
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> values = {0.0,    -0.0,   0.5,      1.5,       2.5,          0.125,    -0.375,
                                9.9999, 99.995, 9.99995,  1e-300,    5e-324,       1e22,     1e23,
                                -1e9,   4.3e9,  HUGE_VAL, -HUGE_VAL, std::nan(""), 12345.678};
  for (int i = 0; i < 200000; ++i) {
    const double magnitude = std::pow(10.0, 30.0 * unit(random) - 15.0);
    values.push_back(unit(random) < 0.5 ? -magnitude : magnitude);
    // Values as profiles hold them: a grid step of a few decimals and intensities.
    values.push_back(0.02 * std::floor(unit(random) * 9000.0));
  }
  std::array<char, 1100> buffer;
  for (const double value : values) {
    for (const int decimals : {0, 2, 4, 5, 7, 12}) {
      const std::string fixed(buffer.data(), WriteFixed(buffer.data(), value, decimals));
      ASSERT_EQ(fixed, ToChars(value, std::chars_format::fixed, decimals)) << value;
    }
    for (const int digits : {0, 4, 6}) {
      const std::string scientific(buffer.data(), WriteScientific(buffer.data(), value, digits));
      ASSERT_EQ(scientific, ToChars(value, std::chars_format::scientific, digits)) << value;
    }
  }
}
