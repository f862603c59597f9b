// Small value types shared by the whole core: a three-component vector for fractional
// coordinates and directions, the rotation part of a symmetry operator, and the angle
// constants every conversion uses.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace VHTypes {

inline const double kPi = std::acos(-1.0);
inline const double kTwoPi = 2.0 * kPi;
inline const double kDegreesToRadians = kPi / 180.0;
inline const double kRadiansToDegrees = 180.0 / kPi;

template <class T>
struct CVectorT {
  T x{};
  T y{};
  T z{};

  T& operator[](int i) { return i == 0 ? x : i == 1 ? y : z; }
  const T& operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }

  friend CVectorT operator+(const CVectorT& a, const CVectorT& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
  }
  friend CVectorT operator-(const CVectorT& a, const CVectorT& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
  }
  friend CVectorT operator*(T s, const CVectorT& a) { return {s * a.x, s * a.y, s * a.z}; }
  friend bool operator==(const CVectorT&, const CVectorT&) = default;
};

using CVector = CVectorT<double>;

// The rotation part of a symmetry operator, row-major; entries are -1, 0 or 1.
using CRotation = std::array<int8_t, 9>;
inline constexpr CRotation kIdentityRotation = {1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace VHTypes
