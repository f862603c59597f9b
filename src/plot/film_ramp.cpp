#include "plot/film_ramp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr CColour Opaque(uint32_t rgb) {
  return 0xFF000000u | rgb;
}

constexpr CColour Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

// Hue in degrees, saturation and value clamped to 0..1, channels truncated to bytes.
CColour OpaqueHsv(double hue, double saturation, double value) {
  saturation = std::clamp(saturation, 0.0, 1.0);
  value = std::clamp(value, 0.0, 1.0);
  const double h = std::fmod(std::fmod(hue, 360.0) + 360.0, 360.0) / 60.0;
  const double chroma = value * saturation;
  const double second = chroma * (1.0 - std::abs(std::fmod(h, 2.0) - 1.0));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0:
      r = chroma, g = second;
      break;
    case 1:
      r = second, g = chroma;
      break;
    case 2:
      g = chroma, b = second;
      break;
    case 3:
      g = second, b = chroma;
      break;
    case 4:
      r = second, b = chroma;
      break;
    default:
      r = chroma, b = second;
      break;
  }
  const double lift = value - chroma;
  const auto byte = [lift](double channel) {
    return static_cast<uint32_t>((channel + lift) * 255.0);
  };
  return Argb(255, byte(r), byte(g), byte(b));
}

constexpr CColour kRainbow[] = {
    Opaque(0x3200C8), Opaque(0x3100F4), Opaque(0x3240F6), Opaque(0x3568F6), Opaque(0x3A8AF8),
    Opaque(0x3DA9F1), Opaque(0x45CFF9), Opaque(0x4DF4FD), Opaque(0x4CFFE7), Opaque(0x49FFC8),
    Opaque(0x46FFA9), Opaque(0x43FF8A), Opaque(0x40FF6B), Opaque(0x3CF64A), Opaque(0x3CF62E),
    Opaque(0x3BF618), Opaque(0x42FB11), Opaque(0x4FF532), Opaque(0x65F815), Opaque(0x82FF18),
    Opaque(0x9CFF1A), Opaque(0xBAFF1C), Opaque(0xD6FF21), Opaque(0xF4FF24), Opaque(0xFAE821),
    Opaque(0xF3C21E), Opaque(0xF0A01B), Opaque(0xEE7D1A), Opaque(0xF25E1A), Opaque(0xEC3B18),
    Opaque(0xEC0917), Opaque(0xF40518), Opaque(0xFF0000),
};

}  // namespace

std::vector<CColour> FilmRamp(VHTypes::TSFilmType type) {
  // The grey and fire stops are 255 times 0.01, 0.95, 0.1, 0.7, 0.9 and 0.45, truncated.
  switch (type) {
    case VHTypes::kFilmPositive:
      return {Argb(255, 2, 2, 2), Argb(255, 255, 255, 255)};
    case VHTypes::kFilmNegative:
      return {Argb(255, 242, 242, 242), Argb(255, 0, 0, 0)};
    case VHTypes::kFilmFire:
      return {Argb(255, 0, 0, 25), Argb(255, 178, 0, 25), Argb(255, 229, 114, 25),
              Argb(255, 255, 255, 25)};
    case VHTypes::kFilmIce:
      return {OpaqueHsv(240, 0.02, 1.0), OpaqueHsv(240, 1.0, 1.0), OpaqueHsv(240, 1.0, 0.05)};
    case VHTypes::kFilmRainbow:
      return {std::begin(kRainbow), std::end(kRainbow)};
  }
  return {};
}

CColour RampColour(std::span<const CColour> ramp, double t) {
  if (ramp.empty()) return 0xFF000000u;
  if (ramp.size() == 1 || !(t >= 1.1368683772161603e-13)) return ramp.front();
  if (t > 0.9999999999998863) return ramp.back();
  const double last = static_cast<double>(ramp.size() - 1);
  // The last stop at or below t; t < 1 keeps the stop above it inside the ramp.
  const size_t lower = std::min(static_cast<size_t>(std::floor(t * last)), ramp.size() - 2);
  const double lowerAt = static_cast<double>(lower) / last,
               upperAt = static_cast<double>(lower + 1) / last;
  const double w = (upperAt - t) / (upperAt - lowerAt);
  CColour colour = 0;
  for (const int shift : {24, 16, 8, 0}) {
    const double from = (ramp[lower] >> shift & 0xFF) / 255.0,
                 to = (ramp[lower + 1] >> shift & 0xFF) / 255.0;
    colour |= (static_cast<uint32_t>((from * w + to * (1.0 - w)) * 255.0) & 0xFF) << shift;
  }
  return colour;
}
