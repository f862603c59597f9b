#include "app/pref_types.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "app/text.h"

namespace {

template <class T>
std::string ShortestText(T value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

template <class T>
bool WholeInteger(std::string_view text, T& value, int base = 10) {
  T number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  value = number;
  return true;
}

// Exactly `count` comma-separated fields, each without surrounding blanks.
std::optional<std::vector<std::string_view>> Fields(std::string_view text, size_t count) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t comma = text.find(',', start);
    fields.push_back(TrimWhiteSpace(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (fields.size() != count) return std::nullopt;
  return fields;
}

template <class T, size_t N>
bool NumbersFromText(std::string_view text, std::array<T*, N> targets) {
  const auto fields = Fields(text, N);
  if (!fields) return false;
  std::array<T, N> numbers{};
  for (size_t i = 0; i < N; ++i)
    if (!PrefFromText((*fields)[i], numbers[i])) return false;
  for (size_t i = 0; i < N; ++i) *targets[i] = numbers[i];
  return true;
}

}  // namespace

std::string PrefText(bool value) {
  return value ? "true" : "false";
}
std::string PrefText(int32_t value) {
  return std::to_string(value);
}
std::string PrefText(uint32_t value) {
  return std::to_string(value);
}
std::string PrefText(float value) {
  return ShortestText(value);
}
std::string PrefText(double value) {
  return ShortestText(value);
}
std::string PrefText(const std::string& value) {
  return value;
}
std::string PrefText(const std::filesystem::path& value) {
  return value.string();
}

std::string PrefText(CPrefColour value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value.argb >> shift) & 0xF];
  return text;
}

std::string PrefText(const CPrefRect& value) {
  return PrefText(value.left) + "," + PrefText(value.top) + "," + PrefText(value.right) + "," +
         PrefText(value.bottom);
}

std::string PrefText(CPrefPoint value) {
  return PrefText(value.x) + "," + PrefText(value.y);
}

std::string PrefText(const CPrefVector& value) {
  return PrefText(value.x) + "," + PrefText(value.y) + "," + PrefText(value.z);
}

std::string PrefText(std::byte value) {
  return PrefText(static_cast<uint32_t>(value));
}

bool PrefFromText(std::string_view text, bool& value) {
  const std::string word = Lowercase(TrimWhiteSpace(text));
  if (word != "true" && word != "false" && word != "1" && word != "0") return false;
  value = word == "true" || word == "1";
  return true;
}

bool PrefFromText(std::string_view text, int32_t& value) {
  return WholeInteger(TrimWhiteSpace(text), value);
}

bool PrefFromText(std::string_view text, uint32_t& value) {
  return WholeInteger(TrimWhiteSpace(text), value);
}

bool PrefFromText(std::string_view text, float& value) {
  const std::optional<double> number = ParseDouble(TrimWhiteSpace(text));
  if (!number || std::abs(*number) > std::numeric_limits<float>::max()) return false;
  value = static_cast<float>(*number);
  return true;
}

bool PrefFromText(std::string_view text, double& value) {
  const std::optional<double> number = ParseDouble(TrimWhiteSpace(text));
  if (!number) return false;
  value = *number;
  return true;
}

bool PrefFromText(std::string_view text, std::string& value) {
  value = text;
  return true;
}

bool PrefFromText(std::string_view text, std::filesystem::path& value) {
  value = std::filesystem::path(text);
  return true;
}

bool PrefFromText(std::string_view text, CPrefColour& value) {
  std::string_view digits = TrimWhiteSpace(text);
  if (digits.starts_with("0x") || digits.starts_with("0X"))
    digits.remove_prefix(2);
  else if (digits.starts_with("#"))
    digits.remove_prefix(1);
  if (digits.size() > 8) return false;
  return WholeInteger(digits, value.argb, 16);
}

bool PrefFromText(std::string_view text, CPrefRect& value) {
  return NumbersFromText<int32_t, 4>(text, {&value.left, &value.top, &value.right, &value.bottom});
}

bool PrefFromText(std::string_view text, CPrefPoint& value) {
  return NumbersFromText<float, 2>(text, {&value.x, &value.y});
}

bool PrefFromText(std::string_view text, CPrefVector& value) {
  return NumbersFromText<double, 3>(text, {&value.x, &value.y, &value.z});
}

bool PrefFromText(std::string_view text, std::byte& value) {
  uint8_t number = 0;
  if (!WholeInteger(TrimWhiteSpace(text), number)) return false;
  value = std::byte{number};
  return true;
}
