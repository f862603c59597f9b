// The enumerations of how patterns are drawn: the film's colour ramp, the curves' line and
// marker styles and where peak labels stand. Stored like the radiation's enumerations, as
// 32-bit unsigned numbers (one byte in files).
#pragma once

#include <cstdint>

namespace VHTypes {

// The colour ramp of the film display; other values give an empty ramp.
enum TSFilmType : uint32_t {
  kFilmPositive = 1,
  kFilmNegative = 2,
  kFilmFire = 3,
  kFilmIce = 4,
  kFilmRainbow = 5,
};

// How a curve is drawn.
enum TSLineStyle : uint32_t {
  kLineNone = 0,  // markers only
  kLineSolid = 1,
  kLineDashed = 2,
  kLineDotted = 3,
  kLineDashDotted = 4,
};

// The mark drawn at every point of a curve (observed data) or at the ends of its lines.
enum TSMarkerStyle : uint32_t {
  kMarkerNone = 0,
  kMarkerCircle = 1,
  kMarkerSquare = 2,
  kMarkerDiamond = 3,
  kMarkerTriangle = 4,
  kMarkerCross = 5,
  kMarkerPlus = 6,
};

// Where a peak label stands relative to its peak: ending at it, starting at it, or centred.
enum TSLabelAlignment : uint32_t {
  kLabelLeft = 1,
  kLabelRight = 2,
  kLabelCentre = 3,
};

}  // namespace VHTypes
