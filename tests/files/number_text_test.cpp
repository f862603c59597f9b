#include "files/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

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
