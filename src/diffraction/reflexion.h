// One unique reflexion of a crystal: its representative indices, how many reflexions it
// stands for, its d-spacing and what the calculation and the profile derive from it. Created
// through std::make_shared and shared by the crystal, the patterns and the listings.
#pragma once

#include <cstdint>

struct CTSReflexion {
  int32_t h = 0, k = 0, l = 0;  // representative Miller indices
  int32_t multiplicity = 0;     // reflexions merged into this one, Friedel mates included
  int32_t n = 0;                // h^2 + k^2 + l^2
  double d = 0.0;               // d-spacing, Angstrom
  double position = 0.0;        // along the x axis, in the axis unit
  double intensity = 0.0;
  double relativeIntensity = 0.0;  // intensity over the strongest
  double phase = 0.0;              // of F, radians in [0, 2 pi)
  double fReal = 0.0;              // A
  double fImaginary = 0.0;         // B
  double lp = 0.0;                 // Lorentz-polarisation and geometry factor
  double halfWidth = 0.0;          // half of the peak's full width
};
