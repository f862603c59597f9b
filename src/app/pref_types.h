// The kinds of value a preference holds, the names they are listed under, and their text form:
// what a person types and reads (the command line, a settings listing). Text never depends on
// the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

// A colour as 0xAARRGGBB; alpha 0 means that none has been assigned.
struct CPrefColour {
  uint32_t argb = 0;
  friend bool operator==(const CPrefColour&, const CPrefColour&) = default;
};

// A window's place on the screen; all zero for one never placed.
struct CPrefRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const CPrefRect&, const CPrefRect&) = default;
};

struct CPrefPoint {
  float x = 0.0f, y = 0.0f;
  friend bool operator==(const CPrefPoint&, const CPrefPoint&) = default;
};

struct CPrefVector {
  double x = 0.0, y = 0.0, z = 0.0;
  friend bool operator==(const CPrefVector&, const CPrefVector&) = default;
};

// Texts are stored as text; every other kind as the bytes of its value.
template <class T>
inline constexpr bool kPrefStoredAsText =
    std::is_same_v<T, std::string> || std::is_same_v<T, std::filesystem::path>;

// The name a kind of value is listed under. An enumeration may name itself by specialising.
template <class T>
inline constexpr const char* kPrefTypeName = std::is_enum_v<T> ? "enumeration" : nullptr;
template <>
inline constexpr const char* kPrefTypeName<bool> = "bool";
template <>
inline constexpr const char* kPrefTypeName<int32_t> = "int";
template <>
inline constexpr const char* kPrefTypeName<uint32_t> = "unsigned";
template <>
inline constexpr const char* kPrefTypeName<float> = "float";
template <>
inline constexpr const char* kPrefTypeName<double> = "double";
template <>
inline constexpr const char* kPrefTypeName<std::string> = "string";
template <>
inline constexpr const char* kPrefTypeName<std::filesystem::path> = "path";
template <>
inline constexpr const char* kPrefTypeName<CPrefColour> = "colour";
template <>
inline constexpr const char* kPrefTypeName<CPrefRect> = "rect";
template <>
inline constexpr const char* kPrefTypeName<CPrefPoint> = "point";
template <>
inline constexpr const char* kPrefTypeName<CPrefVector> = "vector";
template <>
inline constexpr const char* kPrefTypeName<std::byte> = "byte";

// Text forms: "true"/"false"; decimal integers; the shortest decimal that reads back as the
// same number; colours as 0xAARRGGBB; rectangles, points and vectors as their numbers separated
// by commas ("left,top,right,bottom").
std::string PrefText(bool value);
std::string PrefText(int32_t value);
std::string PrefText(uint32_t value);
std::string PrefText(float value);
std::string PrefText(double value);
std::string PrefText(const std::string& value);
std::string PrefText(const std::filesystem::path& value);
std::string PrefText(CPrefColour value);
std::string PrefText(const CPrefRect& value);
std::string PrefText(CPrefPoint value);
std::string PrefText(const CPrefVector& value);
std::string PrefText(std::byte value);
template <class T>
requires std::is_enum_v<T> std::string PrefText(T value) {
  return PrefText(static_cast<uint32_t>(value));
}

// The value a text stands for; false, with `value` unchanged, for a text that is none. Booleans
// also take 1 and 0, colours also #AARRGGBB, in any case.
bool PrefFromText(std::string_view text, bool& value);
bool PrefFromText(std::string_view text, int32_t& value);
bool PrefFromText(std::string_view text, uint32_t& value);
bool PrefFromText(std::string_view text, float& value);
bool PrefFromText(std::string_view text, double& value);
bool PrefFromText(std::string_view text, std::string& value);
bool PrefFromText(std::string_view text, std::filesystem::path& value);
bool PrefFromText(std::string_view text, CPrefColour& value);
bool PrefFromText(std::string_view text, CPrefRect& value);
bool PrefFromText(std::string_view text, CPrefPoint& value);
bool PrefFromText(std::string_view text, CPrefVector& value);
bool PrefFromText(std::string_view text, std::byte& value);
template <class T>
requires std::is_enum_v<T>
bool PrefFromText(std::string_view text, T& value) {
  uint32_t number = 0;
  if (!PrefFromText(text, number)) return false;
  value = static_cast<T>(number);
  return true;
}
