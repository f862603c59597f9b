// Peaks as a reader of the pattern sees them: reflexions of one d-spacing that are not
// symmetry-equivalent (such as h k l and k h l in many trigonal groups) coincide and make one peak.
#pragma once

#include <memory>
#include <vector>

struct CTSReflexion;

struct CPeak {
  std::shared_ptr<CTSReflexion> strongest;  // the reflexion that names the peak
  double d = 0.0;
  double position = 0.0;
  double intensity = 0.0;          // summed over the coinciding reflexions
  double relativeIntensity = 0.0;  // to the strongest peak
};

// Reflexions whose d-spacings lie within 0.00001 Angstrom of each other merged into peaks, the
// `count` strongest of them, strongest first.
std::vector<CPeak> StrongestPeaks(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions, size_t count);
